#include <array>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "core/render/lay.h"

using namespace starlume;

namespace {

using Pixel = std::array<std::uint8_t, 4>;

// A width x height RGBA picture of one pixel everywhere, with some pixels set.
std::vector<std::uint8_t> picture(int w, int h, Pixel fill,
                                  std::vector<std::pair<int, Pixel>> set = {}) {
    std::vector<std::uint8_t> p(4 * static_cast<std::size_t>(w) * h);
    for (std::size_t i = 0; i < p.size(); i += 4)
        std::copy(fill.begin(), fill.end(), p.begin() + i);
    for (const auto& [at, px] : set) std::copy(px.begin(), px.end(), p.begin() + 4 * at);
    return p;
}

Pixel at(const std::vector<std::uint8_t>& p, int i) {
    return {p[4 * i], p[4 * i + 1], p[4 * i + 2], p[4 * i + 3]};
}

} // namespace

TEST(Lay, StarsTurnRightWayUpAndMixWithTheirLayersByAlpha) {
    // 2 x 2: the stars' first row read back is the frame's bottom row.
    const int w = 2, h = 2;
    const Pixel cover{100, 50, 0, 255}, clear{9, 9, 9, 0};
    const auto stars = picture(w, h, clear, {{0, {255, 0, 0, 255}}, {3, {0, 255, 0, 128}}});
    const auto under = picture(w, h, cover);
    const auto over = picture(w, h, {0, 0, 0, 0}, {{1, {255, 255, 255, 255}}});
    const struct {
        bool under, over;
        Pixel topleft, topright, bottomleft, bottomright;
    } cases[] = {
        // Alone the stars are opaque, their alpha ignored (no cover shows through).
        {false, false, {9, 9, 9, 255}, {0, 255, 0, 255}, {255, 0, 0, 255}, {9, 9, 9, 255}},
        // On a cover the clear background is the cover, half a star half of each.
        {true, false, cover, {50, 153, 0, 255}, {255, 0, 0, 255}, cover},
        // The text covers whatever is under it, and only there.
        {true, true, cover, {255, 255, 255, 255}, {255, 0, 0, 255}, cover},
        {false, true, {9, 9, 9, 255}, {255, 255, 255, 255}, {255, 0, 0, 255}, {9, 9, 9, 255}},
    };
    for (const auto& c : cases) {
        Layers layers;
        layers.width = w;
        layers.height = h;
        if (c.under) layers.under = under;
        if (c.over) {
            layers.over = over;
            const Rows rows = opaquerows(over, w, h);
            layers.overfrom = rows.from;
            layers.overto = rows.to;
        }
        std::vector<std::uint8_t> out(4 * w * h, 77);
        lay(layers, stars.data(), out.data());
        EXPECT_EQ(at(out, 0), c.topleft) << c.under << c.over;
        EXPECT_EQ(at(out, 1), c.topright) << c.under << c.over;
        EXPECT_EQ(at(out, 2), c.bottomleft) << c.under << c.over;
        EXPECT_EQ(at(out, 3), c.bottomright) << c.under << c.over;
    }
}

TEST(Lay, TextRowsAreThoseWithAnyAlpha) {
    const int w = 3, h = 5;
    EXPECT_EQ(opaquerows({}, w, h).to, 0);
    EXPECT_EQ(opaquerows(picture(w, h, {255, 255, 255, 0}), w, h).to, 0);
    const Rows rows = opaquerows(
        picture(w, h, {255, 255, 255, 0}, {{4, {0, 0, 0, 1}}, {11, {0, 0, 0, 200}}}), w, h);
    EXPECT_EQ(rows.from, 1);
    EXPECT_EQ(rows.to, 4);
}

TEST(Lay, I420IsBt709InTheLimitedRange) {
    // 4 x 2: two 2 x 2 blocks, one of a single colour, one of black and white.
    const struct {
        Pixel colour;
        int y, u, v;
    } cases[] = {{{0, 0, 0, 255}, 16, 128, 128},   {{255, 255, 255, 255}, 235, 128, 128},
                 {{255, 0, 0, 255}, 63, 102, 240}, {{0, 255, 0, 255}, 173, 42, 26},
                 {{0, 0, 255, 255}, 32, 240, 118}, {{128, 128, 128, 255}, 126, 128, 128}};
    for (const auto& c : cases) {
        const Pixel black{0, 0, 0, 255}, white{255, 255, 255, 255};
        const auto rgba = picture(4, 2, c.colour, {{2, black}, {3, white}, {6, white}, {7, black}});
        std::vector<std::uint8_t> out(12, 0);
        toi420(rgba.data(), 4, 2, out.data());
        EXPECT_EQ(std::vector<int>(out.begin(), out.end()),
                  (std::vector<int>{c.y, c.y, 16, 235, c.y, c.y, 235, 16, c.u, 128, c.v, 128}))
            << int(c.colour[0]) << ' ' << int(c.colour[1]) << ' ' << int(c.colour[2]);
    }
}
