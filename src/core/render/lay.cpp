#include "core/render/lay.h"

#include <cstring>

namespace starlume {

namespace {

// a * x + (255 - a) * y over 255, rounded, for bytes.
inline std::uint8_t mix(unsigned x, unsigned y, unsigned a) {
    const unsigned v = a * x + (255 - a) * y + 128;
    return static_cast<std::uint8_t>((v + (v >> 8)) >> 8);
}

// BT.709's weights scaled to the limited range (219 and 224 steps) and to
// 16 bits of fraction.
constexpr int fixed(double v) { return static_cast<int>(v * 65536 + (v < 0 ? -0.5 : 0.5)); }
constexpr int yr = fixed(0.2126 * 219 / 255), yg = fixed(0.7152 * 219 / 255),
              yb = fixed(0.0722 * 219 / 255);
constexpr int ur = fixed(-0.2126 / 1.8556 * 224 / 255), ug = fixed(-0.7152 / 1.8556 * 224 / 255),
              ub = fixed(0.5 * 224 / 255);
constexpr int vr = fixed(0.5 * 224 / 255), vg = fixed(-0.7152 / 1.5748 * 224 / 255),
              vb = fixed(-0.0722 / 1.5748 * 224 / 255);

inline std::uint8_t luma(const std::uint8_t* p) {
    return static_cast<std::uint8_t>(16 + ((yr * p[0] + yg * p[1] + yb * p[2] + 32768) >> 16));
}

} // namespace

void toi420(const std::uint8_t* rgba, int width, int height, std::uint8_t* out) {
    const std::size_t row = 4 * static_cast<std::size_t>(width),
                      plane = static_cast<std::size_t>(width) * height;
    std::uint8_t* u = out + plane;
    std::uint8_t* v = u + plane / 4;
    for (int y = 0; y < height; y += 2) {
        const std::uint8_t* a = rgba + y * row;
        const std::uint8_t* b = a + row;
        std::uint8_t* ya = out + static_cast<std::size_t>(y) * width;
        std::uint8_t* yb_ = ya + width;
        for (int x = 0; x < width; x += 2) {
            const std::uint8_t* p = a + 4 * x;
            const std::uint8_t* q = b + 4 * x;
            ya[x] = luma(p);
            ya[x + 1] = luma(p + 4);
            yb_[x] = luma(q);
            yb_[x + 1] = luma(q + 4);
            const int r = p[0] + p[4] + q[0] + q[4], g = p[1] + p[5] + q[1] + q[5],
                      bl = p[2] + p[6] + q[2] + q[6];
            // Sums of four: two more bits of fraction.
            *u++ = static_cast<std::uint8_t>(128 + ((ur * r + ug * g + ub * bl + (1 << 17)) >> 18));
            *v++ = static_cast<std::uint8_t>(128 + ((vr * r + vg * g + vb * bl + (1 << 17)) >> 18));
        }
    }
}

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
