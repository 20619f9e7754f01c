#include <cmath>
#include <cstring>
#include <numbers>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/audio/analysis.h"
#include "core/audio/devices.h"
#include "core/audio/newest.h"
#include "platform/files/resampler.h"

using namespace starlume;

namespace {

// Left and right of a sound at time t, in -1..1: different on each side.
double left(double t) { return 0.5 * std::sin(2 * std::numbers::pi * 215 * t); }
double right(double t) { return 0.3 * std::sin(2 * std::numbers::pi * 120 * t + 1); }

// A sample as a device in format f hands it out.
void put(std::vector<unsigned char>& out, double v, std::uint16_t f) {
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

Newest newestfor(const Soundformat& f) {
    return Newest(f, f.rate != analysisrate ? makeresampler(f.rate) : nullptr);
}

// seconds of the sound in format f; the channels named by sides ('L', 'R',
// '-' for one in the middle, silent here) carry its sides.
std::vector<unsigned char> device(const Soundformat& f, const char* sides, double seconds) {
    std::vector<unsigned char> out;
    for (int i = 0; i < static_cast<int>(seconds * f.rate); i++) {
        const double t = static_cast<double>(i) / f.rate;
        for (int c = 0; c < f.channels; c++) {
            put(out, sides[c] == 'L' ? left(t) : sides[c] == 'R' ? right(t) : 0, f.format);
        }
    }
    return out;
}

} // namespace

TEST(Newest, TheNewestBlockIn16BitStereoAt44100WhateverTheDevice) {
    struct Case {
        Soundformat f;
        const char* sides;
        double scale;  // of each side after the mixdown
        int tolerance; // in 16-bit steps
    };
    // Tolerances: the rounding of the samples written here; 8-bit steps;
    // resampled, up to a frame late at 215 Hz.
    const Case cases[] = {
        {{44100, 0x8010, 2}, "LR", 1, 1},       // as the analysis takes it
        {{44100, 0x9010, 2}, "LR", 1, 1},       // big-endian
        {{44100, 0x0008, 2}, "LR", 1, 129},     // unsigned 8-bit
        {{44100, 0x8120, 2}, "LR", 1, 1},       // float
        {{44100, 0x9020, 4}, "LRLR", 1, 1},     // 32-bit big-endian quad
        {{44100, 0x8010, 6}, "LR--LR", 0.5, 1}, // 5.1: the middle counts on both sides
        {{48000, 0x8010, 2}, "LR", 1, 600},     {{22050, 0x8120, 2}, "LR", 1, 600},
        {{96000, 0x8010, 2}, "LR", 1, 600},     {{8000, 0x8010, 2}, "LR", 1, 600},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(c.f.usable());
        Newest newest = newestfor(c.f);
        const std::vector<unsigned char> bytes = device(c.f, c.sides, 1.0);
        // in pieces that split frames, as a device may hand them over
        for (std::size_t at = 0, n = 1; at < bytes.size(); at += n, n = n * 7 % 1009) {
            newest.add(bytes.data() + at, std::min(n, bytes.size() - at));
        }
        std::int16_t block[2 * blocksize];
        newest.read(block, blocksize);
        // the same bytes as half a frame, then all the rest in one chunk larger
        // than what is kept
        Newest whole = newestfor(c.f);
        whole.add(bytes.data(), 1);
        whole.add(bytes.data() + 1, bytes.size() - 1);
        std::int16_t same[2 * blocksize];
        whole.read(same, blocksize);
        EXPECT_EQ(std::memcmp(block, same, sizeof block), 0) << c.f.rate << " " << c.f.format;
        // The newest frame is the sound at the end of the second. The
        // resampler rings where the sound is cut, at the ends of the block,
        // where the analysis window is all but zero.
        const double end = static_cast<double>(bytes.size() / c.f.framebytes() - 1) / c.f.rate;
        int worst = 0;
        for (int i = 100; i < blocksize - 50; i++) {
            const double t = end - static_cast<double>(blocksize - 1 - i) / analysisrate;
            worst = std::max(
                {worst, std::abs(block[2 * i] - tosample16(static_cast<float>(c.scale * left(t)))),
                 std::abs(block[2 * i + 1] - tosample16(static_cast<float>(c.scale * right(t))))});
        }
        EXPECT_LE(worst, c.tolerance) << c.f.rate << " Hz, format " << std::hex << c.f.format;
    }
}

TEST(Newest, SilenceBeforeTheFirstFrameAndAfterClear) {
    Newest newest(Soundformat{});
    const std::int16_t frames[] = {100, -100, 200, -200, 300}; // and half a frame
    newest.add(reinterpret_cast<const unsigned char*>(frames), sizeof frames);
    std::vector<std::int16_t> block(8);
    newest.read(block.data(), 4);
    EXPECT_EQ(block, (std::vector<std::int16_t>{0, 0, 0, 0, 100, -100, 200, -200}));
    newest.clear();
    newest.read(block.data(), 4);
    EXPECT_EQ(block, std::vector<std::int16_t>(8, 0));
    EXPECT_FALSE(
        (Soundformat{44100, 0x8018, 2}.usable() || Soundformat{44100, 0x8010, 0}.usable()));
}

TEST(Devices, PickByNameByPartByNumber) {
    const std::vector<std::string> names = {"Built-in Audio Analog Stereo",
                                            "Monitor of Built-in Audio Analog Stereo",
                                            "Monitor of HDMI 2", "USB Mic 2", "USB Mic 2"};
    struct Case {
        const char* wanted;
        int index;
        std::vector<int> matches;
    };
    const Case cases[] = {
        {"Built-in Audio Analog Stereo", 0, {0}}, // exact, though a part of another
        {"hdmi", 2, {2}},
        {"monitor", -1, {1, 2}}, // ambiguous
        {"2", 2, {2}},           // "2" is in three names: by number
        {"USB Mic 2", -1, {3, 4}},
        {"4", 4, {4}},
        {"5", -1, {}}, // no such number
        {"nosuchdevice", -1, {}},
    };
    for (const Case& c : cases) {
        const Devicepick p = pickdevice(names, c.wanted);
        EXPECT_EQ(p.index, c.index) << c.wanted;
        EXPECT_EQ(p.matches, c.matches) << c.wanted;
    }
}
