#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "core/input/take.h"
#include "support.h"

using namespace starlume;
using namespace testsupport;

namespace {

const std::string header = "starlume take 1\nseed 5\nstars 40\nkeys 7b\n";

std::string written(const std::function<void(Takewriter&)>& play) {
    char* buf = nullptr;
    std::size_t len = 0;
    std::FILE* f = open_memstream(&buf, &len);
    {
        Takewriter w(f);
        play(w);
        EXPECT_TRUE(w.close());
    }
    std::string text(buf, len);
    std::free(buf);
    return text;
}

Event at(double ms, Eventkind kind, double x = 0, double y = 0) {
    Event e;
    e.ms = ms;
    e.kind = kind;
    e.x = x;
    e.y = y;
    return e;
}

Event keyat(double ms, char key) {
    Event e = at(ms, Eventkind::key);
    e.key = static_cast<unsigned char>(key);
    return e;
}

} // namespace

TEST(Take, WrittenAsPlayedAndReadBack) {
    Take t;
    t.seed = 1744051234;
    t.stars = 75;
    t.keys = "7b";
    const std::string text = written([&](Takewriter& w) {
        w.header(t);
        w.write(keyat(1, 'g')); // before any song: nowhere to go
        w.song("My Song.flac", 2.0004);
        EXPECT_EQ(w.section(), 0);
        w.write(keyat(0, '7'));
        w.write(at(1003.14, Eventkind::press, 0.857142857, 0.142857));
        w.write(at(1001, Eventkind::move, -0.25, 1.5)); // a clock set again steps back
        w.write(keyat(1500, 'n'));                      // the console's: never written
        Event stars = at(1600, Eventkind::stars);
        stars.stars = 40;
        w.write(stars);
        w.write(at(2500, Eventkind::release, 1, 0)); // after the song's end: at its end
        w.write(at(2600, Eventkind::next));
        w.song("Other\nSong.ogg", std::nullopt);
        w.write(keyat(5000000, 'b')); // no known end
        w.write(at(5000001, Eventkind::fullscreen));
    });
    EXPECT_EQ(text, "# Starlume take: one performance, to be rendered with --render OUT --take "
                    "FILE\nstarlume take 1\nseed 1744051234\nstars 75\nkeys 7b\n"
                    "song 2.000 My Song.flac\n"
                    "0.0 key 7\n1003.1 press 0.8571 0.1429\n1003.1 move -0.2500 1.5000\n"
                    "1600.0 stars 40\n2000.0 release 1.0000 0.0000\n2000.0 next\n"
                    "song 0.000 Other?Song.ogg\n5000000.0 key b\n5000001.0 fullscreen\n");
    Take back;
    ASSERT_EQ(readtake(text, back), std::nullopt);
    EXPECT_EQ(std::make_tuple(back.seed, back.stars, back.keys, back.sound),
              std::make_tuple(1744051234u, 75, std::string("7b"), std::string()));
    ASSERT_EQ(back.songs.size(), 2u);
    EXPECT_EQ(std::make_tuple(back.songs[0].seconds, back.songs[0].name, back.songs[0].line),
              std::make_tuple(2.0, std::string("My Song.flac"), 6));
    const auto& e = back.songs[0].events;
    ASSERT_EQ(e.size(), 6u);
    EXPECT_EQ(std::make_tuple(e[1].kind, e[1].ms, e[1].x, e[1].y),
              std::make_tuple(Eventkind::press, 1003.1, 0.8571, 0.1429));
    EXPECT_EQ(std::make_tuple(e[3].kind, e[3].stars), std::make_tuple(Eventkind::stars, 40));
    EXPECT_EQ(back.songs[1].events[0].song, 1);
    EXPECT_EQ(back.songs[1].events[1].kind, Eventkind::fullscreen);

    // the video's sections: the first for the song, later ones left out
    Takeevents picked;
    const std::string twice = header + "song 1.000 a.wav\n1.0 key r\nsong 0.000 a.wav\n2.0 key g\n";
    ASSERT_EQ(readtake(twice, back), std::nullopt);
    ASSERT_EQ(takeevents(back, {"a.wav"}, picked), std::nullopt);
    EXPECT_EQ(picked.events.size(), 1u);
    EXPECT_EQ(picked.again, std::vector<int>{7});
    const auto missing = takeevents(back, {"b.wav"}, picked);
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->line, 5);
    EXPECT_EQ(missing->why, "a section for 'a.wav', which is not among the songs given");
}

TEST(Take, WhatReadsAndWhatNot) {
    // text, the line of the fault (0: it reads), why
    const std::string ok = header + "song 10.000 a.wav\n";
    const std::tuple<std::string, int, std::string> cases[] = {
        {ok, 0, ""},
        {"# a comment\r\n\r\nstarlume take 1\r\nseed 0\r\nstars 1\r\nkeys\r\n  \r\n"
         "sound set.flac\r\nsong 0.000 set.flac\r\n0 press 0 0\r\n0.0 release 0.5 -3\r\n",
         0, ""},
        {ok + "5.0 key 7\n5.0 key Q\n10000.0 next\n", 0, ""}, // equal times, the very end
        {"", 1, "the take ends before its header does: expected 'starlume take 1'"},
        {"starlume take 2\n", 1, "unknown version '2'"},
        {"starlume take\n", 1, "not a take: it starts with 'starlume take 1'"},
        {"hello\n", 1, "not a take: it starts with 'starlume take 1'"},
        {"starlume take 1\nstars 40\n", 2,
         "expected 'seed N', N from 0 to 4294967295, not 'stars 40'"},
        {"starlume take 1\nseed 4294967296\n", 2,
         "expected 'seed N', N from 0 to 4294967295, not 'seed 4294967296'"},
        {"starlume take 1\nseed 1\nstars 101\n", 3,
         "expected 'stars N', N from 1 to 100, not 'stars 101'"},
        {"starlume take 1\nseed 1\nstars 10\n", 4,
         "the take ends before its header does: expected 'keys'"},
        {"starlume take 1\nseed 1\nstars 10\nkeys 7x\n", 4, "'x' is not a key"},
        {"starlume take 1\nseed 1\nstars 10\nkeys n\n", 4, "'n' cannot be in keys"},
        {header + "1.0 key 7\n", 5, "an event before the first 'song' line"},
        {header + "song 10.000\n", 5, "expected 'song SECONDS NAME', not 'song 10.000'"},
        {header + "song ten a.wav\n", 5, "expected 'song SECONDS NAME', not 'song ten a.wav'"},
        {ok + "sound x.flac\n", 6, "'sound' belongs in the header, before the songs"},
        {ok + "seed 4\n", 6, "'seed' belongs in the header, once"},
        {ok + "5.0 key 7\n3.0 key 7\n", 7, "out of time order: 3.0 ms after 5.0 ms"},
        {ok + "10000.0 key 7\n10000.1 key 7\n", 7,
         "10000.1 ms is past the end of the song (10.000 s)"},
        {ok + "1.0 key x\n", 6, "'x' is not a key"},
        {ok + "1.0 key 77\n", 6, "'77' is not a key"},
        {ok + "1.0 key n\n", 6, "'n' asks on the console; a take has 'stars N' instead"},
        {ok + "1.0 jump\n", 6, "unknown event 'jump'"},
        {ok + "1.0\n", 6, "an event is missing after the position"},
        {ok + "-1.0 key 7\n", 6, "expected a position in ms or 'song', not '-1.0'"},
        {ok + "1e3 key 7\n", 6, "expected a position in ms or 'song', not '1e3'"},
        {ok + "1.0 press 0.5 abc\n", 6, "'abc' is not a number"},
        {ok + "1.0 press 0.5 nan\n", 6, "'nan' is not a number"},
        {ok + "1.0 press 0.5\n", 6, "'press' needs two fractions, X and Y"},
        {ok + "1.0 stars 0\n", 6, "'stars' needs a number from 1 to 100, not '0'"},
        {ok + "1.0 next 3\n", 6, "more than 'next' takes: '3'"},
        {ok + std::string("1.0 key 7\0\n", 11), 6, "binary data, not text (a byte 0x00)"},
        {ok + "1.0 key 7\rx\n", 6, "binary data, not text (a byte 0x0d)"},
        {ok + "\xff\xfe\n", 6, "not UTF-8 text"},
        {header + "song 1.0 \xc3\xa9t\xc3\xa9.flac\n", 0, ""},
        {header + "song 1.0 \xc0\xaf.flac\n", 5, "not UTF-8 text"},         // overlong
        {header + "song 1.0 \xed\xa0\x80.flac\n", 5, "not UTF-8 text"},     // surrogate
        {header + "song 1.0 \xf4\x90\x80\x80.flac\n", 5, "not UTF-8 text"}, // past U+10FFFF
    };
    for (const auto& [text, line, why] : cases) {
        Take t;
        const auto error = readtake(text, t);
        if (line == 0) {
            EXPECT_EQ(error, std::nullopt) << text << error->why;
            continue;
        }
        ASSERT_TRUE(error) << text;
        EXPECT_EQ(std::make_pair(error->line, error->why), std::make_pair(line, why)) << text;
    }
}

TEST(Take, NamesStayOnOneLineInUtf8) {
    EXPECT_EQ(takename("My Song.flac"), "My Song.flac");
    EXPECT_EQ(takename("\xc3\xa9t\xc3\xa9.flac"), "\xc3\xa9t\xc3\xa9.flac");
    EXPECT_EQ(takename("a\nb\rc\td\x7f"), "a?b?c\td?");
    EXPECT_EQ(takename("caf\xe9.wav"), "caf?.wav"); // Latin-1 on the disk
    EXPECT_EQ(takename("\xe2\x82"), "??");          // cut short
}

TEST(Take, AnAlbumsSectionsEachOnTheirSong) {
    // the take played b, then a, then b again (once more than the album
    // holds it), then a again
    const std::string text = header +
                             "song 0.000 b.wav\n100.0 key r\n2900.0 key g\n3500.0 key b\n" +
                             "song 2.000 a.wav\n50.0 key 7\n" + "song 3.000 b.wav\n10.0 key g\n" +
                             "song 0.000 b.wav\n1.0 key b\n";
    Take take;
    ASSERT_EQ(readtake(text, take), std::nullopt);
    Albumtake picked;
    // the album: a, b, a second b
    ASSERT_EQ(albumsections(take, {"a.wav", "b.wav", "b.wav"}, picked), std::nullopt);
    EXPECT_EQ(picked.sections, (std::vector<int>{1, 0, 2}));
    EXPECT_EQ(picked.again, std::vector<int>{13});
    const auto missing = albumsections(take, {"a.wav"}, picked);
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->line, 5);

    // a at 0 for 2 s, b at 2 s for 3 s, the second b left out (no section)
    int late = -1;
    const std::vector<Event> events =
        albumevents(take, {1, 0, -1}, {0, 2000, 5000}, {2000, 3000, 3000}, late);
    EXPECT_EQ(late, 1); // b's 3500 ms lies past its 3 s: its length was not known
    std::vector<std::pair<double, unsigned char>> got;
    for (const Event& e : events) got.emplace_back(e.ms, e.key);
    EXPECT_EQ(got,
              (std::vector<std::pair<double, unsigned char>>{{50, '7'}, {2100, 'r'}, {4900, 'g'}}));
}
