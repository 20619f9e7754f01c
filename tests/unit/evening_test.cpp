#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "core/app/evening.h"

using namespace starlume;

TEST(Evening, EveryKeyInEveryPlace) {
    enum Key { right, left, end }; // end: the song has played out
    constexpr std::size_t out = 9; // the list has run out, standing at its last song
    struct Row {
        std::size_t n, at;
        bool loop;
        const char* broken; // songs that do not open
        Key key;
        double heardms;
        const char* tried; // in order
        std::size_t then;
        Turn turn;
    };
    const Row rows[] = {
        {3, 0, false, "", right, 0, "1", 1, Turn::playing},
        {3, 0, false, "", left, 1000, "0", 0, Turn::playing}, // the first again
        {3, 0, true, "", left, 1000, "2", 2, Turn::playing},  // loop wraps back
        {3, 0, true, "", left, 3000, "2", 2, Turn::playing},  // 3 s is not more than 3 s
        {3, 0, true, "", left, 3001, "0", 0, Turn::playing},  // this one again
        {3, 1, false, "", right, 0, "2", 2, Turn::playing},
        {3, 1, false, "", left, 2999, "0", 0, Turn::playing},
        {3, 1, false, "", left, 3001, "1", 1, Turn::playing},
        {3, 2, false, "", right, 0, "", 2, Turn::ranout},
        {3, 2, false, "", left, 0, "1", 1, Turn::playing},
        {3, 2, true, "", end, 0, "0", 0, Turn::playing}, // loop starts over
        {3, 2, true, "", left, 0, "1", 1, Turn::playing},
        {3, out, false, "", right, 0, "", 2, Turn::stays}, // nothing until Left
        {3, out, false, "", left, 0, "2", 2, Turn::playing},
        // songs that do not open are passed over
        {4, 0, false, "1", right, 0, "12", 2, Turn::playing},
        {4, 2, false, "3", right, 0, "3", 3, Turn::ranout},
        {4, out, false, "3", left, 0, "32", 2, Turn::playing},
        {4, 2, false, "1", left, 0, "10", 0, Turn::playing},
        {3, 1, true, "02", right, 0, "201", 1, Turn::playing}, // round to itself
        {3, 1, true, "02", left, 0, "021", 1, Turn::playing},
        {2, 0, true, "01", left, 5000, "01", 1, Turn::stays},
        {2, 1, true, "01", right, 0, "01", 1, Turn::ranout},
        // a single song is a list of one
        {1, 0, false, "", left, 100, "0", 0, Turn::playing},
        {1, 0, false, "", left, 5000, "0", 0, Turn::playing},
        {1, 0, false, "", end, 0, "", 0, Turn::ranout},
        {1, 0, true, "", end, 0, "0", 0, Turn::playing},
        {1, out, false, "", left, 0, "0", 0, Turn::playing},
        {0, 0, false, "", right, 0, "", 0, Turn::stays},
    };
    for (const Row& r : rows) {
        std::vector<std::string> songs;
        for (std::size_t i = 0; i < r.n; i++) songs.push_back(std::to_string(i));
        Evening e = makeevening(songs, r.loop);
        e.finished = r.at == out;
        e.at = e.finished ? r.n - 1 : r.at;
        std::string tried;
        const Opensong open = [&](std::size_t i) {
            tried += std::to_string(i);
            return std::string(r.broken).find(std::to_string(i)) == std::string::npos;
        };
        const Turn turn = r.key == left ? previoussong(e, r.heardms, open) : nextsong(e, open);
        const bool finished = turn == Turn::ranout || (turn == Turn::stays && r.at == out);
        // the song at the list's place names the take's section
        EXPECT_EQ(std::tuple(tried, e.at, turn, e.finished, songat(e)),
                  std::tuple(r.tried, r.then, r.turn, finished, r.n ? std::to_string(r.then) : ""))
            << "row " << &r - rows;
    }
}

TEST(Evening, ShuffledBySeedAndPlayedInThatOrder) {
    Evening e = makeevening({"/m/a.ogg", "/m/b.ogg", "/m/c.ogg", "/m/d.ogg"}, true, 7u);
    ASSERT_EQ(e.songs, makeevening({"/m/c.ogg", "/m/d.ogg", "/m/a.ogg", "/m/b.ogg"}, true).songs);
    previoussong(e, 0, [](std::size_t) { return true; }); // wraps back through that order
    EXPECT_EQ(nowplaying(e, 125.4), "Now playing 4/4: b.ogg (2:05)\n");
    EXPECT_EQ(nowplaying(e, std::nullopt), "Now playing 4/4: b.ogg (-:--)\n");
    EXPECT_EQ(nowplaying(makeevening({"one.wav"}, false), 3.0), ""); // a single song has none
}

TEST(Evening, ASongThatStopsShortSaysSo) {
    const std::tuple<double, double, const char*> rows[] = {
        {29.4, 77, "starlume: 'x.flac' ended at 0:29 of 1:17\n"},
        {290, 300, "starlume: 'x.flac' ended at 4:50 of 5:00\n"},
        {76.2, 77, ""}, // within a second
        {295, 300, ""}, // within 2%, as an estimate from a header may be
        {12, 0, ""},    // nothing announced
    };
    for (const auto& [seconds, announced, line] : rows)
        EXPECT_EQ(endedearly("x.flac", seconds, announced), line) << seconds;
}
