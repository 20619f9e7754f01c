#include "core/audio/convert.h"

#include <cmath>
#include <cstring>

namespace starlume {

namespace {

const char* const wavorder[] = {"",      "B",      "LR",      "LRB",     "LRLR",
                                "LRBLR", "LRBBLR", "LRBBBLR", "LRBBLRLR"};
const char* const vorbisorder[] = {"",      "B",      "LR",      "LBR",     "LRLR",
                                   "LBRLR", "LBRLRB", "LBRLRBB", "LBRLRLRB"};

} // namespace

Side sideof(int c, int n, bool vorbis) {
    const char* order = (vorbis ? vorbisorder : wavorder)[n < 8 ? n : 8];
    if (c >= static_cast<int>(std::strlen(order))) return Side::both;
    return order[c] == 'L' ? Side::left : order[c] == 'R' ? Side::right : Side::both;
}

Mixdown mixdown(const std::vector<Side>& sides) {
    Mixdown m;
    for (int c = 0; c < static_cast<int>(sides.size()); c++) {
        if (sides[c] != Side::right) m.left.push_back(c);
        if (sides[c] != Side::left) m.right.push_back(c);
    }
    if (m.left.empty()) m.left = m.right;
    if (m.right.empty()) m.right = m.left;
    m.leftscale = m.left.empty() ? 0.0f : 1.0f / static_cast<float>(m.left.size());
    m.rightscale = m.right.empty() ? 0.0f : 1.0f / static_cast<float>(m.right.size());
    return m;
}

Mixdown mixdown(int n, bool vorbis) {
    std::vector<Side> sides(static_cast<std::size_t>(n > 0 ? n : 0));
    for (int c = 0; c < n; c++) sides[c] = sideof(c, n, vorbis);
    return mixdown(sides);
}

void mixstereo(const Mixdown& m, const float* in, int channels, int frames, float* stereo) {
    for (int i = 0; i < frames; i++) {
        const float* frame = in + static_cast<std::ptrdiff_t>(i) * channels;
        float l = 0, r = 0;
        for (int c : m.left) l += frame[c];
        for (int c : m.right) r += frame[c];
        stereo[2 * i] = l * m.leftscale;
        stereo[2 * i + 1] = r * m.rightscale;
    }
}

std::int16_t tosample16(float v) {
    const float scaled = v * 32768.0f;
    if (std::isnan(scaled)) return 0;
    if (scaled <= -32768.0f) return -32768;
    if (scaled >= 32767.0f) return 32767;
    return static_cast<std::int16_t>(std::lrintf(scaled));
}

} // namespace starlume
