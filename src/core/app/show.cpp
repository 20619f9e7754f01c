#include "core/app/show.h"

#include <ctime>

#include "core/world/random.h"

namespace starlume {

std::unique_ptr<Show> makeshow() { return std::make_unique<Show>(); }

unsigned startshow(Show& s, const Args& args) {
    resetGrid(s.world);
    drawsteps(s.palette);
    const unsigned seed = args.seed ? *args.seed : static_cast<unsigned>(std::time(nullptr));
    seedrnd(seed);
    if (args.stars != 0) setOrder(s.world, args.stars);
    return seed;
}

bool pass(Show& s, double nowms) {
    s.source->poll();
    const bool playing = s.world.paused == -1;
    const bool read = (playing || s.musicplayson) && blockdue(s.clock, nowms);
    if (read) {
        s.clock.framecounter++;
        readSamples(s.analysis, *s.source);
        if (playing) {
            performFFT(s.analysis);
            kickall(s.world, s.analysis.kicks);
        }
    }
    simulate(s.world, s.analysis.kicks);
    return read;
}

bool presskeys(Show& s, std::string_view keys, const Io& io) {
    for (const char key : keys) {
        if (keycommand(s.world, s.palette, static_cast<unsigned char>(key), io) == Outcome::quit) {
            return true;
        }
    }
    return false;
}

void startvideo(Show& s, const Args& args, std::span<const std::int16_t> music, const Io& io) {
    s.source = std::make_unique<Memorysource>(music);
    setclock(s.clock, 0, clocklead(0));
    s.musicplayson = true;
    startshow(s, args);
    // The world's pixels are the stars' square, so that the mouse lands on
    // the same stars whatever the frame around them.
    const Square square = starsquare(args.width, args.height, args.stretch);
    s.world.screensizex = square.width;
    s.world.screensizey = square.height;
    presskeys(s, args.keys, io);
}

void Dance::runto(std::int64_t upto) {
    applydue();
    while (pass_ < upto) {
        pass_++;
        pass(show_, clock_.positionms(pass_));
        applydue();
    }
}

void Dance::applydue() {
    for (; next_ < events_.size() && clock_.keypass(events_[next_].ms / 1000) <= pass_; next_++) {
        apply(show_, events_[next_], io_);
    }
}

} // namespace starlume
