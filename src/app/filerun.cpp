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
#include "audio/tap.h"

namespace starlume {

namespace {

using app::analysis;

WavHeader header;
std::FILE* ptr = nullptr; // the file again, read block by block for analysis
// What the analysis reads: the decoded audio, the player's own output, or
// ptr's bytes (see filesource).
std::unique_ptr<Source> source;
Tap* tap = nullptr; // the source when it is the player's output

// How far the analysis runs ahead of the music. The player's output is the
// sound as it goes out: there is nothing ahead of it to read.
double lead = 200;

// The clock starts when the music does: once its first samples have gone
// to the device. Until then no block is due.
void anchorclock() {
    if (analysis.startm != std::numeric_limits<double>::infinity()) return;
    if (const std::int64_t t = musicstarted(); t != 0)
        analysis.startm = static_cast<double>(t) - lead;
}

void pollmusic() {
    anchorclock();
    if (tap != nullptr) tap->drain();
}

} // namespace

void filerun(Args& args) {
    static char path[pathcapacity + 1];
    ptr = openaudiofile(stdin, stdout, path, args.path);
    if (ptr == nullptr) std::exit(1);
    reportHeader(header, ptr, stdout);

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
    Tapring& ring = tapmusic();
    const bool plays = playmusic(path);
    const Soundformat mixer = mixerformat();
    auto played = plays && mixer.usable() ? std::make_unique<Tap>(ring, mixer) : nullptr;
    Tap* const offered = played.get();
    source = filesource(path, ptr, std::move(played));
    if (offered != nullptr && source.get() == offered) {
        tap = offered;
        lead = 0;
    } else {
        untapmusic();
    }
    if (!plays) analysis.startm = static_cast<double>(timeofdayms()) - lead;

    app::runwindow(args, {source.get(), pollmusic, pausemusic, resumemusic});
}

} // namespace starlume
