// Stills of the stars on a piece of music, for the README's pictures. The
// scene is a video's (the same options, clock, passes and frames; every
// frame is drawn, since a frame's colours move the schemes on), and the left
// button held at the middle as a take would hold it.
// The frames asked for are written as binary PPM files, the same bytes on
// every run on the same machine.
//
//   starlume_stills [--size WxH] [--fps N] [--passes N] [--keys K]
//                   [--at SECONDS:KEYS]... [--stars N] [--seed N]
//                   [--hold SECONDS] [--release SECONDS] [--immediate]
//                   --shot SECONDS:FILE.ppm... MUSIC
//
// --hold presses the left button at the middle when the music reaches
// SECONDS, --release lets it go; --shot writes the frame nearest SECONDS.
// The frames are drawn in one batch as a video draws them, or with
// --immediate glyph by glyph as the window does.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/app/cli.h"
#include "core/app/exits.h"
#include "core/app/show.h"
#include "core/clock/videoclock.h"
#include "platform/files/decoder.h"
#include "platform/gl/draw.h"
#include "platform/video/batch.h"
#include "platform/video/offscreen.h"

using namespace starlume;

namespace {

int noelapsed() { return 0; }
void nothing() {}

int usage(const std::string& why) {
    std::fprintf(stderr,
                 "starlume_stills: %s\n"
                 "usage: starlume_stills [video options] [--hold SECONDS] [--release SECONDS]\n"
                 "                       --shot SECONDS:FILE.ppm... MUSIC\n",
                 why.c_str());
    return exitusage;
}

struct Shot {
    std::int64_t frame;
    std::string path;
};

bool writeppm(const std::string& path, const std::vector<std::uint8_t>& rgba, int w, int h) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    std::fprintf(f, "P6\n%d %d\n255\n", w, h);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(w) * 3);
    for (int y = h - 1; y >= 0; y--) { // read back bottom row first
        const std::uint8_t* from = rgba.data() + static_cast<std::size_t>(y) * w * 4;
        for (int x = 0; x < w; x++) std::memcpy(&row[3 * x], from + 4 * x, 3);
        std::fwrite(row.data(), 1, row.size(), f);
    }
    return std::fclose(f) == 0;
}

} // namespace

int main(int argc, char** argv) {
    // The video's options go to the program's own parser; the output is
    // never opened.
    std::vector<char*> video{argv[0], const_cast<char*>("--render"), const_cast<char*>("-")};
    std::vector<Event> held; // the button pressed and let go at the middle
    std::vector<std::pair<double, std::string>> wanted;
    bool immediate = false;
    for (int i = 1; i < argc; i++) {
        const std::string o = argv[i];
        if (o == "--immediate") {
            immediate = true;
            continue;
        }
        if (o != "--hold" && o != "--release" && o != "--shot") {
            video.push_back(argv[i]);
            continue;
        }
        if (++i == argc) return usage(o + " needs a value");
        const std::string value = argv[i];
        if (o == "--shot") {
            const auto colon = value.find(':');
            const auto s = colon == std::string::npos || colon + 1 == value.size()
                               ? std::nullopt
                               : musicseconds(std::string_view(value).substr(0, colon));
            if (!s) return usage("--shot needs SECONDS:FILE, not '" + value + "'");
            wanted.emplace_back(*s, value.substr(colon + 1));
        } else {
            const auto s = musicseconds(value);
            if (!s) return usage(o + " needs SECONDS, not '" + value + "'");
            Event e;
            e.ms = *s * 1000;
            e.kind = o == "--hold" ? Eventkind::press : Eventkind::release;
            e.x = e.y = 0.5;
            held.push_back(e);
        }
    }
    const Args args = parseargs(static_cast<int>(video.size()), video.data());
    if (args.action != Args::render) return usage(args.error);
    if (wanted.empty()) return usage("no --shot");

    const std::vector<std::int16_t> music = decodeall(args.path);
    if (music.empty()) {
        std::fprintf(stderr, "starlume_stills: no decoder reads sound from '%s'\n", args.path);
        return exitnofile;
    }
    const Videoclock timeline(args.passes, args.fps, static_cast<std::int64_t>(music.size() / 2));

    std::stable_sort(held.begin(), held.end(),
                     [](const Event& a, const Event& b) { return a.ms < b.ms; });
    std::vector<Shot> shots;
    for (const auto& [s, path] : wanted) shots.push_back({std::llround(s * args.fps), path});
    std::sort(shots.begin(), shots.end(),
              [](const Shot& a, const Shot& b) { return a.frame < b.frame; });
    if (shots.back().frame >= timeline.frames()) return usage("a --shot after the music ends");

    Offscreen target;
    if (std::string error; !target.open(args.width, args.height,
                                        starsquare(args.width, args.height, args.stretch), error)) {
        std::fprintf(stderr, "starlume_stills: cannot draw offscreen: %s\n", error.c_str());
        return exitunavailable;
    }
    const Io io{stdin, stdout, noelapsed, nothing, nothing};
    const auto show = makeshow();
    startvideo(*show, args, music, io);
    setglstate();
    Dance dance(timeline, *show, mergeevents(timedevents(args.at), held), io);

    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(args.width) * args.height * 4);
    auto shot = shots.begin();
    Batch batch;
    for (std::int64_t k = 0; shot != shots.end(); k++) {
        dance.toframe(k);
        target.clear();
        if (immediate) {
            drawstars(*show);
        } else {
            drawbatched(*show, batch, target);
        }
        // Every frame, as a video reads it back; Mesa would otherwise queue
        // the frames that are not wanted.
        target.readback(rgba.data());
        for (; shot != shots.end() && shot->frame == k; shot++) {
            if (!writeppm(shot->path, rgba, args.width, args.height)) {
                std::fprintf(stderr, "starlume_stills: cannot write '%s'\n", shot->path.c_str());
                return exitcantcreate;
            }
        }
    }
    return 0;
}
