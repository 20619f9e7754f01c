#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/app/playlist.h"

using namespace starlume;

TEST(Playlist, M3uEntries) {
    using List = std::vector<std::string>;
    // the list's text, its folder, the songs
    const std::tuple<std::string, std::string, List> cases[] = {
        {"a.flac\nsub/b.ogg\n", "/music", {"/music/a.flac", "/music/sub/b.ogg"}},
        {"/abs/a.wav\n../c.mp3", "/music/lists", {"/abs/a.wav", "/music/lists/../c.mp3"}},
        {"#EXTM3U\n#EXTINF:123,Artist - Title\na.wav\n\n# a note\n", ".", {"a.wav"}},
        {"a.wav\r\nb.wav\r\n", "/m", {"/m/a.wav", "/m/b.wav"}},
        {"\xef\xbb\xbf"
         "Gr\xc3\xbc\xc3\x9f Gott.flac\n",
         "/m/",
         {"/m/Gr\xc3\xbc\xc3\x9f Gott.flac"}},
        {"missing.wav\n", "/m", {"/m/missing.wav"}}, // left for the player to refuse
        {"", "/m", {}},
    };
    for (const auto& [text, folder, want] : cases)
        EXPECT_EQ(m3uentries(text, folder), want) << text;
}

TEST(Playlist, ListsAsPlayersWriteThem) {
    using Songs = std::vector<Song>;
    using Refused = std::vector<Refusal>;
    // the list's path, its text, its songs, what it refuses
    const std::tuple<std::string, std::string, Songs, Refused> cases[] = {
        {"/m/a.m3u",
         "#EXTM3U\n#EXTINF:123,Artist - A Title\na.ogg\n#EXTINF:-1,\nb.ogg\nc.ogg\n"
         "#EXTINF:-1 tvg-name=\"x, y\",Z, and Z\nd.ogg\n#EXTINF:5\ne.ogg\n",
         {{"/m/a.ogg", "Artist - A Title"},
          {"/m/b.ogg", ""},
          {"/m/c.ogg", ""},
          {"/m/d.ogg", "Z, and Z"},
          {"/m/e.ogg", ""}},
         {}},
        {"/m/v.m3u8",
         "#EXTINF:5, Spaced  \r\n#EXTGRP:x\r\n\r\nfile:///home/me/My%20Music/%C3%A9t%c3%a9.flac\r\n"
         "FILE://localhost/abs/a%2Bb+c.wav\r\n",
         {{"/home/me/My Music/\xc3\xa9t\xc3\xa9.flac", "Spaced"}, {"/abs/a+b+c.wav", ""}},
         {}},
        {"/m/w.m3u",
         "Album\\01 Intro.mp3\n..\\other\\x.ogg\nC:\\Music\\y.ogg\n",
         {{"/m/Album/01 Intro.mp3", ""}, {"/m/../other/x.ogg", ""}, {"/m/C:/Music/y.ogg", ""}},
         {}},
        {"/m/bad.m3u",
         "file:///m/a%G1.ogg\nfile:///m/b%4\nfile:///m/c%00.ogg\nhttp://radio/s.ogg\n"
         "file://elsewhere/d.ogg\nfile://\nok.ogg\n" +
             std::string("e\0.ogg\n", 7),
         {{"/m/ok.ogg", ""}},
         {{1, "'%G1' in 'file:///m/a%G1.ogg' is not a percent escape"},
          {2, "'%4' in 'file:///m/b%4' is not a percent escape"},
          {3, "'%00' in 'file:///m/c%00.ogg' cannot be part of a path"},
          {4, "'http://radio/s.ogg' is not a file on this machine"},
          {5, "'file://elsewhere/d.ogg' is not a file on this machine"},
          {6, "'file://' names no file"},
          {8, "a NUL byte cannot be part of a path"}}},
        {"/m/lists/self.m3u",
         "self.m3u\n./SELF.m3u\n../lists//self.m3u\nfile:///m/lists/self.m3u\nother.pls\na.wav\n",
         {{"/m/lists/a.wav", ""}},
         {{1, "the list names itself"},
          {2, "'./SELF.m3u' is a list inside a list, which is not played"},
          {3, "the list names itself"},
          {4, "the list names itself"},
          {5, "'other.pls' is a list inside a list, which is not played"}}},
        {"/m/r.pls",
         "[playlist]\r\nNumberOfEntries=3\r\nFile2=b.ogg\r\nTitle2=Second\r\nfile1 = "
         "file:///m/a%20b.ogg\r\nTitle1=First\r\nLength1=10\r\nTitle7=no "
         "file\r\nFile10=Sub\\c.ogg\r\n"
         "File3=r.pls\r\nVersion=2\r\n",
         {{"/m/a b.ogg", "First"}, {"/m/b.ogg", "Second"}, {"/m/Sub/c.ogg", ""}},
         {{10, "the list names itself"}}},
        {"/m/none.PLS",
         "[playlist]\nFile2=b.ogg\nTitle1=First\nFileX=c.ogg\n",
         {},
         {{0, "a PLS list needs a File1 entry, and this one has none"}}},
        {"/m/empty.pls", "", {}, {{0, "a PLS list needs a File1 entry, and this one has none"}}},
    };
    for (const auto& [list, text, songs, refused] : cases) {
        const Listing got = readlist(text, list);
        EXPECT_EQ(got.songs, songs) << list;
        EXPECT_EQ(got.refused, refused) << list;
    }
    EXPECT_EQ(songname(Song{"/m/a.ogg", "Artist - Title"}), "Artist - Title");
    EXPECT_EQ(songname(Song{"/m/a.ogg", ""}), "a.ogg");
}

TEST(Playlist, FoldersListsAndOrder) {
    char dir[] = "/tmp/starlume_songs_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string d = dir;
    for (const char* name : {"b.FLAC", "a.wav", "c.txt", ".hidden.wav", "z.m3u", "10.mp3"}) {
        std::FILE* f = std::fopen((d + "/" + name).c_str(), "w");
        std::fputs(std::string(name) == "z.m3u" ? "a.wav\nnone.ogg\n" : "x", f);
        std::fclose(f);
    }
    mkdir((d + "/sub.wav").c_str(), 0700); // a folder is no song, whatever its name
    // audio files in name order, not the folder's own folders, lists or others
    EXPECT_EQ(songs({d}), (std::vector<std::string>{d + "/10.mp3", d + "/a.wav", d + "/b.FLAC"}));
    EXPECT_EQ(songs({d + "/z.m3u", "x.it"}),
              (std::vector<std::string>{d + "/a.wav", d + "/none.ogg", "x.it"}));
    EXPECT_EQ(songs({d + "/none.m3u"}), std::vector<std::string>{d + "/none.m3u"});
    EXPECT_TRUE(islistname("x.PLS") && islistname("x.m3u") && !islistname("pls"));
    EXPECT_TRUE(isaudioname("Song.Opus") && isaudioname("t.s3m") && !isaudioname("wav"));
    EXPECT_TRUE(ism3uname("A.M3U8") && !ism3uname("m3u"));
    EXPECT_EQ(songname("/a/b/c d.ogg"), "c d.ogg");
    EXPECT_EQ(system(("rm -rf " + d).c_str()), 0);
}

TEST(Playlist, ShuffleBySeed) {
    std::vector<std::string> list;
    for (char c = 'a'; c <= 'z'; c++) list.emplace_back(1, c);
    auto once = list, twice = list, other = list;
    shuffle(once, 7);
    shuffle(twice, 7);
    shuffle(other, 8);
    EXPECT_EQ(once, twice);
    EXPECT_NE(once, other);
    EXPECT_NE(once, list);
    std::sort(once.begin(), once.end());
    EXPECT_EQ(once, list); // every song once
}
