#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/app/evening.h"

using namespace starlume;

namespace {

enum Key { right, left, songend };

// An evening of n songs named "0", "1", ...; the songs in broken do not open.
// Records every song tried, in order.
struct Trial {
    Evening e;
    std::string broken;
    std::string tried;

    Trial(std::size_t n, bool loop, std::string broken = "") : broken(std::move(broken)) {
        std::vector<std::string> songs;
        for (std::size_t i = 0; i < n; i++) songs.push_back(std::to_string(i));
        e = makeevening(std::move(songs), loop);
    }

    Opensong opener() {
        return [this](std::size_t i) {
            tried += std::to_string(i);
            return broken.find(std::to_string(i)) == std::string::npos;
        };
    }

    Turn press(Key k, double heardms = 0) {
        tried.clear();
        return k == left ? previoussong(e, heardms, opener()) : nextsong(e, opener());
    }
};

} // namespace

TEST(Evening, EveryKeyInEveryPlace) {
    constexpr std::size_t ended = 99; // the list has run out, standing at its last song
    struct Row {
        std::size_t at;
        bool loop;
        Key key;
        double heardms;
        const char* tried; // the songs tried, in order
        std::size_t then;  // where the list stands after
        Turn turn;
        bool finished;
    };
    const Row rows[] = {
        // the first song
        {0, false, right, 0, "1", 1, Turn::playing, false},
        {0, false, songend, 0, "1", 1, Turn::playing, false},
        {0, false, left, 1000, "0", 0, Turn::playing, false}, // the first again
        {0, false, left, 4000, "0", 0, Turn::playing, false},
        {0, true, left, 1000, "2", 2, Turn::playing, false}, // loop wraps back
        {0, true, left, 3000, "2", 2, Turn::playing, false}, // 3 s is not yet more
        {0, true, left, 3001, "0", 0, Turn::playing, false}, // this one again
        // in the middle
        {1, false, right, 0, "2", 2, Turn::playing, false},
        {1, false, left, 2999, "0", 0, Turn::playing, false},
        {1, false, left, 3001, "1", 1, Turn::playing, false},
        {1, true, right, 0, "2", 2, Turn::playing, false},
        {1, true, left, 500, "0", 0, Turn::playing, false},
        // the last song
        {2, false, right, 0, "", 2, Turn::ranout, true},
        {2, false, songend, 0, "", 2, Turn::ranout, true},
        {2, false, left, 0, "1", 1, Turn::playing, false},
        {2, false, left, 10000, "2", 2, Turn::playing, false},
        {2, true, right, 0, "0", 0, Turn::playing, false}, // loop starts over
        {2, true, songend, 0, "0", 0, Turn::playing, false},
        {2, true, left, 0, "1", 1, Turn::playing, false},
        // after the list has run out: Right does nothing, Left the last again
        {ended, false, right, 0, "", 2, Turn::stays, true},
        {ended, false, songend, 0, "", 2, Turn::stays, true},
        {ended, false, left, 0, "2", 2, Turn::playing, false},
        {ended, false, left, 60000, "2", 2, Turn::playing, false},
    };
    for (const Row& r : rows) {
        Trial t(3, r.loop);
        if (r.at == ended) {
            t.e.at = 2;
            t.e.finished = true;
        } else {
            t.e.at = r.at;
        }
        const Turn turn = t.press(r.key, r.heardms);
        const std::string row = "from " + std::to_string(r.at) + (r.loop ? " loop" : "") + " key " +
                                std::to_string(r.key) + " heard " + std::to_string(r.heardms);
        EXPECT_EQ(t.tried, r.tried) << row;
        EXPECT_EQ(t.e.at, r.then) << row;
        EXPECT_EQ(turn, r.turn) << row;
        EXPECT_EQ(t.e.finished, r.finished) << row;
        EXPECT_EQ(songat(t.e), std::to_string(r.then)) << row; // the take's section
    }
}

TEST(Evening, SongsThatDoNotOpenArePassedOver) {
    Trial t(4, false, "13");
    ASSERT_TRUE(startevening(t.e, t.opener()));
    EXPECT_EQ(t.tried, "0");
    EXPECT_EQ(t.press(right), Turn::playing);
    EXPECT_EQ(t.tried, "12");
    EXPECT_EQ(t.press(right), Turn::ranout); // only 3 was left, and it fails
    EXPECT_EQ(t.tried, "3");
    EXPECT_EQ(t.press(right), Turn::stays);
    EXPECT_EQ(t.press(left), Turn::playing); // the last tried, then down to one that opens
    EXPECT_EQ(t.tried, "32");
    EXPECT_EQ(t.press(left, 100), Turn::playing);
    EXPECT_EQ(t.tried, "10");

    // looping, all the way round to the song playing, which starts over
    Trial round(3, true, "02");
    round.e.at = 1;
    EXPECT_EQ(round.press(right), Turn::playing);
    EXPECT_EQ(round.tried, "201");
    EXPECT_EQ(round.press(left), Turn::playing);
    EXPECT_EQ(round.tried, "021");
    EXPECT_EQ(round.e.at, 1u);

    // none opens: the start fails, and the keys find nothing either
    Trial none(2, true, "01");
    EXPECT_FALSE(startevening(none.e, none.opener()));
    EXPECT_EQ(none.tried, "01");
    EXPECT_EQ(none.press(left, 5000), Turn::stays);
    EXPECT_EQ(none.press(right), Turn::ranout);
    EXPECT_EQ(none.tried, "01");
}

TEST(Evening, ASingleSongIsAListOfOne) {
    for (const bool loop : {false, true}) {
        Trial t(1, loop);
        ASSERT_TRUE(startevening(t.e, t.opener()));
        EXPECT_EQ(nowplaying(t.e, 12.0), ""); // no "Now playing" line
        EXPECT_EQ(t.press(left, 100), Turn::playing);
        EXPECT_EQ(t.tried, "0");
        EXPECT_EQ(t.press(left, 5000), Turn::playing);
        EXPECT_EQ(t.tried, "0");
        // its end: over again with loop, else the end line and then Left again
        EXPECT_EQ(t.press(songend), loop ? Turn::playing : Turn::ranout) << loop;
        EXPECT_EQ(t.tried, loop ? "0" : "");
        if (!loop) {
            EXPECT_EQ(t.press(right), Turn::stays);
            EXPECT_EQ(t.press(left), Turn::playing);
            EXPECT_FALSE(t.e.finished);
        }
    }
    Evening empty;
    EXPECT_EQ(nextsong(empty, [](std::size_t) { return true; }), Turn::stays);
    EXPECT_EQ(previoussong(empty, 0, [](std::size_t) { return true; }), Turn::stays);
    EXPECT_EQ(songat(empty), "");
}

TEST(Evening, ShuffledBySeedAndPlayedInThatOrder) {
    std::vector<std::string> songs;
    for (char c = 'a'; c <= 'h'; c++) songs.push_back(std::string("/m/") + c + ".ogg");
    const Evening once = makeevening(songs, true, 11u), twice = makeevening(songs, true, 11u);
    EXPECT_EQ(once.songs, twice.songs);
    EXPECT_NE(once.songs, makeevening(songs, true, 12u).songs);
    EXPECT_EQ(makeevening(songs, false).songs, songs); // no seed, no shuffle
    auto sorted = once.songs;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, songs);

    // the keys walk the shuffled order, and wrap it both ways with loop
    Evening e = once;
    const Opensong opens = [](std::size_t) { return true; };
    ASSERT_TRUE(startevening(e, opens));
    EXPECT_EQ(songat(e), once.songs[0]);
    EXPECT_EQ(nextsong(e, opens), Turn::playing);
    EXPECT_EQ(songat(e), once.songs[1]);
    previoussong(e, 0, opens);
    previoussong(e, 0, opens);
    EXPECT_EQ(songat(e), once.songs[7]);
    EXPECT_EQ(nowplaying(e, 125.4), "Now playing 8/8: " + once.songs[7].substr(3) + " (2:05)\n");
    EXPECT_EQ(nowplaying(e, std::nullopt),
              "Now playing 8/8: " + once.songs[7].substr(3) + " (-:--)\n");
}

TEST(Evening, ASongThatStopsShortSaysSo) {
    struct Row {
        double seconds, announced;
        const char* line;
    };
    const Row rows[] = {
        {29.4, 77, "starlume: 'x.flac' ended at 0:29 of 1:17\n"},
        {0, 3725, "starlume: 'x.flac' ended at 0:00 of 1:02:05\n"},
        {77, 77, ""},
        {76.2, 77, ""}, // within a second
        {295, 300, ""}, // within 2%: an estimate from the header
        {290, 300, "starlume: 'x.flac' ended at 4:50 of 5:00\n"},
        {12, 0, ""},  // nothing announced
        {90, 77, ""}, // longer than announced
    };
    for (const Row& r : rows) {
        EXPECT_EQ(endedearly("x.flac", r.seconds, r.announced), r.line) << r.seconds;
    }
}
