// Sound as devices hand it out, for the tests of live sound and its
// conversion: a tone different on each side, in any sample format.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <vector>

#include "core/audio/analysis.h"
#include "core/audio/convert.h"
#include "core/audio/newest.h"

namespace testsupport {

using starlume::Soundformat;

// Left and right of a sound at time t, in -1..1: different on each side.
inline double left(double t) { return 0.5 * std::sin(2 * std::numbers::pi * 215 * t); }
inline double right(double t) { return 0.3 * std::sin(2 * std::numbers::pi * 120 * t + 1); }

// A sample as a device in format f hands it out.
inline void put(std::vector<unsigned char>& out, double v, std::uint16_t f) {
    const int bytes = (f & 0xff) / 8;
    std::uint32_t u;
    if ((f & 0x100) != 0) {
        const auto x = static_cast<float>(v);
        std::memcpy(&u, &x, 4);
    } else {
        const double scaled = std::round(v * std::ldexp(1.0, 8 * bytes - 1));
        u = static_cast<std::uint32_t>(
            static_cast<std::int64_t>(scaled) +
            ((f & 0x8000) != 0 ? 0 : std::int64_t{1} << (8 * bytes - 1)));
    }
    for (int b = 0; b < bytes; b++) {
        const int shift = 8 * ((f & 0x1000) != 0 ? bytes - 1 - b : b);
        out.push_back(static_cast<unsigned char>(u >> shift));
    }
}

// seconds of the sound in format f; the channels named by sides ('L', 'R',
// '-' for one in the middle, silent here) carry its sides.
inline std::vector<unsigned char> device(const Soundformat& f, const char* sides, double seconds) {
    std::vector<unsigned char> out;
    for (int i = 0; i < static_cast<int>(seconds * f.rate); i++) {
        const double t = static_cast<double>(i) / f.rate;
        for (int c = 0; c < f.channels; c++) {
            put(out, sides[c] == 'L' ? left(t) : sides[c] == 'R' ? right(t) : 0, f.format);
        }
    }
    return out;
}

// A device's case: its format, its channels' sides, the scale of each side
// after the mixdown, and how many 16-bit steps the block may be off.
struct Devicecase {
    Soundformat f;
    const char* sides;
    double scale;
    int tolerance;
};

// The newest block of a second of the device's sound, handed over in pieces
// that split frames; and the same bytes as half a frame and then all the
// rest in one chunk larger than what is kept, which must give the same
// block. Returns the worst difference from the sound, in 16-bit steps, away
// from the block's ends (where a resampler rings on the cut sound and the
// analysis window is all but zero).
inline int newestblock(const Devicecase& c, starlume::Newest& newest, starlume::Newest& whole) {
    using namespace starlume;
    const std::vector<unsigned char> bytes = device(c.f, c.sides, 1.0);
    for (std::size_t at = 0, n = 1; at < bytes.size(); at += n, n = n * 7 % 1009) {
        newest.add(bytes.data() + at, std::min(n, bytes.size() - at));
    }
    std::int16_t block[2 * blocksize];
    newest.read(block, blocksize);
    whole.add(bytes.data(), 1);
    whole.add(bytes.data() + 1, bytes.size() - 1);
    std::int16_t same[2 * blocksize];
    whole.read(same, blocksize);
    if (std::memcmp(block, same, sizeof block) != 0) return 1 << 20;
    // The newest frame is the sound at the end of the second.
    const double end = static_cast<double>(bytes.size() / c.f.framebytes() - 1) / c.f.rate;
    int worst = 0;
    for (int i = 100; i < blocksize - 50; i++) {
        const double t = end - static_cast<double>(blocksize - 1 - i) / analysisrate;
        worst = std::max(
            {worst, std::abs(block[2 * i] - tosample16(static_cast<float>(c.scale * left(t)))),
             std::abs(block[2 * i + 1] - tosample16(static_cast<float>(c.scale * right(t))))});
    }
    return worst;
}

} // namespace testsupport
