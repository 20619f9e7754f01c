#include "app/filerun.h"

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include <SDL2/SDL.h>
#include <unistd.h>

#include "app/header.h"
#include "app/latency.h"
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

const Args* options = nullptr;
double picture = 0; // the picture's delay the clock's lead was set for

// Waits until the mixer has mixed more than frames of music (its first at
// start, its next after a pause), for at most half a second.
void awaitmix(std::int64_t frames) {
    const double deadline = nowms() + 500;
    while (mixed().frames <= frames && nowms() < deadline) usleep(1000);
}

// Sets the clock from when the music is heard: the mixer says what it has
// mixed, the sound server how long the newest of it takes to be heard. The
// two are read around the server's answer; a mix in between spoils the pair.
void anchorclock() {
    Mixstate m{mixerformat().rate, chunkframes, 0, 0, 0};
    std::optional<double> reported;
    for (int tries = 0; tries < 3; tries++) {
        const Mixed before = mixed();
        reported = options->latency < 0 ? serverlatency() : std::nullopt;
        m.askedms = nowms();
        const Mixed after = mixed();
        m.frames = after.frames;
        m.lastms = after.frames > 0 ? after.atms : m.askedms; // no mix yet: from now
        if (before.frames == after.frames) break;
    }
    picture = app::picturems();
    setclock(analysis, heardorigin(m, reported, options->latency), clocklead(picture));
    if (!options->verbose) return;
    if (options->latency >= 0) {
        std::fprintf(stderr, "starlume: output latency %d ms (--latency)", options->latency);
    } else if (reported) {
        std::fprintf(stderr, "starlume: output latency %.1f ms (the sound server's)", *reported);
    } else {
        std::fprintf(stderr,
                     "starlume: output latency %.1f ms (the mixer's buffer twice, and %.0f ms)",
                     2000.0 * chunkframes / m.rate + fallbacklatency, fallbacklatency);
    }
    std::fprintf(stderr, ", clock lead %.1f ms\n", analysis.lead);
}

// Every pass: the lead follows what drawing a frame costs.
void followpicture() {
    const double p = app::picturems();
    if (std::fabs(p - picture) >= 1) {
        picture = p;
        setlead(analysis, clocklead(p));
    }
}

// The way out may have changed during the pause (headphones plugged in,
// another sink), so it is asked again once the music mixes again.
void resumefile() {
    const std::int64_t before = mixed().frames;
    resumemusic();
    awaitmix(before);
    anchorclock();
}

void pollmusic() {
    followpicture();
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
    options = &args;
    Tapring& ring = tapmusic();
    const bool plays = playmusic(path);
    const Soundformat mixer = mixerformat();
    auto played = plays && mixer.usable() ? std::make_unique<Tap>(ring, mixer) : nullptr;
    Tap* const offered = played.get();
    source = filesource(path, ptr, std::move(played));
    if (offered != nullptr && source.get() == offered) {
        tap = offered;
    } else {
        untapmusic();
    }
    if (plays) {
        awaitmix(0); // the clock starts when the sound does
        anchorclock();
    } else {
        setclock(analysis, nowms(), clocklead(app::picturems()));
    }

    app::runwindow(args, {source.get(), pollmusic, pausemusic, resumefile});
}

} // namespace starlume
