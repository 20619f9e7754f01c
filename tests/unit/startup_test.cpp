#include <cstring>
#include <string>
#include <tuple>

#include <gtest/gtest.h>
#include <unistd.h>

#include "app/startup.h"
#include "support.h"

using namespace starlume;
using namespace testsupport;

TEST(Startup, ReadTokenFitsOrRejectsWithoutOverrun) {
    const std::tuple<std::string, bool, std::size_t> cases[] = {
        {std::string(4096, 'a') + " next", true, 4096},
        {std::string(4097, 'b') + " next", false, 4096},
        {std::string(9000, 'c') + "\nnext", false, 4096},
        {"  \t\n /music/song.wav next", true, 15}};
    for (const auto& [typed, ok, length] : cases) {
        Input in(typed);
        char buf[pathcapacity + 100];
        std::memset(buf, 'Z', sizeof buf);
        EXPECT_EQ(readtoken(in.get(), buf, pathcapacity + 1), ok);
        EXPECT_EQ(std::strlen(buf), length);
        for (std::size_t i = pathcapacity + 1; i < sizeof buf; i++) ASSERT_EQ(buf[i], 'Z');
        ASSERT_TRUE(readtoken(in.get(), buf, pathcapacity + 1)); // the long token is consumed
        EXPECT_STREQ(buf, "next");
        EXPECT_FALSE(readtoken(in.get(), buf, pathcapacity + 1)); // end of input
    }
}

TEST(Startup, OpenAudioFile) {
    char name[] = "/tmp/starlume_unit_XXXXXX";
    const int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "RIFF", 4), 4);
    close(fd);
    const std::pair<std::string, bool> cases[] = {{"/nonexistent/starlume/song.wav\n", false},
                                                  {"/tmp\n", false}, // a directory
                                                  {"", false},
                                                  {std::string(5000, 'x') + "\n", false},
                                                  {std::string("  ") + name + "\n", true}};
    for (const auto& [typed, opens] : cases) {
        Input in(typed);
        Output out;
        char path[pathcapacity + 1];
        std::FILE* f = openaudiofile(in.get(), out.get(), path);
        EXPECT_EQ(out.text(),
                  std::string("Opening  file..\nEnter your filename(Absolute Filepath):\t") +
                      (opens ? "Successfully opened file\n" : "Error opening file\n"));
        ASSERT_EQ(f != nullptr, opens) << typed.substr(0, 40);
        if (f != nullptr) {
            EXPECT_STREQ(path, name);
            EXPECT_EQ(std::fgetc(f), 'R');
            std::fclose(f);
        }
    }
    unlink(name);
}
