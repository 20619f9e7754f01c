// The window leaves out the stars drawn as points whose centre is outside the
// view, trusting GL to discard them. These tests hold that trust against the
// driver the program runs on: Mesa's, offscreen.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/render/frame.h"
#include "core/render/glyph.h"
#include "core/world/world.h"
#include "pixels.h"
#include "platform/gl/draw.h"
#include "platform/video/offscreen.h"

namespace starlume {
namespace {

constexpr int side = 700;

class Points : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(target.open(side, side, Square{0, 0, side, side}, error)) << error;
        setglstate();
    }

    std::vector<std::uint8_t> read() {
        std::vector<std::uint8_t> rgba(4 * side * side);
        target.readback(rgba.data());
        return rgba;
    }

    // Every point sent as it is, the way the window drew before.
    std::vector<std::uint8_t> drawall(const Frame& f) {
        glClearColor(0, 0, 0, 1);
        target.clear();
        glClear(GL_COLOR_BUFFER_BIT);
        glPointSize(pointsize);
        for (int k = 0; k < f.count(); k++) {
            glColor3f(f.colours[k].r, f.colours[k].g, f.colours[k].b);
            glBegin(GL_POINTS);
            glVertex3f(f.xy[2 * k], f.xy[2 * k + 1], 0.0f);
            glEnd();
        }
        return read();
    }

    std::vector<std::uint8_t> drawn(const Frame& f) {
        glClearColor(0, 0, 0, 1);
        target.clear();
        drawframe(f);
        return read();
    }

    static long lit(const std::vector<std::uint8_t>& rgba) {
        return litpixels(rgba, side, 0, 0, side, side);
    }

    Offscreen target;
};

Frame pointsat(const std::vector<float>& xy) {
    Frame f;
    f.xy = xy;
    f.colours.assign(xy.size() / 2, Rgb{1, 0.5f, 0.25f});
    return f;
}

TEST_F(Points, OutsideTheViewLightsNothingAndOnItsEdgeDoes) {
    const float above = 1.0000001f, below = -1.000005f;
    const Frame outside =
        pointsat({0, below, 0.3f, above, above, 0, below, -0.5f, 1.5f, 1.5f, -3, 0, 0.2f, -1.01f});
    EXPECT_EQ(lit(drawall(outside)), 0);

    // On the edge and inside: drawn, the same whether sent one by one or
    // through the window's drawing, which then also meets the outside ones.
    std::vector<float> both = {0, -1, 1, 0, -1, -1, 1, 1, 0.25f, 0.5f};
    both.insert(both.end(), outside.xy.begin(), outside.xy.end());
    const Frame f = pointsat(both);
    const auto all = drawall(f);
    EXPECT_GT(lit(all), 5);
    EXPECT_EQ(drawn(f), all);
}

TEST_F(Points, StarsSettledOnTheFloorDrawTheSame) {
    World w;
    setOrder(w, maxorder);
    float kicks[16] = {};
    for (int i = 0; i < 3000; i++) {
        for (int b = 0; b < 16; b++) kicks[b] = i % 200 < 20 ? 0.4f : 0;
        simulate(w, kicks);
    }
    Palette p;
    drawsteps(p);
    Frame f;
    buildframe(f, w, p);
    ASSERT_EQ(f.corners, 0);
    int out = 0;
    for (int k = 0; k < f.count(); k++) out += f.xy[2 * k + 1] < -1 ? 1 : 0;
    EXPECT_GT(out, 0) << "no star below the floor: the case is not met";
    const auto all = drawall(f);
    EXPECT_EQ(drawn(f), all);
}

} // namespace
} // namespace starlume
