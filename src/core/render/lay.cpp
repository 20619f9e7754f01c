#include "core/render/lay.h"

#include <cstring>

namespace starlume {

namespace {

// a * x + (255 - a) * y over 255, rounded, for bytes.
inline std::uint8_t mix(unsigned x, unsigned y, unsigned a) {
    const unsigned v = a * x + (255 - a) * y + 128;
    return static_cast<std::uint8_t>((v + (v >> 8)) >> 8);
}

} // namespace

Rows opaquerows(std::span<const std::uint8_t> rgba, int width, int height) {
    if (rgba.empty()) return {};
    Rows r{height, 0};
    const std::size_t row = 4 * static_cast<std::size_t>(width);
    for (int y = 0; y < height; y++) {
        const std::uint8_t* p = rgba.data() + y * row;
        for (std::size_t x = 3; x < row; x += 4) {
            if (p[x] != 0) {
                if (r.from > y) r.from = y;
                r.to = y + 1;
                break;
            }
        }
    }
    return r.to == 0 ? Rows{} : r;
}

void lay(const Layers& layers, const std::uint8_t* stars, std::uint8_t* out) {
    const int w = layers.width, h = layers.height;
    const std::size_t row = 4 * static_cast<std::size_t>(w);
    for (int y = 0; y < h; y++) {
        const std::uint8_t* s = stars + static_cast<std::size_t>(h - 1 - y) * row;
        std::uint8_t* o = out + y * row;
        if (layers.under.empty()) {
            std::memcpy(o, s, row);
            for (std::size_t x = 3; x < row; x += 4) o[x] = 255;
        } else {
            const std::uint8_t* u = layers.under.data() + y * row;
            for (std::size_t x = 0; x < row; x += 4) {
                const unsigned a = s[x + 3];
                o[x] = mix(s[x], u[x], a);
                o[x + 1] = mix(s[x + 1], u[x + 1], a);
                o[x + 2] = mix(s[x + 2], u[x + 2], a);
                o[x + 3] = 255;
            }
        }
        if (!layers.over.empty() && y >= layers.overfrom && y < layers.overto) {
            const std::uint8_t* t = layers.over.data() + y * row;
            for (std::size_t x = 0; x < row; x += 4) {
                const unsigned a = t[x + 3];
                if (a == 0) continue;
                o[x] = mix(t[x], o[x], a);
                o[x + 1] = mix(t[x + 1], o[x + 1], a);
                o[x + 2] = mix(t[x + 2], o[x + 2], a);
            }
        }
    }
}

} // namespace starlume
