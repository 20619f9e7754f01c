#include <cmath>
#include <cstdlib>

#include <gtest/gtest.h>

#include "support.h"

using namespace starlume;
using testsupport::world;

namespace {

const float silence[16] = {};

// One star at (x, y) moving at (vx, vy), the left button held over pixel
// (px, py) of a 700 by 700 window.
std::unique_ptr<World> held(double x, double y, double vx = 0, double vy = 0, int px = 350,
                            int py = 350) {
    auto w = world(1, x, y, vx, vy);
    mouse(*w, 0, 0, px, py);
    return w;
}

// Two cursor phases: the field acts on the second (even) one only.
void activepass(World& w, const float* levels = silence) {
    cursorphase(w, levels);
    cursorphase(w, levels);
}

bool finite(const World& w) { return std::isfinite(w.vx[0]) && std::isfinite(w.vy[0]); }

} // namespace

TEST(CursorField, PixelToWorldMapping) {
    // width, height, px, py, world x, world y
    const int cases[][6] = {{700, 700, 350, 350, 0, 0},
                            {700, 700, 0, 0, -1, 1},
                            {700, 700, 700, 700, 1, -1},
                            {701, 501, 350, 250, 0, 0},
                            {700, 700, -350, 1400, -2, -3}}; // outside: no clamping
    for (const auto& c : cases) {
        auto w = held(0.5, 0.5, 0, 0, c[2], c[3]);
        w->screensizex = c[0];
        w->screensizey = c[1];
        activepass(*w);
        EXPECT_EQ(std::pair(w->mouseux, w->mouseuy), std::pair(double(c[4]), double(c[5])));
    }
}

TEST(CursorField, ForceByDistanceLawAndDirection) {
    // distance, reverse, r, speed gained toward the cursor per pass
    const double cases[][4] = {{1, 1, 0.5, 0.00012},   {1, 1, 0.0009, 0},
                               {1, 1, 0.1, 0.003},     {-1, 1, 0.5, 0.0003},
                               {1, -1, 0.5, -0.00012}, {-1, -1, 0.3, -0.0003}};
    for (const auto& c : cases) {
        auto w = held(-0.6 * c[2], -0.8 * c[2]); // cursor at the origin
        w->distance = static_cast<int>(c[0]);
        w->reverse = static_cast<int>(c[1]);
        cursorphase(*w, silence);
        EXPECT_EQ(w->vx[0], 0); // odd pass
        cursorphase(*w, silence);
        EXPECT_NEAR(w->vx[0], 0.6 * c[3], 1e-15) << c[2];
        EXPECT_NEAR(w->vy[0], 0.8 * c[3], 1e-15) << c[2];
        activepass(*w);
        EXPECT_NEAR(w->vx[0], 1.2 * c[3], 1e-15) << c[2];
    }
    for (int radial : {-1, 1}) { // a star right on the cursor has no direction to go
        auto w = held(0, 0, 0.001);
        w->mousekick = radial;
        w->distance = -radial;
        activepass(*w);
        EXPECT_TRUE(finite(*w));
        EXPECT_EQ(std::pair(w->vx[0], w->vy[0]), std::pair(0.001, 0.0));
    }
}

TEST(CursorField, RadialBarsScaleVelocityByDirectionBand) {
    // star relative to the cursor, sector
    const double cases[][3] = {
        {-0.01, 0, 8},      {0.01, 0, 0},    {0.01, -1e-8, 0}, // theta between 3.14159 and pi
        {0.01, 1e-8, 0},    {0, 0.01, 3},    {0, -0.01, 12},   // 3.14159 puts the axes just short
        {-0.01, -0.01, 10}, {0.01, 0.01, 1}, {-0.02, 0.03, 5}};
    float levels[16];
    for (int s = 0; s < 16; s++) levels[s] = static_cast<float>(s + 1);
    for (const auto& c : cases) {
        auto w = held(c[0], c[1], 0.001, 0.002);
        w->distance = w->bar = -1;
        w->mousekick = 1;
        activepass(*w, levels);
        const double r = std::hypot(c[0], c[1]), scale = 1 + 0.04 * (c[2] + 1);
        EXPECT_NEAR(w->vx[0], (0.001 - 0.0003 * c[0] / r) * scale, 1e-15) << c[0] << "," << c[1];
        EXPECT_NEAR(w->vy[0], (0.002 - 0.0003 * c[1] / r) * scale, 1e-15) << c[0] << "," << c[1];
        EXPECT_EQ(w->gravity, -1);
    }
}

TEST(CursorField, RepelledStarsGetNoRadialPushButStillDrawAndStopGravity) {
    auto w = held(0.01, 0, 0.001);
    w->distance = w->reverse = -1;
    w->mousekick = 1;
    const float loud[16] = {5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5};
    starlume::seedrnd(5);
    starlume::rnd();
    const int second = starlume::rnd();
    starlume::seedrnd(5);
    activepass(*w, loud);
    EXPECT_EQ(starlume::rnd(), second);
    EXPECT_DOUBLE_EQ(w->vx[0], 0.001 + 0.0003);
    EXPECT_EQ(w->gravity, -1);
}

TEST(CursorField, GravitySwitching) {
    auto w = held(0.01, 0);
    w->distance = -1;
    w->mousekick = 1;
    activepass(*w);
    EXPECT_EQ(w->gravity, -1);
    w->x[0] = 0.9; // off stays off while the button is held
    activepass(*w);
    EXPECT_EQ(w->gravity, -1);
    mouse(*w, 0, 1, 350, 350);
    cursorphase(*w, silence);
    EXPECT_EQ(w->gravity, 1);
    w->mousekick = w->gravity = -1; // without radial bars gravity is left alone
    cursorphase(*w, silence);
    EXPECT_EQ(w->gravity, -1);
}

TEST(CursorField, TinyWindowsLeaveVelocitiesFinite) {
    for (const auto& [width, height] : {std::pair{1, 700}, {0, 700}, {700, 1}, {0, 0}}) {
        auto w = held(0.2, 0.3, 0, 0, 0, 0);
        w->screensizex = width;
        w->screensizey = height;
        activepass(*w);
        EXPECT_TRUE(finite(*w)) << width << "x" << height;
    }
}

TEST(CursorField, ButtonsAndMotion) {
    for (int button : {0, 1, 2}) { // any release clears the held button
        auto w = held(0, 0);
        mouse(*w, button, 1, 10, 20);
        EXPECT_EQ(w->mousedown, 0) << button;
        EXPECT_EQ(std::pair(w->mx1, w->my1), std::pair(10.0, 20.0));
    }
    auto w = world(1);
    mouse(*w, 2, 0, 5, 6); // only the left button holds the field
    EXPECT_EQ(w->mousedown, 0);
    mouse(*w, 0, 0, 5, 6);
    mousecor(*w, 70, 80);
    EXPECT_EQ(w->mousedown, 1);
    EXPECT_EQ(std::pair(w->mx1, w->my1), std::pair(70.0, 80.0));
}

TEST(Cursor, FieldComesOnExactlyThePassesThatRunIt) {
    auto w = world(1, 0.5, 0.5);
    w->mx1 = w->my1 = 350;
    const float kicks[16] = {};
    for (int pass = 0; pass < 6; pass++) {
        if (pass == 2) w->mousedown = 1;
        const double before = w->vx[0];
        const bool predicted = fieldcomes(*w);
        cursorphase(*w, kicks);
        EXPECT_EQ(predicted, w->vx[0] != before) << pass;
    }
}
