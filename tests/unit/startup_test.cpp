#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "app/cli.h"
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
    // A path from the command line answers the prompt; the console is not read.
    for (const std::string& given : {std::string(name), std::string(5000, 'x')}) {
        Input in("/nonexistent\n");
        Output out;
        char path[pathcapacity + 1];
        std::FILE* f = openaudiofile(in.get(), out.get(), path, given.c_str());
        EXPECT_EQ(f != nullptr, given == name);
        EXPECT_EQ(out.text(),
                  std::string("Opening  file..\nEnter your filename(Absolute Filepath):\t") +
                      (f != nullptr ? "Successfully opened file\n" : "Error opening file\n"));
        EXPECT_EQ(std::fgetc(in.get()), '/');
        if (f != nullptr) std::fclose(f);
    }
    unlink(name);
}

TEST(Startup, NoChannelsFindsTheCountBehindOtherChunks) {
    const auto fmt = [](std::uint16_t channels) {
        return "fmt " + le32(16) + le16(1) + le16(channels) + le32(44100) + le32(176400) + le16(4) +
               le16(16);
    };
    const auto aiff = [](std::uint16_t channels) {
        const std::string count = {static_cast<char>(channels >> 8), static_cast<char>(channels)};
        return "FORM" + std::string(3, '\0') + "\x2e" + "AIFFCOMM" + std::string(3, '\0') + "\x12" +
               count + std::string(16, '\0');
    };
    // An odd-length chunk is followed by a pad byte before the next one.
    const std::string junk = "junk" + le32(3) + "abc" + '\0';
    const std::pair<std::string, bool> cases[] = {
        {"RIFF" + le32(100) + "WAVE" + fmt(0), true},
        {"RIFF" + le32(100) + "WAVE" + fmt(2), false},
        {"RIFF" + le32(100) + "WAVE" + junk + fmt(0), true},
        {"RIFF" + le32(100) + "WAVE" + junk + fmt(1), false},
        {"RIFF" + le32(100) + "WAVE" + junk.substr(0, 11) + fmt(0), false}, // pad missing
        {aiff(0), true},
        {aiff(2), false},
        {"not a sound file", false},
    };
    for (const auto& [bytes, none] : cases) {
        char name[] = "/tmp/starlume_unit_XXXXXX";
        const int fd = mkstemp(name);
        ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        close(fd);
        EXPECT_EQ(nochannels(name), none) << bytes.substr(12, 4) << " " << bytes.size();
        unlink(name);
    }
}

TEST(Startup, CommandLine) {
    // arguments, action, path, error
    const std::tuple<std::vector<const char*>, Args::Action, const char*, const char*> cases[] = {
        {{}, Args::run, nullptr, ""},
        {{"song.flac"}, Args::run, "song.flac", ""},
        {{"-display", ":5", "-geometry", "10x10", "-iconic", "a.wav", "-sync"},
         Args::run,
         "a.wav",
         ""},
        {{"--", "-odd.wav"}, Args::run, "-odd.wav", ""},
        {{"-"}, Args::run, "-", ""},
        {{"a.wav", "--help"}, Args::help, "", ""},
        {{"-h"}, Args::help, nullptr, ""},
        {{"--version", "--bogus"}, Args::version, nullptr, ""},
        {{"--bogus", "--help"}, Args::usage, nullptr, "unknown option '--bogus'"},
        {{"-x"}, Args::usage, nullptr, "unknown option '-x'"},
        {{"a.wav", "b.wav"}, Args::usage, nullptr, "more than one file: 'b.wav'"},
        {{"a.wav", "-display"}, Args::usage, nullptr, "option '-display' needs an argument"},
    };
    for (const auto& [given, action, path, error] : cases) {
        std::vector<char*> argv{const_cast<char*>("starlume")};
        for (const char* a : given) argv.push_back(const_cast<char*>(a));
        const Args args = parseargs(static_cast<int>(argv.size()), argv.data());
        EXPECT_EQ(args.action, action) << given.size();
        if (action == Args::run) {
            EXPECT_STREQ(args.path, path);
        }
        EXPECT_EQ(args.error, error);
    }
}
