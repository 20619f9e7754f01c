// A video draws its stars as sprites where the window draws their outlines'
// lines. Here both draw the same hand-made frames into a square in the
// middle of a wider frame, on Mesa's driver, offscreen: stars lone, piled up
// in many colours, and cut by each of the square's edges, over an opaque
// background and a transparent one.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/render/frame.h"
#include "core/render/glyph.h"
#include "pixels.h"
#include "platform/gl/draw.h"
#include "platform/video/batch.h"
#include "platform/video/offscreen.h"

namespace starlume {
namespace {

constexpr int width = 200, height = 120;
const Square square{40, 0, 120, 120};

Frame hexagons(const std::vector<float>& centres, double radius) {
    Frame f;
    f.corners = 6;
    f.radius = radius;
    const Outline& o = outline(6);
    for (std::size_t k = 0; k < centres.size(); k += 2) {
        for (int i = 0; i < 6; i++) {
            float x, y;
            glyphvertex(o, i, centres[k], centres[k + 1], radius, x, y);
            f.xy.push_back(x);
            f.xy.push_back(y);
        }
        const auto t = static_cast<float>(k % 7) / 6.0f;
        f.colours.push_back(Rgb{1 - t, t, 0.5f + t / 2});
    }
    return f;
}

struct Drawn {
    std::vector<std::uint8_t> rgba;
    const std::uint8_t* at(int x, int y) const { return &rgba[4 * (y * width + x)]; }
    long lit(int x0, int y0, int x1, int y1) const {
        return litpixels(rgba, width, x0, y0, x1, y1);
    }
};

TEST(Sprites, LightWhatTheLinesLightLonePiledAndAtTheEdges) {
    Offscreen target;
    std::string error;
    ASSERT_TRUE(target.open(width, height, square, error)) << error;
    setglstate();
    Batch batch;
    // lone stars, stars whose centres lie just past each edge, and a pile
    // of thirty a pixel or so apart
    std::vector<float> centres = {-0.5f, -0.5f, 0.6f,  -0.6f, -0.6f,  0.5f,  -1.02f,
                                  0.1f,  1.03f, -0.2f, 0.2f,  -1.02f, -0.3f, 1.03f};
    std::srand(5);
    for (int k = 0; k < 30; k++) {
        centres.push_back(0.3f + static_cast<float>(std::rand() % 100) / 3000.0f);
        centres.push_back(0.3f + static_cast<float>(std::rand() % 100) / 3000.0f);
    }
    const Frame f = hexagons(centres, 0.07);
    for (const float alpha : {1.0f, 0.0f}) {
        SCOPED_TRACE(alpha);
        setclearalpha(alpha);
        glClearColor(0, 0, 0, alpha);
        Drawn lines, sprites;
        for (Drawn* d : {&lines, &sprites}) {
            target.clear();
            if (d == &lines) {
                target.drawinto(true);
                drawframe(f);
            } else {
                batch.draw(f, target);
            }
            d->rgba.resize(4 * width * height);
            target.readback(d->rgba.data());
        }
        // the same pixels lit along each edge of the square, and in all
        const int x0 = square.x, x1 = square.x + square.width;
        for (const auto& [a, b, c, d] :
             {std::array{x0, 0, x0 + 4, height}, std::array{x1 - 4, 0, x1, height},
              std::array{x0, 0, x1, 4}, std::array{x0, height - 4, x1, height},
              std::array{x0, 0, x1, height}}) {
            const long want = lines.lit(a, b, c, d);
            EXPECT_GT(want, 3) << a << " " << b;
            EXPECT_NEAR(static_cast<double>(sprites.lit(a, b, c, d)), static_cast<double>(want),
                        0.1 * static_cast<double>(want) + 1)
                << a << " " << b;
        }
        // nearly the same values, alpha too; and beside the square nothing
        long off = 0, lit = 0;
        for (int y = 0; y < height; y++) {
            for (int x = 0; x < width; x++) {
                const bool inside = x >= x0 && x < x1;
                for (int c = 0; c < 4; c++) {
                    const int s = sprites.at(x, y)[c], l = lines.at(x, y)[c];
                    if (!inside) {
                        ASSERT_EQ(s, c == 3 ? static_cast<int>(255 * alpha) : 0);
                    }
                    off += std::abs(s - l) > 40 ? 1 : 0;
                    lit += c < 3 && l > 0 ? 1 : 0;
                }
            }
        }
        EXPECT_LT(off, lit / 20) << lit;
    }
    setclearalpha(1);
}

} // namespace
} // namespace starlume
