// The window's clock in step with what is heard, driven through its seams: a
// player that mixes a chunk every 23 ms of a wall clock the test moves on.
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "core/audio/analysis.h"
#include "core/clock/heard.h"

using namespace starlume;

namespace {

constexpr double chunkms = 1024 / 44.1;

class Fakewall final : public Wallclock {
  public:
    explicit Fakewall(std::function<void()> tick) : tick(std::move(tick)) {}
    double t = 1000;
    double now() override { return t; }
    void sleep(double ms) override {
        t += ms;
        tick();
    }

  private:
    std::function<void()> tick;
};

// Mixes its first chunk at firstmix, then one every chunkms, while it plays.
class Fakeplayer final : public Player {
  public:
    explicit Fakeplayer(double firstmix) : next(firstmix) { count.arm(); }
    Fakewall wall{[this] { mixdue(); }};
    std::optional<double> server;
    int asked = 0;
    // When set, the server answers as a real one does: from when the first
    // sample is truly heard, as it stands at the call; the first answer
    // then takes slowfirst ms to come back.
    std::optional<double> truth;
    double slowfirst = 0;

    void mixdue() {
        for (; next <= wall.t; next += chunkms) count.onmix(1024, true, paused, next);
    }
    Mixed mixed() const override { return count.mixed(); }
    int rate() const override { return 44100; }
    int chunkframes() const override { return 1024; }
    std::optional<double> serverlatency() override {
        asked++;
        if (!truth) return server;
        const double newest = *truth + 1000.0 * static_cast<double>(mixed().frames) / 44100;
        const double answer = newest - wall.t;
        if (asked == 1) wall.sleep(slowfirst);
        return answer;
    }
    void pause() override { paused = true; }
    void resume() override { paused = false; }

  private:
    Mixcount count;
    double next;
    bool paused = false;
};

// Passes until the clock is set, 1 ms apart: no block comes due before.
void setbyfollowing(Heardclock& clock, Clock& c, Fakewall& wall, double picturems) {
    for (int pass = 0; !clock.set() && pass < 1000; pass++) {
        EXPECT_FALSE(blockdue(c, wall.t)) << pass;
        clock.follow(c, picturems);
        wall.sleep(1);
    }
}

} // namespace

TEST(Heardclock, OriginFromTheServerTheOptionOrTheMixersBuffer) {
    // the server's answer, --latency, what the origin is after the first mix at 1010 ms
    const std::tuple<std::optional<double>, int, double> cases[] = {
        {60.0, -1, 1010 - chunkms + 60},                       // the newest frame heard 60 ms on
        {60.0, 200, 1010 - chunkms + chunkms + 200},           // the option wins, unasked
        {std::nullopt, -1, 1010 - chunkms + 2 * chunkms + 30}, // the buffer twice and 30 ms
    };
    for (const auto& [server, latency, heard] : cases) {
        Fakeplayer player(1010);
        player.server = server;
        Heardclock clock(player, player.wall, latency);
        Clock c;
        clock.start(c, 22.5);
        setbyfollowing(clock, c, player.wall, 22.5);
        EXPECT_NEAR(player.wall.t, 1010, 1.01); // set by the pass that finds the first mix
        EXPECT_NEAR(c.startm, heard - clocklead(22.5), 1e-9) << latency;
        EXPECT_EQ(player.asked, latency < 0 ? 1 : 0);
    }
}

TEST(Heardclock, FallbacksWhenNoMixComesOrNoServerAnswers) {
    // the server's answer, --latency; no mix ever comes, so after half a
    // second the clock is set from then: the origin, and the verbose line's
    // account of the latency
    const std::tuple<std::optional<double>, int, double, std::string> cases[] = {
        {std::nullopt, -1, 1500 + 2 * chunkms + 30,
         "output latency 76.4 ms (the mixer's buffer twice, and 30 ms)"},
        {45.0, -1, 1500 + 45, "output latency 45.0 ms (the sound server's)"},
        {45.0, 20, 1500 + chunkms + 20, "output latency 20 ms (--latency)"},
    };
    for (const auto& [server, latency, heard, said] : cases) {
        Fakeplayer player(1e9);
        player.server = server;
        char* text = nullptr;
        std::size_t length = 0;
        std::FILE* verbose = open_memstream(&text, &length);
        Heardclock clock(player, player.wall, latency, verbose);
        Clock c;
        clock.start(c, 22.5);
        setbyfollowing(clock, c, player.wall, 22.5);
        EXPECT_NEAR(c.startm, heard - clocklead(22.5), 1e-9) << said;
        std::fclose(verbose);
        char lead[64];
        std::snprintf(lead, sizeof lead, ", clock lead %.1f ms\n", clocklead(22.5));
        EXPECT_EQ(std::string(text, length), "starlume: " + said + lead);
        std::free(text);
    }
    // A device that gives no rate: heard when the newest frame was mixed.
    EXPECT_EQ(heardorigin({0, 1024, 5000, 1234, 1300}, 50.0, -1), 1234);
}

TEST(Heardclock, AMixBetweenTheReadsIsReadAgain) {
    // The first answer takes 30 ms, while one or two chunks are mixed: that
    // pair is spoilt, and the next one, quick, gives the true origin.
    for (const double slow : {30.0, 40.0}) {
        Fakeplayer player(1010);
        player.truth = 1234.5;
        player.slowfirst = slow;
        Heardclock clock(player, player.wall, -1);
        Clock c;
        clock.start(c, 22.5);
        setbyfollowing(clock, c, player.wall, 22.5);
        EXPECT_EQ(player.asked, 2) << slow;
        EXPECT_NEAR(c.startm, 1234.5 - clocklead(22.5), 1e-9) << slow;
    }
}

TEST(Heardclock, ResumeWaitsForTheNextMixAndTheLeadFollowsThePicture) {
    Fakeplayer player(1010);
    player.server = 40.0;
    Heardclock clock(player, player.wall, -1);
    Clock c;
    clock.start(c, 22.5);
    setbyfollowing(clock, c, player.wall, 22.5);
    const double origin = c.startm;
    // The lead follows what a frame costs, by a millisecond or more.
    clock.follow(c, 40);
    EXPECT_DOUBLE_EQ(c.startm, origin - 17.5);
    clock.follow(c, 40.5);
    EXPECT_DOUBLE_EQ(c.startm, origin - 17.5);

    clock.pause(c);
    player.wall.sleep(5000); // paused: the mixes carry no music
    const Mixed before = player.mixed();
    EXPECT_EQ(before.frames, 1024);
    clock.resume(c, 40);
    const Mixed after = player.mixed();
    EXPECT_EQ(after.frames, 2048); // the first mix after the resume
    EXPECT_NEAR(player.wall.t, after.atms, 1.01);
    // heard: when the server answered, less the music mixed, plus its figure
    EXPECT_NEAR(c.startm, player.wall.t - 2 * chunkms + 40 - clocklead(40), 1e-9);
    EXPECT_EQ(player.asked, 2); // the way out may have changed: asked again
}

TEST(Heardclock, MixesCountFromTheMusicsStartAndNotWhilePaused) {
    Mixcount count;
    count.onmix(1024, true, false, 10); // not armed yet
    count.arm();
    count.onmix(1024, false, false, 20); // armed, but no music in the mix
    EXPECT_EQ(count.mixed().frames, 0);
    count.onmix(1024, true, false, 30);
    count.onmix(1024, true, true, 40);  // paused
    count.onmix(512, false, false, 50); // the music has ended: its tail still counts
    const Mixed m = count.mixed();
    EXPECT_EQ(m.frames, 1536);
    EXPECT_EQ(m.atms, 50);
}

TEST(Heardclock, TheServersFigureIsOurSlowestStreamWithItsSink) {
    const std::vector<Playstream> streams = {
        {7, 20000, 30000}, {8, 500000, 0}, {7, 10000, 55000}, {9, 1, 1}};
    EXPECT_EQ(ourlatency(streams, 7), 65.0); // the stream's buffer and its sink's
    EXPECT_EQ(ourlatency({{7, 20000, 30000}}, 7), 50.0);
    EXPECT_EQ(ourlatency(streams, 6), std::nullopt);
}
