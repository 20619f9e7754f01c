#include <algorithm>
#include <cfloat>
#include <string>
#include <tuple>

#include <gtest/gtest.h>

#include "core/app/header.h"
#include "support.h"

using namespace starlume;
using namespace testsupport;

namespace {

std::string headerbytes(std::uint16_t format = 1, std::uint16_t channels = 2,
                        std::uint32_t overall = 176436, std::uint32_t byterate = 176400,
                        std::uint16_t bits = 16, std::uint32_t datasize = 176400) {
    return "RIFF" + le32(overall) + "WAVEfmt " + le32(16) + le16(format) + le16(channels) +
           le32(44100) + le32(byterate) + le16(4) + le16(bits) + "data" + le32(datasize);
}

std::string report(const std::string& bytes) {
    Input in(bytes);
    Output out;
    WavHeader header;
    reportHeader(header, in.get(), out.get());
    return out.text();
}

std::string line(const std::string& text, int n) {
    std::size_t start = 0;
    for (int i = 0; i < n; i++) start = text.find('\n', start) + 1;
    return text.substr(start, text.find('\n', start) - start);
}

} // namespace

TEST(HeaderReport, CanonicalPcmHeaderFullText) {
    EXPECT_EQ(report(headerbytes()),
              "(1-4): RIFF \n52 177 2 0\n(5-8) Overall size: bytes:176436, Kb:172 \n"
              "(9-12) Wave marker: WAVE\n(13-16) Fmt marker: fmt \n16 0 0 0\n"
              "(17-20) Length of Fmt header: 16 \n1 0 \n(21-22) Format type: 1 PCM \n2 0 \n"
              "(23-24) Channels: 2 \n68 172 0 0\n(25-28) Sample rate: 44100\n16 177 2 0\n"
              "(29-32) Byte Rate: 176400 , Bit Rate:1411200\n4 0 \n(33-34) Block Alignment: 4 \n"
              "16 0 \n(35-36) Bits per sample: 16 \n(37-40) Data Marker: data \n16 177 2 0\n"
              "(41-44) Size of data chunk: 176400 \nNumber of samples:44100 \n"
              "Size of each sample:4 bytes\nApprox.Duration in seconds=1.000204\n"
              "Approx.Duration in h:m:s=0:0:1.0\nClosing file..\n");
}

TEST(HeaderReport, OddAndShortHeaders) {
    const std::string zero = headerbytes(1, 0, 176436, 0); // no channels, no byte rate
    // A short file keeps zero bytes in the markers, and each number reuses what
    // the previous read of the same width left in its scratch buffer.
    const std::string ten = "RIFF" + le32(0x01020304) + "WA";
    const std::string odd =
        "RIFF" + le32(100) + "WAVEfmt " + le32(0x04030201) + le16(0x0101) + "\x02";
    const std::tuple<std::string, int, const char*> cases[] = {
        {headerbytes(3), 8, "(21-22) Format type: 3  "},
        {headerbytes(6), 8, "(21-22) Format type: 6 A-law "},
        {headerbytes(7), 8, "(21-22) Format type: 7 Mu-law "},
        {headerbytes(1, 2, 1048576), 2, "(5-8) Overall size: bytes:1048576, Kb:1024 "},
        {headerbytes(1, 2, 1, 0x20000001), 14, "(29-32) Byte Rate: 536870913 , Bit Rate:8"},
        {zero, 22, "Number of samples:0 "},
        // 8 * data size in double precision: single precision would round
        // 0xFFFFFFFF up and 16777221 down
        {headerbytes(1, 2, 1, 1, 16, 0xFFFFFFFF), 22, "Number of samples:1073741823 "},
        {headerbytes(1, 2, 1, 1, 32, 0xFFFFFFFF), 22, "Number of samples:536870911 "},
        {headerbytes(1, 1, 1, 1, 24, 16777221), 22, "Number of samples:5592407 "},
        {zero, 23, "Size of each sample:0 bytes"},
        {zero, 24, "Approx.Duration in seconds=0.000000"},
        {zero, 25, "Approx.Duration in h:m:s=0:0:0.0"},
        {ten, 3, "(9-12) Wave marker: WA"},
        {ten, 4, "(13-16) Fmt marker: "},
        {ten, 6, "(17-20) Length of Fmt header: 16909060 "},
        {ten, 8, "(21-22) Format type: 0  "},
        {ten, 12, "(25-28) Sample rate: 16909060"},
        {ten, 19, "(37-40) Data Marker:  "},
        {ten, 21, "(41-44) Size of data chunk: 16909060 "},
        {ten, 25, "Approx.Duration in h:m:s=0:0:1.0"},
        {odd, 9, "2 1 "},
        {odd, 10, "(23-24) Channels: 258 "},
        {odd, 11, "1 2 3 4"},
        {odd, 18, "(35-36) Bits per sample: 258 "},
        {odd, 22, "Number of samples:8089 "}, // 8 * 67305985 / (258 * 258)
        {odd, 23, "Size of each sample:8320 bytes"},
        {odd, 24, "Approx.Duration in seconds=0.000001"},
        {"", 0, "(1-4):  "},
        {"", 1, "0 0 0 0"},
        {"", 14, "(29-32) Byte Rate: 0 , Bit Rate:0"},
        {"", 25, "Approx.Duration in h:m:s=0:0:0.0"},
    };
    for (const auto& [bytes, n, text] : cases) {
        const std::string got = report(bytes);
        EXPECT_EQ(std::count(got.begin(), got.end(), '\n'), 27);
        EXPECT_EQ(line(got, n), text) << bytes.size() << " bytes, line " << n;
    }
}

TEST(HeaderReport, LeavesStreamAtFirstSample) {
    Input in(headerbytes() + "XYZ");
    Output out;
    WavHeader header;
    reportHeader(header, in.get(), out.get());
    EXPECT_EQ(std::ftell(in.get()), 44);
    EXPECT_EQ(std::fgetc(in.get()), 'X');
    EXPECT_EQ(header.sample_rate, 44100u);
}

TEST(SecondsToTime, WholeSecondsTruncatedMillisecondsFromText) {
    const std::pair<float, const char*> cases[] = {
        {185.25f, "0:3:5.250"}, {0.05f, "0:0:0.50"}, {1.9999996f, "0:0:1.0"},
        {3725.5f, "1:2:5.500"}, {0.0f, "0:0:0.0"},   {59.999f, "0:0:59.999"}};
    for (const auto& [seconds, text] : cases) EXPECT_EQ(seconds_to_time(seconds), text);
    for (float huge : {2147483648.0f, 4294967296.0f, 1e30f, FLT_MAX}) {
        const std::string text = seconds_to_time(huge);
        EXPECT_EQ(std::count(text.begin(), text.end(), ':'), 2) << text;
    }
}

TEST(HeaderReport, WhatADecoderFoundWhereTheHeaderIsNotCanonical) {
    WavHeader h;
    Input in(headerbytes());
    Output out;
    reportHeader(h, in.get(), out.get());
    EXPECT_TRUE(canonical(h));
    for (auto field :
         {&WavHeader::channels, &WavHeader::sample_rate, &WavHeader::bits_per_sample}) {
        WavHeader other = h;
        other.*field += 1;
        EXPECT_FALSE(canonical(other));
    }
    WavHeader extensible = h;
    extensible.fmt_length = 40;
    EXPECT_FALSE(canonical(extensible));
    EXPECT_EQ(notwav("FLAC", 2, 96000, 185.4),
              "(Not a WAV header: FLAC, 2 channels, 96000 Hz, 3:05)");
    EXPECT_EQ(notwav("WAV", 1, 8000, 0.4), "(Not a WAV header: WAV, 1 channel, 8000 Hz, 0:00)");
    // past an hour as "Now playing" writes it
    EXPECT_EQ(notwav("MP3", 2, 48000, 3700),
              "(Not a WAV header: MP3, 2 channels, 48000 Hz, 1:01:40)");
    EXPECT_EQ(notwav("", 0, 0, 0), "(Not a WAV header: no decoder reads this file)");
}
