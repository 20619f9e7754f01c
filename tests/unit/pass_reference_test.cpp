// The simulation pass is written for speed (branch-free loops, two stars per
// step in the cursor field). Here it must match, bit for bit, a plain
// star-by-star version of the same pass.
#include <cmath>
#include <cstring>

#include <gtest/gtest.h>

#include "support.h"

using namespace starlume;

namespace {

void referencefield(World& w, const float kicks[16]) {
    w.dsquared = 1;
    const int hw = w.screensizex / 2, hh = w.screensizey / 2;
    if (hw == 0 || hh == 0) return;
    w.mouseux = (w.mx1 - hw) / hw;
    w.mouseuy = -(w.my1 - hh) / hh;
    for (int k = 0; k < w.count(); k++) {
        w.umag[k] = std::sqrt((w.mouseux - w.x[k]) * (w.mouseux - w.x[k]) +
                              (w.mouseuy - w.y[k]) * (w.mouseuy - w.y[k]));
        w.vx1[k] = w.umag[k] > 0 ? (w.mouseux - w.x[k]) / w.umag[k] : 0;
        w.vy1[k] = w.umag[k] > 0 ? (w.mouseuy - w.y[k]) / w.umag[k] : 0;
        w.dsquared = w.distance == 1 ? 10 * w.umag[k] * w.umag[k] : 1;
        w.power = w.umag[k] < 0.001 ? 0 : 0.3;
        if (w.power != 0 && w.reverse == 1) {
            w.vx[k] += w.power * w.vx1[k] / (1000 * w.dsquared);
            w.vy[k] += w.power * w.vy1[k] / (1000 * w.dsquared);
        } else if (w.power != 0) {
            w.vx[k] -= w.power * w.vx1[k] / (1000 * w.dsquared);
            w.vy[k] -= w.power * w.vy1[k] / (1000 * w.dsquared);
        }
        if (w.umag[k] < 0.05 && w.distance == -1 && w.mousekick == 1) {
            w.gravity = -1;
            const float g = w.bar == -1 ? 1.0f : static_cast<float>(2.0 * (rnd() % 10) / 10);
            const double theta = std::atan2(w.mouseuy - w.y[k], w.mouseux - w.x[k]);
            int s = static_cast<int>((theta * 180 / 3.14159 + 180) / 22.5);
            if (s == 16) s = 0;
            if (w.reverse == 1) {
                w.vx[k] = w.vx[k] + g * 0.04 * kicks[s] * w.vx[k];
                w.vy[k] = w.vy[k] + g * 0.04 * kicks[s] * w.vy[k];
            }
        }
    }
}

void referencepass(World& w, const float kicks[16]) {
    const int n = w.count();
    for (int k = 0; k < n && w.gravity == 1; k++) w.vy[k] -= 0.0001;
    w.counter++;
    if (w.mousedown != 0 && w.counter % 2 == 0) {
        referencefield(w, kicks);
    } else if (w.mousedown == 0 && w.mousekick == 1) {
        w.gravity = 1;
    }
    for (int k = 0; k < n && w.blackhole == 1; k++) {
        w.temp = w.vx[k];
        w.vx[k] = -w.vy[k];
        w.vy[k] = w.temp;
    }
    for (int k = 0; k < n && w.viscous == 1; k++) {
        w.vx[k] = w.vx[k] / w.viscousity;
        w.vy[k] = w.vy[k] / w.viscousity;
    }
    w.steps++;
    for (int k = 0; k < n; k++) {
        if (w.looper == 1) {
            if (w.y[k] < -1 && w.vy[k] < 0) w.y[k] = 1;
            if (w.x[k] < -1 && w.vx[k] < 0) w.x[k] = 1;
            if (w.x[k] > 1 && w.vx[k] > 0) w.x[k] = -1;
            if (w.y[k] > 1 && w.vy[k] > 0) w.y[k] = -1;
        } else {
            if (w.y[k] < -1 && w.vy[k] < 0) w.vy[k] = 0, w.y[k] = -1;
            if (w.x[k] < -1 && w.vx[k] < 0) w.vx[k] = -w.vx[k];
            if (w.x[k] > 1 && w.vx[k] > 0) w.vx[k] = -w.vx[k];
            if (w.y[k] > 1 && w.vy[k] > 0) w.vy[k] = -w.vy[k];
        }
        w.x[k] += w.vx[k] * w.dt;
        w.y[k] += w.vy[k] * w.dt;
    }
}

// Stars spread over, on and beyond the walls, a cluster within the radial bars
// around the cursor at (0.1, -0.2), one inside the dead zone and one exactly
// on the cursor; the rest of the arrays hold values no pass may touch.
std::unique_ptr<World> scene(int order, unsigned seed) {
    auto w = std::make_unique<World>();
    setOrder(*w, order);
    seedrnd(seed);
    auto spread = [](double a) { return a * ((rnd() % 20001) / 10000.0 - 1); };
    for (int k = 0; k < maxstars; k++) {
        const bool near = k % 3 == 0;
        w->x[k] = near ? 0.1 + spread(0.04) : spread(1.1);
        w->y[k] = near ? -0.2 + spread(0.04) : spread(1.1);
        if (k % 7 == 0) w->y[k] = -1;
        if (k % 11 == 0) w->x[k] = k % 2 == 0 ? 1 : -1; // exactly on a wall
        if (k % 13 == 0) w->y[k] = 1;
        w->vx[k] = spread(0.05);
        w->vy[k] = spread(0.05);
    }
    w->x[1] = 0.1, w->y[1] = -0.2;
    w->x[2] = 0.1005, w->y[2] = -0.2;
    w->mx1 = 385, w->my1 = 420; // (0.1, -0.2) in a 700 by 700 window
    return w;
}

bool same(const World& a, const World& b) {
    // The struct has padding after int members; compare field by field.
    auto eq = [](const double* p, const double* q) {
        return std::memcmp(p, q, maxstars * sizeof(double)) == 0;
    };
    return eq(a.x, b.x) && eq(a.y, b.y) && eq(a.vx, b.vx) && eq(a.vy, b.vy) && eq(a.umag, b.umag) &&
           eq(a.vx1, b.vx1) && eq(a.vy1, b.vy1) && a.gravity == b.gravity && a.steps == b.steps &&
           a.counter == b.counter && std::memcmp(&a.temp, &b.temp, sizeof a.temp) == 0 &&
           a.dsquared == b.dsquared && a.power == b.power && a.mouseux == b.mouseux &&
           a.mouseuy == b.mouseuy;
}

} // namespace

TEST(PassReference, EveryToggleCombinationMatchesStarByStar) {
    float kicks[16];
    for (int b = 0; b < 16; b++) kicks[b] = 0.3f + 0.1f * b;
    int checked = 0;
    for (int mask = 0; mask < 256; mask++) {
        for (int order : {1, 4, 75}) {
            const unsigned seed =
                1000u * static_cast<unsigned>(mask) + static_cast<unsigned>(order);
            auto ours = scene(order, seed), theirs = scene(order, seed);
            for (World* w : {ours.get(), theirs.get()}) {
                const auto bit = [mask](int i) { return (mask >> i & 1) != 0 ? 1 : -1; };
                w->gravity = bit(0), w->blackhole = bit(1), w->viscous = bit(2);
                w->looper = bit(3), w->distance = bit(4), w->reverse = bit(5);
                w->mousekick = bit(6), w->bar = bit(7);
                w->mousedown = order == 4 ? 0 : 1;
            }
            seedrnd(seed);
            for (int pass = 0; pass < 6; pass++) referencepass(*theirs, kicks);
            const int theirnext = rnd();
            seedrnd(seed);
            for (int pass = 0; pass < 6; pass++) simulate(*ours, kicks);
            ASSERT_TRUE(same(*ours, *theirs)) << "toggles " << mask << ", order " << order;
            ASSERT_EQ(rnd(), theirnext) << "random draws differ, toggles " << mask;
            checked++;
        }
    }
    EXPECT_EQ(checked, 768);
}
