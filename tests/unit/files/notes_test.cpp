#include <algorithm>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/files/notes.h"

using namespace starlume;

namespace {

ino_t stderrfile() {
    struct stat st {};
    fstat(STDERR_FILENO, &st);
    return st.st_ino;
}

} // namespace

TEST(Notes, HeldWhileAFileOpensThenGivenBack) {
    const ino_t before = stderrfile();
    std::string said;
    {
        Heldnotes held;
        EXPECT_NE(stderrfile(), before);
        std::fprintf(stderr, "Note: Illegal Audio-MPEG-Header 0x00000000 at offset 1796.\n");
        ASSERT_EQ(write(STDERR_FILENO, "Note: Trying to resync...\n", 26), 26);
        // more than a pipe holds: a chatty library must not stall the program
        for (int i = 0; i < 4000; i++) std::fputs("Note: Hit end of (available) data.\n", stderr);
        said = held.release();
        EXPECT_EQ(held.release(), ""); // once
    }
    EXPECT_EQ(stderrfile(), before);
    EXPECT_EQ(said.rfind("Note: Illegal Audio-MPEG-Header 0x00000000 at offset 1796.\n"
                         "Note: Trying to resync...\nNote: Hit end",
                         0),
              0u);
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 4002);
    { Heldnotes quiet; } // given back when it goes, without a release
    EXPECT_EQ(stderrfile(), before);
}

TEST(Notes, OneLine) {
    const std::pair<std::string, std::string> rows[] = {
        {"", ""},
        {"\n \n", ""},
        {"Note: a\n", "starlume: the libraries' notes on 'x.mp3': Note: a\n"},
        {"\nNote: a\r\nNote: b\nNote: c",
         "starlume: the libraries' notes on 'x.mp3': Note: a (and 2 more)\n"},
    };
    for (const auto& [notes, line] : rows) EXPECT_EQ(notesline("x.mp3", notes), line) << notes;
}
