#include "app/filerun.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>

#include <SDL2/SDL.h>

#include "app/header.h"
#include "app/music.h"
#include "app/startup.h"
#include "app/windowrun.h"
#include "audio/decoder.h"

namespace starlume {

namespace {

using app::analysis;

WavHeader header;
std::FILE* ptr = nullptr; // the file again, read block by block for analysis
// The file's decoded audio, which the analysis reads instead of ptr's bytes
// whenever a decoder recognises the file.
std::unique_ptr<Source> source;

// How far the analysis runs ahead of the music.
double lead = 200;

// The clock starts when the music does: once its first samples have gone
// to the device. Until then no block is due.
void anchorclock() {
    if (analysis.startm != std::numeric_limits<double>::infinity()) return;
    if (const std::int64_t t = musicstarted(); t != 0)
        analysis.startm = static_cast<double>(t) - lead;
}

} // namespace

void filerun(Args& args) {
    static char path[pathcapacity + 1];
    ptr = openaudiofile(stdin, stdout, path, args.path);
    if (ptr == nullptr) std::exit(1);
    reportHeader(header, ptr, stdout);
    source = Decoder::open(path);
    if (source == nullptr) source = std::make_unique<RawSource>(ptr);

    startworld(app::world, app::palette, args);
    printbanner(stdout);

    if (!openaudio()) {
        std::printf("Mix_OpenAudio: %s\n", SDL_GetError());
        std::exit(2);
    }
    // SDL turns SIGINT and SIGTERM into events nobody reads here; give them
    // back so that Ctrl-C in the console still ends the program.
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    analysis.startm = std::numeric_limits<double>::infinity();
    if (!playmusic(path)) analysis.startm = static_cast<double>(timeofdayms()) - lead;

    app::runwindow(args, {source.get(), anchorclock, pausemusic, resumemusic});
}

} // namespace starlume
