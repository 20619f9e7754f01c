#include <cmath>
#include <cstring>
#include <numbers>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/audio/analysis.h"
#include "core/audio/devices.h"
#include "core/audio/newest.h"
#include "sound.h"

using namespace starlume;
using namespace testsupport;

TEST(Newest, TheNewestBlockIn16BitStereoAt44100WhateverTheFormat) {
    // Tolerances: the rounding of the samples written here; 8-bit steps.
    const Devicecase cases[] = {
        {{44100, 0x8010, 2}, "LR", 1, 1},       // as the analysis takes it
        {{44100, 0x9010, 2}, "LR", 1, 1},       // big-endian
        {{44100, 0x0008, 2}, "LR", 1, 129},     // unsigned 8-bit
        {{44100, 0x8120, 2}, "LR", 1, 1},       // float
        {{44100, 0x9020, 4}, "LRLR", 1, 1},     // 32-bit big-endian quad
        {{44100, 0x8010, 6}, "LR--LR", 0.5, 1}, // 5.1: the middle counts on both sides
    };
    for (const Devicecase& c : cases) {
        ASSERT_TRUE(c.f.usable());
        Newest newest(c.f), whole(c.f);
        EXPECT_LE(newestblock(c, newest, whole), c.tolerance) << std::hex << c.f.format;
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
