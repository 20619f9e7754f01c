#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "core/app/startup.h"
#include "core/input/commands.h"
#include "support.h"

using namespace starlume;
using namespace testsupport;

namespace {

int clockms;
std::string hooks; // the music hooks in the order they ran

int elapsedhook() { return clockms; }
void pausehook() { hooks += "pause "; }
void resumehook() { hooks += "resume "; }

struct Session {
    std::unique_ptr<World> w = std::make_unique<World>();
    Palette p;
    Outcome last = Outcome::carryon;

    // Presses the keys with typed as the console input; returns the console output.
    std::string press(const std::string& keys, const std::string& typed = "") {
        Input in(typed);
        Output out;
        const Io io{in.get(), out.get(), elapsedhook, pausehook, resumehook};
        for (unsigned char key : keys) last = keycommand(*w, p, key, io);
        return out.text();
    }
};

const std::string instructions =
    "Instructions\nPress 'Shift-r' to reset the Screen\nPress 'n' to set number of stars\n"
    "Press 'd' to turn off distance based force\n"
    "Press 'r' to reverse the direction of the default force\nPress 'g' to toggle gravity\n"
    "Press 'l' to turn on borders that wrap around\n"
    "Press 'v' to toggle damping to all particles\nPress 'b' to toggle the black hole\n"
    "Press '1-9' for colors\nPress 'c' for color listing\n"
    "Press 'p' to print out the currect status of all the toggles\n"
    "Press 'i' for the instructions again\n\n";

} // namespace

TEST(Commands, TogglesFlipAndPauseCallsHooks) {
    const std::pair<char, int World::*> toggles[] = {
        {'r', &World::reverse}, {'a', &World::bar},      {'m', &World::mousekick},
        {'g', &World::gravity}, {'l', &World::looper},   {'d', &World::distance},
        {'v', &World::viscous}, {'b', &World::blackhole}};
    for (const auto& [key, toggle] : toggles) {
        Session s;
        const int start = s.w.get()->*toggle;
        EXPECT_EQ(s.press(std::string(1, key)), "");
        EXPECT_EQ(s.w.get()->*toggle, -start) << key;
        s.press(std::string(1, key));
        EXPECT_EQ(s.w.get()->*toggle, start) << key;
    }
    Session s;
    hooks.clear();
    s.press("P");
    EXPECT_EQ(s.w->paused, 1);
    s.press("P");
    EXPECT_EQ(s.w->paused, -1);
    EXPECT_EQ(hooks, "pause resume ");
}

TEST(Commands, ConsoleTexts) {
    Session s;
    EXPECT_EQ(s.press("bgmaPp"),
              "TOGGLES: \nBlack Hole:ON\nGravity: OFF\nDamping:ON\nDistance: ON\n"
              "Borders: OFF\nReverse: OFF\nRadial Bars: ON\nColor: 2\n\n");
    EXPECT_EQ(s.press("rvdl5p"), "TOGGLES: \nBlack Hole:ON\nGravity: OFF\nDamping:OFF\n"
                                 "Distance: OFF\nBorders: ON\nReverse: ON\nRadial Bars: ON\n"
                                 "Color: 5\n\n");
    EXPECT_EQ(s.press("c"), "COLORS:\n0: Classic Black\n1: Ferrofluid\n2: Transitions\n"
                            "3: Matrix\n4: Glitter\n5: Teal/Pink\n6: Red/Yellow\n7: Fire\n"
                            "8: Alternating\n\n\n\n");
    EXPECT_EQ(s.press("i"), instructions +
                                "Press 'shift-p' to pause the music\nPress 'm' for "
                                "radial bars(makes sure distance based force is off)\n\n");
    Output banner;
    printbanner(banner.get());
    EXPECT_EQ(banner.text(),
              "\n\n==========================Starlume=============================\n"
              "Starlume By Orvalde\nVer 1.0\n" +
                  instructions +
                  "Press 'Shift-p' to pause the music\n"
                  "Press 'm' for radial bars(make sure distance based force is off)\n\n");
}

TEST(Commands, VelocityDumpAndTimingReport) {
    Session s;
    setOrder(*s.w, 1);
    s.w->vx[0] = 0.5;
    s.w->vy[0] = -0.25;
    s.w->vx[99] = 1;
    const std::string text = s.press("V");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 100); // whatever the star count
    EXPECT_EQ(text.substr(0, text.find('\n') + 1), "Speedx 0: 0.500000 \t Speedy 0: -0.250000\n");
    EXPECT_NE(text.find("\nSpeedx 99: 1.000000 \t Speedy 99: 0.000000\n"), std::string::npos);

    s.w->frames = 12;
    s.w->steps = 345;
    s.w->last_walltime = 1000;
    clockms = 1500;
    EXPECT_EQ(s.press("F"), "Drawn 12 frames and simulated 345 RK2 steps in 500 milliseconds\n");
    EXPECT_EQ(s.w->frames + s.w->steps, 0);
    EXPECT_EQ(s.w->last_walltime, 1500);
}

TEST(Commands, StarCountPrompt) {
    const std::string ask = "Enter the number between 1-100: ", again = "Invalid input: " + ask;
    const struct {
        const char* typed;
        std::string output; // empty: not checked
        int order;
    } cases[] = {
        {"0\n75\n", ask + "0\n" + again, 75},
        {"abc\n50\n", ask + again, 50},
        {"100\n", ask + "100\n", 100},
        {"  7 \n", ask + "7\n", 7},
        {"", ask, 20},                    // end of input keeps the count
        {"0\n", ask + "0\n" + again, 20}, // even after a bad answer
        {"101\n-5\nxyz\n", ask + "101\n" + again + again + again, 20},
        {"99999999999999999999\n3\n", "", 3},
    };
    for (const auto& c : cases) {
        Session s;
        setOrder(*s.w, 20);
        s.w->vx[0] = 1;
        const std::string output = s.press("n", c.typed);
        if (!c.output.empty()) {
            EXPECT_EQ(output, c.output) << c.typed;
        }
        EXPECT_EQ(s.w->order, c.order) << c.typed;
        EXPECT_DOUBLE_EQ(s.w->betweendistance, 2.0 / c.order);
        EXPECT_EQ(s.w->vx[0], c.order == 20 ? 1 : 0); // a new count lays the grid out again
    }
}

TEST(Commands, ColourKeys) {
    for (char key : std::string("012345689")) {
        Session s;
        s.press(std::string(1, key));
        EXPECT_EQ(s.w->color, key - '0');
        EXPECT_EQ(s.p.transitiona, -1);
    }
    // Enough seeds that each of the three draws comes out exactly 50 at least once.
    int seen[3] = {};
    for (unsigned seed = 1; seed <= 200; seed++) {
        starlume::seedrnd(seed);
        int want[3];
        for (int& t : want) t = starlume::rnd() % 100 <= 50 ? 1 : -1;
        starlume::seedrnd(seed);
        Session s;
        s.press("7");
        EXPECT_EQ(s.w->color, 7);
        ASSERT_EQ(s.p.transitiona, want[0]) << seed;
        ASSERT_EQ(s.p.transitionb, want[1]) << seed;
        ASSERT_EQ(s.p.transitionc, want[2]) << seed;
        for (int t : want) seen[t + 1]++;
    }
    EXPECT_TRUE(seen[0] > 0 && seen[2] > 0); // both directions occur
}

TEST(Commands, ArrangementsQuitAndUnknownKeys) {
    Session s;
    s.press("S");
    EXPECT_EQ(s.w->x[0], 0);
    s.press("C");
    EXPECT_DOUBLE_EQ(s.w->vy[0], 0.007);
    s.press("R");
    EXPECT_DOUBLE_EQ(s.w->x[0], -0.9999 + 1.0 / 75);
    EXPECT_EQ(s.w->vy[0], 0);
    s.press("Q");
    EXPECT_EQ(s.last, Outcome::quit);

    const auto before = std::make_unique<World>(*s.w);
    const std::string keys = std::string("xzqNTWe-+ \n\t~") + '\0' + '\x80' + '\xff';
    EXPECT_EQ(s.press(keys, "5\n"), "");
    EXPECT_EQ(s.last, Outcome::carryon);
    for (auto f : {&World::gravity, &World::looper, &World::viscous, &World::blackhole,
                   &World::distance, &World::reverse, &World::mousekick, &World::bar,
                   &World::paused, &World::color, &World::order, &World::frames, &World::steps}) {
        EXPECT_EQ(s.w.get()->*f, before.get()->*f);
    }
    EXPECT_TRUE(std::equal(before->x, before->x + maxstars, s.w->x));
    EXPECT_TRUE(std::equal(before->vy, before->vy + maxstars, s.w->vy));
}
