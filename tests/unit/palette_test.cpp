#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <numbers>
#include <string>

#include <gtest/gtest.h>

#include "core/render/frame.h"
#include "core/render/glyph.h"
#include "core/render/palette.h"
#include "core/world/random.h"
#include "core/world/world.h"

using namespace starlume;

namespace {

void expectrgb(const Rgb& got, const Rgb& want) {
    EXPECT_FLOAT_EQ(got.r, want.r);
    EXPECT_FLOAT_EQ(got.g, want.g);
    EXPECT_FLOAT_EQ(got.b, want.b);
}

float glitter() { return static_cast<float>((starlume::rnd() % 11) / 10.0); }

} // namespace

TEST(Colours, FixedAndSpeedSchemes) {
    const struct {
        int color;
        double energy;
        Rgb draw;
    } cases[] = {{3, 0, {0.2f, 500, 0.5f}}, // a resting star, drawn full green once clamped
                 {3, 1e-6, {0.2f, 45.454545f, 0.5f}},
                 {3, 8, {0.2f, 0.0012499969f, 0.5f}},
                 {7, 0, {1, -1999, -4999}},
                 {7, 8, {1, 0.9995f, 0.99875f}},
                 {7, 1e6, {1, 0.9999998f, 0.9999995f}},
                 {0, 1, {1, 1, 1}},
                 {1, 1, {0, 0, 0}}};
    for (const auto& c : cases) {
        Palette p;
        const Starcolour got = colourstep(p, c.color, 0.3, c.energy);
        SCOPED_TRACE(::testing::Message() << c.color << " " << c.energy);
        EXPECT_TRUE(got.setdraw);
        EXPECT_EQ(got.setclear, c.color < 2);
        expectrgb(got.draw, c.draw);
        if (c.color < 2) expectrgb(got.clear, {float(c.color), float(c.color), float(c.color)});
    }
    Palette p;
    const Starcolour got = colourstep(p, 9, 0.3, 1);
    EXPECT_FALSE(got.setdraw || got.setclear);
    EXPECT_EQ(p.aa + p.ba + p.ca, 3);
}

TEST(Colours, GlitterUsesFourDrawsBySpeedBand) {
    // energy, then which draws (1 to 4) make red, green, blue
    const double cases[][4] = {
        {0, 1, 3, 4},      {5e-8, 1, 3, 4},  {1e-7, 2, 3, 4}, {5e-4, 2, 3, 4}, {0.001, 3, 4, 1},
        {0.0015, 3, 4, 1}, {0.002, 4, 1, 1}, {0.01, 4, 1, 1}, {0.04, 1, 2, 3}, {1, 1, 2, 3}};
    for (const auto& c : cases) {
        starlume::seedrnd(11);
        const float r[5] = {0, glitter(), glitter(), glitter(), glitter()};
        const int next = starlume::rnd();
        starlume::seedrnd(11);
        Palette p;
        const Starcolour got = colourstep(p, 4, 0, c[0]);
        SCOPED_TRACE(c[0]);
        EXPECT_TRUE(got.setdraw);
        expectrgb(got.draw, {r[int(c[1])], r[int(c[2])], r[int(c[3])]});
        EXPECT_EQ(starlume::rnd(), next);
    }
}

TEST(Colours, StripSchemesColourByStripAndLeaveStripFifteenBehind) {
    const std::pair<int, Rgb> schemes[] = {
        {5, {0.9375f, 0.6f, 0.6f}}, {6, {0.8f, 0.5625f, 0.28125f}}, {8, {0.75f, 0.6f, 0.6f}}};
    for (const auto& [color, last] : schemes) {
        for (int s = 0; s < 16; s++) {
            Palette p;
            const Starcolour got = colourstep(p, color, -1 + (s + 0.5) / 8, 0);
            SCOPED_TRACE(::testing::Message() << color << " strip " << s);
            ASSERT_TRUE(got.setdraw && !got.setclear);
            const float f = s / 16.0f;
            if (color == 5 || (color == 8 && s % 2 == 1)) {
                expectrgb(got.draw, {color == 5 ? f : 0.8f * f, 0.6f, 0.6f});
            } else {
                expectrgb(got.draw, {0.8f, 0.6f * f, 0.3f * f});
            }
            expectrgb({p.aa, p.ba, p.ca}, last);
        }
        for (double x : {-1.0, -0.875, 0.0, 0.5, 1.0, 1.2, -3.0}) { // in no strip
            Palette p;
            p.aa = p.ba = p.ca = 0.4f;
            EXPECT_FALSE(colourstep(p, color, x, 0).setdraw) << color << " " << x;
            expectrgb({p.aa, p.ba, p.ca}, last);
        }
    }
}

TEST(Colours, TransitionsDrawThenStep) {
    Palette p{1.2f, 0.8f, 0.5f, 0.001f, 0.002f, 0.003f, 1, -1, 1};
    const Starcolour got = colourstep(p, 2, 0, 0);
    ASSERT_TRUE(got.setdraw && got.setclear);
    expectrgb(got.draw, {1.2f, 0.8f, 0.5f});
    expectrgb(got.clear, {-0.2f, 0.1f, 0.5f}); // channels reversed, each lowered by 0.7
    expectrgb({p.aa, p.ba, p.ca}, {1.2f + 0.001f, 0.8f - 0.002f, 0.5f + 0.003f});

    // before and after one step of 0.01
    const std::pair<float, int> cases[][2] = {{{1.6f, 1}, {1.59f, -1}},
                                              {{0.2f, -1}, {0.21f, 1}},
                                              {{1.5f, 1}, {1.51f, 1}},
                                              {{0.3f, -1}, {0.29f, -1}}};
    for (const auto& [before, after] : cases) {
        Palette q;
        q.aa = before.first;
        q.transitiona = before.second;
        q.aaa = 0.01f;
        transitionstep(q);
        EXPECT_FLOAT_EQ(q.aa, after.first) << before.first;
        EXPECT_EQ(q.transitiona, after.second) << before.first;
    }
}

TEST(Colours, SinglePrecisionSwallowsTinySteps) {
    auto stepof = [](int n) { return static_cast<float>(n / 100000000.0); };
    for (int n : {0, 1, 2}) { // falling from 1.0: never moves
        Palette p;
        p.aaa = stepof(n);
        for (int i = 0; i < 10000; i++) transitionstep(p);
        EXPECT_EQ(p.aa, 1.0f) << n;
    }
    for (int n = 1; n <= 5; n++) { // rising: never passes 1.0
        Palette p;
        p.aa = 0.999f;
        p.transitiona = 1;
        p.aaa = stepof(n);
        for (int i = 0; i < 200000; i++) transitionstep(p);
        EXPECT_LE(p.aa, 1.0f) << n;
    }
    Palette p;
    p.transitiona = 1;
    p.aaa = stepof(6);
    float top = 0;
    for (int i = 0; i < 10000000 && p.transitiona == 1; i++) {
        transitionstep(p);
        top = std::max(top, p.aa);
    }
    EXPECT_EQ(p.transitiona, -1);
    EXPECT_GT(top, 1.5f);
}

TEST(Glyph, OutlineByOrderWithVerticesOnCircle) {
    const int cases[][2] = {{1, 32},  {10, 32}, {11, 16}, {29, 16}, {30, 10},
                            {40, 10}, {41, 6},  {90, 6},  {91, 0},  {100, 0}};
    for (const auto& c : cases) EXPECT_EQ(glyphvertices(c[0]), c[1]) << c[0];
    for (int n : {32, 16, 10, 6}) {
        const Outline& o = outline(n);
        ASSERT_EQ(o.n, n);
        for (int i = 0; i < n; i++) {
            float vx, vy;
            glyphvertex(o, i, 0.25, -0.5, 0.004, vx, vy);
            const double theta = 2 * i * std::numbers::pi / n;
            EXPECT_EQ(vx, static_cast<float>(0.25 + 0.004 * std::cos(theta))) << n << " " << i;
            EXPECT_EQ(vy, static_cast<float>(-0.5 + 0.004 * std::sin(theta))) << n << " " << i;
        }
    }
}

namespace {

// A frame built star by star through colourstep, as the schemes are defined.
void referenceframe(Frame& f, World& w, Palette& p) {
    w.frames++;
    const int n = w.count();
    const int corners = glyphvertices(w.order);
    f.corners = corners;
    f.xy.resize(2 * static_cast<std::size_t>(n) * f.vertices());
    f.colours.resize(static_cast<std::size_t>(n));
    f.clearset = false;
    float* v = f.xy.data();
    for (int k = 0; k < n; k++) {
        const double energy = w.vx[k] * w.vx[k] + w.vy[k] * w.vy[k];
        const Starcolour c = colourstep(p, w.color, w.x[k], energy);
        if (c.setdraw) f.current = c.draw;
        if (c.setclear) {
            f.clearset = true;
            f.clear = c.clear;
        }
        f.colours[k] = f.current;
        for (int i = 0; i < f.vertices(); i++, v += 2) {
            if (corners == 0) {
                v[0] = static_cast<float>(w.x[k]);
                v[1] = static_cast<float>(w.y[k]);
            } else {
                glyphvertex(outline(corners), i, w.x[k], w.y[k], 2 * w.size, v[0], v[1]);
            }
        }
    }
}

bool samebits(const void* a, const void* b, std::size_t n) { return std::memcmp(a, b, n) == 0; }

} // namespace

// Every scheme, at the point and the outline sizes, three frames running:
// the same colours, vertices, palette and random stream to the bit.
TEST(Colours, FrameAsStarByStar) {
    for (const int color : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 12}) {
        for (const int order : {100, 30, 1}) {
            auto stars = std::make_unique<World>(), copy = std::make_unique<World>();
            World& w = *stars;
            setOrder(w, order);
            w.color = color;
            for (int k = 0; k < w.count(); k++) {
                // across every strip, on boundaries and outside the window
                w.x[k] = k % 9 == 0 ? -1 + (k % 19) / 8.0 : -1.1 + 2.2 * ((k * 53) % 997) / 997;
                const double speeds[] = {0, 1e-4, 0.0316, 0.04, 0.1, 0.3};
                w.vx[k] = speeds[k % 6];
                w.vy[k] = k % 4 == 0 ? -speeds[(k / 6) % 6] : 0;
            }
            World& mine = *copy;
            mine = w;
            Palette p, q;
            seedrnd(5);
            drawsteps(p);
            q = p;
            Frame want, got;
            want.current = got.current = {0.1f, 0.2f, 0.3f};
            for (int frame = 0; frame < 3; frame++) {
                seedrnd(40 + frame);
                referenceframe(want, w, p);
                const int after = rnd();
                seedrnd(40 + frame);
                buildframe(got, mine, q);
                const std::string at = std::to_string(color) + " " + std::to_string(order);
                ASSERT_EQ(rnd(), after) << at;
                ASSERT_EQ(got.corners, want.corners) << at;
                ASSERT_EQ(got.colours.size(), want.colours.size()) << at;
                ASSERT_TRUE(samebits(got.colours.data(), want.colours.data(),
                                     want.colours.size() * sizeof(Rgb)))
                    << at;
                ASSERT_EQ(got.xy, want.xy) << at;
                ASSERT_TRUE(samebits(&got.current, &want.current, sizeof(Rgb))) << at;
                ASSERT_EQ(got.clearset, want.clearset) << at;
                if (want.clearset) {
                    ASSERT_TRUE(samebits(&got.clear, &want.clear, sizeof(Rgb))) << at;
                }
                ASSERT_TRUE(samebits(&q, &p, sizeof(Palette))) << at;
                ASSERT_EQ(mine.frames, w.frames) << at;
            }
        }
    }
}
