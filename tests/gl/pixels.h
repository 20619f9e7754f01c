// Counting what a GL test drew, in RGBA pixels read back row by row.
#pragma once

#include <cstdint>
#include <vector>

namespace starlume {

// The pixels of [x0, x1) x [y0, y1) with any colour, of a frame width wide.
inline long litpixels(const std::vector<std::uint8_t>& rgba, int width, int x0, int y0, int x1,
                      int y1) {
    long n = 0;
    for (int y = y0; y < y1; y++) {
        for (int x = x0; x < x1; x++) {
            const std::uint8_t* p = &rgba[4 * (static_cast<std::size_t>(y) * width + x)];
            n += (p[0] | p[1] | p[2]) != 0 ? 1 : 0;
        }
    }
    return n;
}

} // namespace starlume
