#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <numbers>
#include <optional>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "core/app/show.h"
#include "core/audio/analysis.h"
#include "core/clock/heard.h"
#include "support.h"

using namespace starlume;
using namespace testsupport;

namespace {

constexpr double pi = std::numbers::pi;

// The window as the block reader applies it, measured on a constant signal.
std::vector<float> measuredwindow() {
    Analysis a;
    Input in(frames(10000, 10000, blocksize));
    readSamples(a, in.source());
    return std::vector<float>(a.in, a.in + blocksize);
}

double sine(int i) { return std::lround(32767 * std::sin(2 * pi * 10 * i / blocksize)); }

std::string sineblock() {
    std::string out;
    for (int i = 0; i < blocksize; i++) {
        const auto s = static_cast<std::int16_t>(sine(i));
        out += frames(s, s);
    }
    return out;
}

// Band levels of the sine block from a plain double-precision DFT.
std::vector<double> referencelevels() {
    std::vector<double> x(blocksize), c(blocksize), s(blocksize), levels;
    for (int i = 0; i < blocksize; i++) {
        const double t = 2 * pi * i / 2047;
        x[i] = sine(i) * (0.3635819 - 0.4891775 * std::cos(t) + 0.1365995 * std::cos(2 * t) -
                          0.0106511 * std::cos(3 * t));
        c[i] = std::cos(2 * pi * i / blocksize);
        s[i] = std::sin(2 * pi * i / blocksize);
    }
    double sum = 0;
    for (int p = 0, bins = 1; p <= blocksize / 2; p++, bins++) {
        double re = 0, im = 0;
        for (int i = 0; i < blocksize; i++) {
            re += x[i] * c[(p * i) % blocksize];
            im -= x[i] * s[(p * i) % blocksize];
        }
        sum += re * re + im * im;
        if (p == bandedge[levels.size()]) {
            levels.push_back(0.045 * std::log(sum / bins));
            sum = 0;
            bins = 0;
        }
    }
    return levels;
}

} // namespace

TEST(Blocks, WindowIsSymmetricWithKnownEndsAndPeak) {
    const auto w = measuredwindow();
    EXPECT_NEAR(w[0] / 10000, 0.0003528, 1e-7);
    EXPECT_NEAR(w[2047] / 10000, 0.0003528, 1e-7);
    EXPECT_NEAR(w[1023] / 10000, 1.0000087, 2e-7);
    EXPECT_NEAR(w[1024] / 10000, 1.0000087, 2e-7);
    for (int i = 0; i < blocksize; i++) {
        ASSERT_NEAR(w[i], w[2047 - i], 1e-3) << i;
        ASSERT_LE(w[i], w[1023]) << i;
    }
}

TEST(Blocks, MonoIsChannelMeanTruncatedTowardZero) {
    const double peak = measuredwindow()[1023] / 10000.0;
    const int cases[][3] = {{1, 2, 1},
                            {-1, -2, -1},
                            {3, -4, 0},
                            {-3, 4, 0},
                            {32767, 32767, 32767},
                            {-32768, -32768, -32768},
                            {32767, -32768, 0},
                            {-32767, -32768, -32767}};
    for (const auto& c : cases) {
        Analysis a;
        Input in(frames(static_cast<std::int16_t>(c[0]), static_cast<std::int16_t>(c[1]), 1024));
        readSamples(a, in.source());
        EXPECT_EQ(std::lround(a.in[1023] / peak), c[2]) << c[0] << " " << c[1];
    }
}

TEST(Blocks, EndOfFileReadsAsZeros) {
    const auto w = measuredwindow();
    // One full block, then half a block, a lone left value and a lone byte.
    Input in(frames(10000, 10000, blocksize) + frames(2000, 4000, 1024) + le16(1000) + "\x7f");
    Analysis a;
    readSamples(a, in.source());
    EXPECT_EQ(a.in[5], w[5]);
    readSamples(a, in.source());
    EXPECT_NEAR(a.in[1000], w[1000] * 0.3, 1e-3);
    EXPECT_NEAR(a.in[1024], w[1024] * 0.05, 1e-3);                     // half the lone left value
    for (int i = 1025; i < blocksize; i++) ASSERT_EQ(a.in[i], 0) << i; // the lone byte is no sample
    for (int block = 0; block < 3; block++) {
        readSamples(a, in.source());
        ASSERT_TRUE(std::all_of(a.in, a.in + blocksize, [](float v) { return v == 0; }));
    }
}

TEST(Bands, EdgesArePowersOfTwoToTheFiveEighths) {
    const int table[bands] = {1, 2, 3, 5, 8, 13, 20, 32, 49, 76, 117, 181, 279, 430, 663, 1024};
    const double factor = (std::log(2048.0) / std::log(2.0) - 1) / 16;
    for (int b = 0; b < bands; b++) {
        EXPECT_EQ(bandedge[b], table[b]);
        EXPECT_EQ(bandedge[b], static_cast<int>(std::floor(std::pow(2, factor * (b + 1)))));
    }
}

TEST(Bands, SineAtBinTenMatchesPlainDft) {
    const auto ref = referencelevels();
    ASSERT_EQ(ref.size(), 16u);
    auto a = std::make_unique<Analysis>();
    Input in(sineblock());
    readSamples(*a, in.source());
    performFFT(*a);
    EXPECT_NEAR(a->kicks[5], 1.43, 0.01);
    EXPECT_NEAR(a->kicks[4], 1.27, 0.01);
    for (int b = 0; b < bands; b++) {
        // Bands 0 and 1 hold little more than rounding noise, float against double.
        EXPECT_NEAR(a->kicks[b], ref[b], b <= 1 ? 0.03 : b == 4 || b == 5 ? 1e-4 : 1e-3) << b;
        if (b != 4 && b != 5) {
            EXPECT_LT(a->kicks[b], 0.5) << b;
        }
    }
    EXPECT_EQ(a->sumcounter, 0);
}

TEST(Bands, DigitalSilenceKeepsEverythingFinite) {
    auto a = std::make_unique<Analysis>();
    Input in(sineblock()); // one block of tone, then the end of the file
    for (int block = 0; block < 2; block++) {
        readSamples(*a, in.source());
        performFFT(*a);
    }
    for (float level : a->kicks) EXPECT_EQ(level, silentlevel);

    // Random-strength kicks and radial bars at the floor, fed by a silent file.
    Input silent(std::string(4 * blocksize * 4, '\0'));
    auto s = show(75, silent.source());
    World* w = &s->world;
    w->distance = -1;
    w->mousekick = 1;
    mouse(*w, 0, 0, 350, 690);
    s->clock.startm = 1000000 - 200;
    for (int p = 0; p < 200; p++) pass(*s, 1000000 + 50 * p);
    for (float level : s->analysis.kicks) EXPECT_TRUE(std::isfinite(level));
    for (int k = 0; k < w->count(); k++) {
        ASSERT_TRUE(std::isfinite(w->x[k] + w->y[k] + w->vx[k] + w->vy[k])) << k;
    }
}

TEST(Kicks, OnlyStarsRestingInsideTheStripAreKicked) {
    // x, y, kick from band b at level b + 1; -0.875 is the boundary of strips 0 and 1
    const double stars[][3] = {{-0.875, -1, 0},
                               {-0.9, -1, 0.09 * 1.0f},
                               {-0.9, -1.0000049875, 0},
                               {-0.9, -0.999, 0},
                               {-1, -1, 0},
                               {1, -1, 0},
                               {-1.5, -1, 0},
                               {0.99, -1, 0.09 * 16.0f},
                               {0.0625, -1, 0.09 * 9.0f}};
    auto w = world(3);
    for (int k = 0; k < 9; k++) {
        w->x[k] = stars[k][0];
        w->y[k] = stars[k][1];
    }
    w->bar = -1;
    for (int b = 0; b < bands; b++) kickup(*w, b, static_cast<float>(b + 1));
    for (int k = 0; k < 9; k++) EXPECT_EQ(w->vy[k], stars[k][2]) << k;
}

TEST(Kicks, RandomStrengthsDrawnForEveryStarInOrder) {
    auto w = world(30);
    for (int k = 0; k < w->count(); k++) {
        w->x[k] = -0.9;
        w->y[k] = k % 3 == 0 ? 0.5 : -1; // every third star is in the air
    }
    starlume::seedrnd(3);
    kickup(*w, 0, 0.7f);
    const int next = starlume::rnd();
    starlume::seedrnd(3);
    std::vector<bool> seen(10);
    for (int k = 0; k < w->count(); k++) {
        const int c = starlume::rnd() % 10;
        ASSERT_EQ(w->vy[k], k % 3 == 0 ? 0 : 0.09 * 0.7f * static_cast<float>(c / 10.0)) << k;
        seen[c] = true;
    }
    EXPECT_EQ(starlume::rnd(), next);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), true), 10);
}

TEST(AnalysisClock, BlocksComeDueOnePerPass) {
    Input in(std::string(40 * blocksize * 4, '\0'));
    auto s = show(1, in.source());
    const std::int64_t t0 = 1'700'000'000'000;
    s->clock.startm = static_cast<double>(t0 - 200); // the clock starts 200 ms in the past
    for (int block = 1; block <= 4; block++) {
        EXPECT_TRUE(pass(*s, t0)) << block;
        EXPECT_EQ(std::ftell(in.get()), block * blocksize * 4);
    }
    EXPECT_FALSE(pass(*s, t0));
    EXPECT_FALSE(pass(*s, t0 + 32));
    EXPECT_TRUE(pass(*s, t0 + 33));
    EXPECT_FALSE(pass(*s, t0 + 33));
    int due = 0;
    while (due < 100 && pass(*s, t0 + 1033)) due++;
    EXPECT_TRUE(due == 21 || due == 22) << due;
    EXPECT_EQ(s->clock.framecounter, 6 + due);
    EXPECT_EQ(s->world.steps, 9 + due); // a step every pass, block or not

    s->clock = Clock{};
    s->clock.startm = -blockperiod; // exactly one period to go is not yet due
    EXPECT_FALSE(pass(*s, 0));
    EXPECT_TRUE(pass(*s, 1));
}

TEST(AnalysisClock, HeardOriginAndLead) {
    // 44100 Hz, 1024-frame chunks (23.2 ms); 4410 frames (100 ms) mixed, the
    // newest at 1000 ms; the server answered at 1005 ms.
    const Mixstate m{44100, 1024, 4410, 1000, 1005};
    const double chunk = 1024 / 44.1;
    const std::tuple<std::optional<double>, int, double> cases[] = {
        {60.0, -1, 1005 + 60 - 100}, // the newest frame heard 60 ms on
        {std::nullopt, -1, 1000 - 100 + 2 * chunk + fallbacklatency}, // no server
        {60.0, 200, 1000 - 100 + chunk + 200}, // --latency wins over the server
        {std::nullopt, 0, 1000 - 100 + chunk},
    };
    for (const auto& [reported, option, heard] : cases) {
        EXPECT_DOUBLE_EQ(heardorigin(m, reported, option), heard) << option;
    }
    // At the first mix the origin is the first frames' hand-off plus the way out.
    EXPECT_DOUBLE_EQ(heardorigin({44100, 1024, 1024, 5000, 5001}, std::nullopt, 40), 5040);
    EXPECT_DOUBLE_EQ(heardorigin({44100, 1024, 1024, 5000, 5001}, std::nullopt, -1),
                     5000 + chunk + fallbacklatency);

    // Blocks come due when their middle is heard, a picture's delay early;
    // a new lead keeps the pauses taken.
    Clock c;
    setclock(c, 10000, clocklead(30));
    EXPECT_DOUBLE_EQ(c.startm, 10000 - blockperiod / 2 - 30);
    pauseclock(c, 11000);
    resumeclock(c, 12000);
    setlead(c, clocklead(10));
    EXPECT_DOUBLE_EQ(c.startm, 11000 - blockperiod / 2 - 10);
}

// The bands kicked all at once must leave every velocity and the random
// stream exactly as kicking them one by one does: stars on strip
// boundaries, off the floor, outside the window, strengths on and off.
TEST(Kicks, AllBandsAtOnceAsBandByBand) {
    for (const int bar : {1, -1}) {
        auto one = world(100);
        auto all = world(100);
        for (int k = 0; k < one->count(); k++) {
            const int kind = k % 7;
            one->x[k] = kind == 0 ? -1 + (k % 17) / 8.0 : -1.05 + 2.1 * ((k * 37) % 1000) / 1000;
            one->y[k] = kind == 1 ? -0.999 : kind == 2 ? -1.0000001 : -1;
            one->vy[k] = (k % 5) * 0.01 - 0.02;
        }
        one->bar = bar;
        *all = *one;
        float kicks[bands];
        for (int b = 0; b < bands; b++) kicks[b] = b == 3 ? silentlevel : -0.3f + 0.07f * b;

        seedrnd(11);
        for (int b = 0; b < bands; b++) kickup(*one, b, kicks[b]);
        const int after = rnd();
        seedrnd(11);
        kickall(*all, kicks);
        EXPECT_EQ(rnd(), after) << bar;
        for (int k = 0; k < one->count(); k++) ASSERT_EQ(one->vy[k], all->vy[k]) << bar << " " << k;
    }
}

// The window is applied to the mono sample exactly as its formula gives it.
TEST(Blocks, WindowIsTheFormulaToTheBit) {
    std::string block;
    for (int i = 0; i < blocksize; i++) {
        block += frames(static_cast<std::int16_t>(i * 31 - 32000), static_cast<std::int16_t>(i));
    }
    Input in(block + block);
    Analysis a;
    for (int round = 0; round < 2; round++) {
        readSamples(a, in.source());
        for (int i = 0; i < blocksize; i++) {
            const auto mono = static_cast<std::int16_t>((i * 31 - 32000 + i) / 2);
            const double w = 0.3635819 - 0.4891775 * std::cos(6.283185307179586 * i / 2047) +
                             0.1365995 * std::cos(12.566370614359172 * i / 2047) -
                             0.0106511 * std::cos(18.84955592153876 * i / 2047);
            ASSERT_EQ(a.in[i], static_cast<float>(mono * w)) << i;
        }
    }
}
