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
