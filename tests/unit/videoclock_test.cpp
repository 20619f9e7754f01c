#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "core/app/show.h"
#include "core/clock/videoclock.h"
#include "core/world/random.h"
#include "support.h"

using namespace starlume;
using namespace testsupport;

namespace {

// A full-scale tone at bin 10 that counts the frames read from it.
class Tone final : public Source {
  public:
    std::int64_t done = 0;
    void read(std::int16_t* frames, int count) override {
        for (int i = 0; i < count; i++, done++) {
            const auto v = static_cast<std::int16_t>(30000 * std::sin(0.0306796 * done));
            frames[2 * i] = frames[2 * i + 1] = v;
        }
    }
};

} // namespace

TEST(Videoclock, FramesPassesAndMusicLineUp) {
    // passes, fps, music frames, video frames
    const std::tuple<int, int, std::int64_t, std::int64_t> cases[] = {
        {2000, 60, 5 * 44100, 300}, {2000, 30, 5 * 44100 + 1, 151}, {100, 7, 44100, 7},
        {100000, 240, 1, 1},        {1999, 59, 123457, 166},
    };
    for (const auto& [passes, fps, music, frames] : cases) {
        const Videoclock c(passes, fps, music);
        ASSERT_EQ(c.frames(), frames) << passes << " " << fps << " " << music;
        // the video is at most one frame longer than the music
        const double over = static_cast<double>(frames) / fps - static_cast<double>(music) / 44100;
        EXPECT_GE(over, 0);
        EXPECT_LT(over, 1.0 / fps);
        for (std::int64_t k = 0; k < frames; k++) {
            // every pass up to the frame's time has run, none after it
            const std::int64_t p = c.passesbefore(k);
            EXPECT_LE(c.positionms(p), 1000.0 * k / fps + 1e-9);
            EXPECT_GT(c.positionms(p + 1), 1000.0 * k / fps);
            EXPECT_LE(c.musicthrough(k), music);
        }
        EXPECT_EQ(c.musicthrough(frames - 1), music);
    }
}

TEST(Videoclock, TimedKeysComeAfterThePassThatReachesTheirTime) {
    // passes per second, seconds, the pass; a time written in decimals that
    // lands a hair past its pass still names that pass
    const std::tuple<int, double, std::int64_t> cases[] = {
        {2000, 0, 0},
        {2000, 0.1, 200},
        {2000, 2.0, 4000},
        {2000, 0.00001, 1},
        {2000, 1.0 / 3, 667},
        {2000, 0.3, 600},
        {2000, 4.03, 8060},
        {3000, 0.07, 210},
        {2000, 1e300, std::numeric_limits<std::int64_t>::max()},
    };
    for (const auto& [passes, seconds, pass] : cases) {
        EXPECT_EQ(Videoclock(passes, 60, 44100).keypass(seconds), pass) << seconds;
    }
}

TEST(Videoclock, AVideoStartsHalfABlockEarlyAtItsSizeWithItsKeys) {
    const char* argv[] = {"starlume", "--render", "v.mp4",   "--size", "640x360",
                          "--keys",   "7b",       "--stars", "20",     "a.wav"};
    const Args args = parseargs(10, const_cast<char**>(argv));
    Output out;
    const Io io{stdin, out.get(), [] { return 0; }, [] {}, [] {}};
    const auto s = makeshow();
    startvideo(*s, args, {}, io);
    // a block comes due when the music reaches its middle
    EXPECT_DOUBLE_EQ(s->clock.startm, -blockperiod / 2);
    EXPECT_TRUE(s->musicplayson);
    // the world's pixels are the stars' square in the frame
    EXPECT_EQ(s->world.screensizex, 360);
    EXPECT_EQ(s->world.screensizey, 360);
    EXPECT_EQ(s->world.order, 20);
    EXPECT_EQ(s->world.color, 7);
    EXPECT_EQ(s->world.blackhole, 1);
}

TEST(Videoclock, BlocksComeDueByThePositionAndPHoldsOnlyTheDance) {
    const Videoclock c(2000, 60, 10 * 44100);
    float plain[bands] = {};
    for (const bool held : {false, true}) {
        Tone tone;
        auto s = show(75, tone);
        s->musicplayson = true;
        World* w = &s->world;
        const Analysis& a = s->analysis;
        const Clock& clock = s->clock;
        float atpause[bands] = {};
        for (std::int64_t p = 1; p <= 4000; p++) {
            if (held && p == 1000) {
                w->paused = 1;
                std::copy(a.kicks, a.kicks + bands, atpause);
            }
            if (held && p == 3000) {
                w->paused = -1;
                EXPECT_TRUE(std::equal(a.kicks, a.kicks + bands, atpause));
            }
            const double ms = c.positionms(p);
            pass(*s, ms);
            // a block is read on the first pass past its end, held or not
            ASSERT_EQ(clock.framecounter - 1, static_cast<int>(std::ceil(ms / blockperiod)) - 1)
                << p;
            ASSERT_EQ(tone.done, (clock.framecounter - 1) * std::int64_t{blocksize});
        }
        // after the hold the dance is back in step with the music
        if (!held) std::copy(a.kicks, a.kicks + bands, plain);
        EXPECT_TRUE(std::equal(a.kicks, a.kicks + bands, plain));
        EXPECT_GT(a.kicks[5], 1.0f);
    }
}

TEST(Videoclock, ADanceIsTheSameHoweverItsPassesAreSplitAndKeysComeOnTime) {
    const Videoclock c(2000, 60, 10 * 44100);
    const std::vector<Timedkeys> at{{0, "a"}, {0.5, "g"}, {0.5, "v"}};
    Output out;
    const Io io{stdin, out.get(), [] { return 0; }, [] {}, [] {}};
    // where each run stops on its way to pass 3000
    const std::vector<std::vector<std::int64_t>> splits{
        {3000}, {0, 999, 1000, 1001, 3000}, {1, 2, 3, 500, 2999, 3000}};
    std::unique_ptr<Show> first;
    for (const auto& stops : splits) {
        Tone tone;
        auto s = show(30, tone);
        s->musicplayson = true;
        World* w = &s->world;
        const Analysis& a = s->analysis;
        seedrnd(7);
        Dance dance(c, *s, timedevents(at), io);
        for (const std::int64_t stop : stops) {
            dance.runto(stop);
            ASSERT_EQ(dance.passes(), stop);
            // a before the first pass, g and v after pass 1000 and not before
            EXPECT_EQ(w->bar, -1);
            EXPECT_EQ(w->gravity, stop >= 1000 ? -1 : 1) << stop;
            EXPECT_EQ(w->viscous, stop >= 1000 ? -1 : 1) << stop;
        }
        EXPECT_EQ(dance.positionms(), 1500);
        EXPECT_EQ(w->steps, 3000);
        EXPECT_GT(a.kicks[5], 1.0f);
        if (!first) {
            first = std::move(s);
            continue;
        }
        const World& one = first->world;
        const int n = one.count();
        EXPECT_TRUE(std::equal(w->x, w->x + n, one.x));
        EXPECT_FALSE(std::equal(w->y, w->y + n, world(30)->y)); // the stars have moved
        EXPECT_TRUE(std::equal(w->vy, w->vy + n, one.vy));
    }
}

TEST(Videoclock, ProgressTexts) {
    EXPECT_EQ(clocktext(0), "0:00");
    EXPECT_EQ(clocktext(65.4), "1:05");
    EXPECT_EQ(clocktext(3725), "1:02:05");
    EXPECT_EQ(progressline(150, 300, 2.5, 5.0),
              " 50%  frame 150 of 300  0.50x real time  0:05 left");
    EXPECT_EQ(progressline(0, 300, 0, 0.1), "  0%  frame 0 of 300  0.00x real time  -:-- left");
}
