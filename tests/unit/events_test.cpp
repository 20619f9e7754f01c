#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/app/show.h"
#include "core/clock/clock.h"
#include "core/input/events.h"
#include "core/input/take.h"
#include "support.h"

using namespace starlume;
using namespace testsupport;

namespace {

Event mouseat(Eventkind kind, double x, double y, double ms = 0) {
    Event e;
    e.kind = kind;
    e.x = x;
    e.y = y;
    e.ms = ms;
    return e;
}

} // namespace

TEST(Events, MouseFractionsLandOnTheSamePixels) {
    // a window's pixel turned into a fraction and back is the same pixel,
    // at any size, beyond the edges too
    const std::pair<int, int> sizes[] = {{700, 700}, {1280, 720}, {16, 16}, {3001, 17}, {1, 1}};
    for (const auto& [w, h] : sizes) {
        auto world = std::make_unique<World>();
        world->screensizex = w;
        world->screensizey = h;
        for (const int p : {0, 1, 7, 349, 350, 599, 699, 1279, -40, 5000}) {
            double fx, fy;
            picturefractions(*world, p, p / 2, fx, fy);
            int px, py;
            picturepixels(*world, fx, fy, px, py);
            EXPECT_EQ(std::make_pair(px, py), std::make_pair(p, p / 2)) << w << "x" << h;
        }
    }
    // a window with no size yet gives the corner, not a division by zero
    auto none = std::make_unique<World>();
    none->screensizex = none->screensizey = 0;
    double fx = 1, fy = 1;
    picturefractions(*none, 10, 10, fx, fy);
    EXPECT_EQ(std::make_pair(fx, fy), std::make_pair(0.0, 0.0));
}

TEST(Events, TheToolkitsButtonsAsEvents) {
    auto w = std::make_unique<World>();
    // button, state, the event: the left one goes down; any goes up; any
    // other down only moves the cursor, as the callback treats it
    const std::tuple<int, int, Eventkind> cases[] = {{0, 0, Eventkind::press},
                                                     {0, 1, Eventkind::release},
                                                     {2, 0, Eventkind::move},
                                                     {2, 1, Eventkind::release},
                                                     {3, 0, Eventkind::move}};
    for (const auto& [button, state, kind] : cases) {
        const Event e = buttonevent(*w, button, state, 350, 175);
        EXPECT_EQ(std::make_tuple(e.kind, e.x, e.y), std::make_tuple(kind, 0.5, 0.25));
    }
    EXPECT_EQ(motionevent(*w, 70, 700).kind, Eventkind::move);
}

TEST(Events, EachAppliedToTheShow) {
    Output out;
    Input in("30\n");
    const Io io{in.get(), out.get(), [] { return 0; }, [] {}, [] {}};
    auto s = makeshow();
    World& w = s->world;
    w.screensizex = 1280;
    w.screensizey = 720;
    // the event, what comes back, and the cursor, button and stars after it
    struct Case {
        Event e;
        Outcome o;
        double mx1, my1;
        int mousedown, order;
    };
    Event key;
    key.key = 'Q';
    Event stars;
    stars.kind = Eventkind::stars;
    stars.stars = 40;
    Event ask;
    ask.key = 'n';
    Event wrong = stars;
    wrong.stars = 0;
    const auto stage = [](Eventkind k) {
        Event e;
        e.kind = k;
        return e;
    };
    const Case cases[] = {
        {mouseat(Eventkind::press, 0.5, 0.5), Outcome::carryon, 640, 360, 1, 75},
        {mouseat(Eventkind::move, -0.25, 1.5), Outcome::carryon, -320, 1080, 1, 75},
        {mouseat(Eventkind::release, 1, 0), Outcome::carryon, 1280, 0, 0, 75},
        {mouseat(Eventkind::move, 1e300, -1e300), Outcome::carryon, 1e9, -1e9, 0, 75},
        {stars, Outcome::carryon, 1e9, -1e9, 0, 40},
        {wrong, Outcome::carryon, 1e9, -1e9, 0, 40},
        {ask, Outcome::stars, 1e9, -1e9, 0, 30},
        {key, Outcome::quit, 1e9, -1e9, 0, 30},
        {stage(Eventkind::next), Outcome::next, 1e9, -1e9, 0, 30},
        {stage(Eventkind::previous), Outcome::previous, 1e9, -1e9, 0, 30},
        {stage(Eventkind::fullscreen), Outcome::fullscreen, 1e9, -1e9, 0, 30},
        {stage(Eventkind::leavefullscreen), Outcome::leavefullscreen, 1e9, -1e9, 0, 30},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(apply(*s, c.e, io), c.o) << static_cast<int>(c.e.kind);
        EXPECT_EQ(std::make_tuple(w.mx1, w.my1, w.mousedown, w.order),
                  std::make_tuple(c.mx1, c.my1, c.mousedown, c.order))
            << static_cast<int>(c.e.kind);
    }
}

TEST(Events, ADanceHoldsTheButtonFromItsPassToItsRelease) {
    Output out;
    const Io io{stdin, out.get(), [] { return 0; }, [] {}, [] {}};
    const Videoclock c(2000, 60, 10 * 44100);
    Silence quiet;
    auto s = show(10, quiet);
    s->world.gravity = -1;
    s->world.screensizex = 640;
    s->world.screensizey = 360;
    // --at's g lands with the take's press at 0.25 s, after it
    Event g;
    g.ms = 250;
    g.key = 'g';
    Dance dance(c, *s,
                mergeevents({mouseat(Eventkind::press, 0.75, 0.25, 250),
                             mouseat(Eventkind::release, 0.75, 0.25, 500.2)},
                            {g}),
                io);
    dance.runto(499);
    EXPECT_EQ(std::make_tuple(s->world.mousedown, s->world.gravity), std::make_tuple(0, -1));
    dance.runto(500); // the pass at 250 ms
    EXPECT_EQ(std::make_tuple(s->world.mousedown, s->world.gravity), std::make_tuple(1, 1));
    EXPECT_EQ(std::make_pair(s->world.mx1, s->world.my1), std::make_pair(480.0, 90.0));
    dance.runto(1000);
    EXPECT_EQ(s->world.mousedown, 1); // 500.2 ms is after pass 1000's 500
    dance.runto(1001);
    EXPECT_EQ(s->world.mousedown, 0);
    // the field pulled the stars toward world x = 0.5 meanwhile: those of
    // the middle column right, those of the last left
    EXPECT_GT(s->world.vx[55], 0);
    EXPECT_LT(s->world.vx[95], 0);
}

TEST(Events, TheMusicHeard) {
    Clock c;
    setclock(c, 1000, 50); // heard from 1000 on the stage's clock
    // now, paused, heard
    const std::tuple<double, bool, double> cases[] = {
        {1000, false, 0}, {3500, false, 2500}, {900, false, 0}};
    for (const auto& [now, paused, heard] : cases) EXPECT_EQ(heardms(c, now, paused), heard);
    pauseclock(c, 2000);
    EXPECT_EQ(heardms(c, 9000, true), 1000); // stands still while paused
    resumeclock(c, 9000);
    EXPECT_EQ(heardms(c, 9500, false), 1500); // the pause left out
    setlead(c, 80);
    EXPECT_EQ(heardms(c, 9500, false), 1500); // a new lead moves the blocks, not the music
    Clock waiting;
    setclock(waiting, std::numeric_limits<double>::infinity(), 50);
    EXPECT_EQ(heardms(waiting, 5000, false), 0);
}

TEST(Events, ATakeThatCannotBeWrittenSaysSo) {
    std::FILE* full = std::fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    Takewriter w(full);
    w.header(Take{});
    w.song("a.wav", 1.0);
    for (int i = 0; i < 10000; i++) w.write(mouseat(Eventkind::move, 0.5, 0.5, i));
    EXPECT_FALSE(w.flush());
    EXPECT_FALSE(w.close());
}

TEST(Events, AVideosMouseLandsOnTheSameStarsWhateverTheFrame) {
    // a fraction of the stars' square is the same pixel of it, whether the
    // square is centred in the frame or stretched over it
    Output out;
    const Io io{stdin, out.get(), [] { return 0; }, [] {}, [] {}};
    const std::tuple<int, int, bool, double, double> cases[] = {
        {1280, 720, false, 540, 180}, {720, 1280, false, 540, 180}, {1280, 720, true, 960, 180}};
    for (const auto& [width, height, stretch, mx1, my1] : cases) {
        Args args;
        std::tie(args.width, args.height, args.stretch) = std::tie(width, height, stretch);
        auto s = makeshow();
        startvideo(*s, args, {}, io);
        apply(*s, mouseat(Eventkind::press, 0.75, 0.25), io);
        EXPECT_EQ(std::make_pair(s->world.mx1, s->world.my1), std::make_pair(mx1, my1)) << width;
    }
}
