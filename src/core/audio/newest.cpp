#include "core/audio/newest.h"

#include <algorithm>
#include <cstring>

#include "core/audio/analysis.h"

namespace starlume {

namespace {

constexpr std::uint16_t floatbit = 0x100, bigendianbit = 0x1000, signedbit = 0x8000;

// Frames at 44100 Hz for the resampler's filter to settle before the frames
// that are kept.
constexpr int settle = 256;

// One sample at p as a value in -1..1.
float sampleat(const unsigned char* p, std::uint16_t format) {
    const int bytes = (format & 0xff) / 8;
    std::uint32_t u = 0;
    for (int b = 0; b < bytes; b++) {
        const int from = (format & bigendianbit) != 0 ? b : bytes - 1 - b;
        u = u << 8 | p[from];
    }
    if ((format & floatbit) != 0) {
        float f;
        std::memcpy(&f, &u, sizeof f);
        return f;
    }
    const int bits = 8 * bytes;
    const double half = static_cast<double>(std::uint64_t{1} << (bits - 1));
    double v;
    if ((format & signedbit) != 0) {
        v = static_cast<double>(static_cast<std::int64_t>(std::uint64_t{u} << (64 - bits)) >>
                                (64 - bits));
    } else {
        v = static_cast<double>(u) - half;
    }
    return static_cast<float>(v / half);
}

} // namespace

bool Soundformat::usable() const {
    const int bits = format & 0xff;
    const bool integer = (format & floatbit) == 0 && (bits == 8 || bits == 16 || bits == 32);
    return (integer || ((format & floatbit) != 0 && bits == 32)) && channels >= 1 &&
           channels <= 64 && rate >= minrate && rate <= maxrate;
}

Newest::Newest(Soundformat f, std::unique_ptr<Resampler> r)
    : fmt(f), mix(mixdown(f.channels, false)), resampler(std::move(r)) {
    // Frames are kept whole, and one more slot holds a frame still arriving.
    history.resize(static_cast<std::size_t>(inputframes(blocksize) + 1) *
                   static_cast<std::size_t>(fmt.framebytes()));
    stereo.resize(2 * static_cast<std::size_t>(inputframes(blocksize)));
    if (resampler != nullptr) {
        resampled.resize(2 * static_cast<std::size_t>(blocksize + 2 * settle));
    }
}

int Newest::inputframes(int count) const {
    if (fmt.rate == analysisrate) return count;
    const std::int64_t out = count + settle;
    return static_cast<int>((out * fmt.rate + analysisrate - 1) / analysisrate);
}

void Newest::add(const unsigned char* bytes, std::size_t n) {
    const std::size_t cap = history.size();
    if (n > cap) {
        bytes += n - cap;
        total += n - cap;
        n = cap;
    }
    const std::size_t at = total % cap;
    const std::size_t first = std::min(n, cap - at);
    std::memcpy(history.data() + at, bytes, first);
    std::memcpy(history.data(), bytes + first, n - first);
    total += n;
}

void Newest::clear() { total = 0; }

void Newest::read(std::int16_t* frames, int count) {
    count = std::clamp(count, 0, blocksize);
    const int m = inputframes(count);
    const auto fb = static_cast<std::uint64_t>(fmt.framebytes());
    const std::uint64_t whole = total / fb; // frames complete so far
    const int samplebytes = fmt.samplebytes();
    float values[64];
    for (int i = 0; i < m; i++) {
        const std::uint64_t back = static_cast<std::uint64_t>(m - i); // 1 = the newest
        if (back > whole) {
            stereo[2 * i] = stereo[2 * i + 1] = 0;
            continue;
        }
        const unsigned char* frame = history.data() + (whole - back) * fb % history.size();
        for (int c = 0; c < fmt.channels; c++) {
            values[c] = sampleat(frame + c * samplebytes, fmt.format);
        }
        mixstereo(mix, values, fmt.channels, 1, &stereo[2 * i]);
    }

    const float* out = stereo.data();
    std::size_t made = static_cast<std::size_t>(m);
    if (resampler != nullptr) {
        // Each block on its own: the resampler starts afresh on it and is
        // flushed at its end, so that its last frames are the newest.
        resampler->clear();
        const std::size_t room = resampled.size() / 2;
        std::size_t used = 0;
        made = resampler->process(stereo.data(), made, used, resampled.data(), room);
        std::size_t got;
        do {
            got = resampler->process(nullptr, 0, used, resampled.data() + 2 * made, room - made);
            made += got;
        } while (got > 0 && made < room);
        out = resampled.data();
        // Output frame k is the sound k / 44100 s after the first input
        // frame: end with the last one not after the newest input frame.
        const std::int64_t last = std::int64_t{m - 1} * analysisrate / fmt.rate;
        made = std::min(made, static_cast<std::size_t>(last + 1));
    }
    const std::size_t have = std::min(made, static_cast<std::size_t>(count));
    const std::size_t pad = static_cast<std::size_t>(count) - have;
    std::fill(frames, frames + 2 * pad, std::int16_t{0});
    for (std::size_t i = 0; i < 2 * have; i++) {
        frames[2 * pad + i] = tosample16(out[2 * (made - have) + i]);
    }
}

} // namespace starlume
