#include <algorithm>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/files/notes.h"

using namespace starlume;

TEST(Notes, HeldWhileAFileOpensThenGivenBackInOneLine) {
    struct stat before {
    }, after{};
    fstat(STDERR_FILENO, &before);
    std::string said;
    {
        Heldnotes held;
        std::fprintf(stderr, "\nNote: Illegal Audio-MPEG-Header 0x00000000 at offset 1796.\r\n");
        // more than a pipe holds: a chatty library must not stall the program
        for (int i = 0; i < 4000; i++) std::fputs("Note: Trying to resync...\n", stderr);
        said = held.release();
        EXPECT_EQ(held.release(), "");
    }
    {
        Heldnotes again; // holds only what is said meanwhile
        std::fputs("Note: b\n", stderr);
        EXPECT_EQ(again.release(), "Note: b\n");
    }
    fstat(STDERR_FILENO, &after);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 4002);
    EXPECT_EQ(notesline("x.mp3", said), "starlume: the libraries' notes on 'x.mp3': Note: Illegal "
                                        "Audio-MPEG-Header 0x00000000 at offset 1796. (and 4000 "
                                        "more)\n");
    EXPECT_EQ(notesline("x.mp3", " \n\n"), "");
}
