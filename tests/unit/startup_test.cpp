#include <cstring>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "core/app/cli.h"
#include "core/app/startup.h"
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

TEST(Startup, TypedPaths) {
    // the line as typed or pasted, $HOME, the path it names
    const std::tuple<std::string, const char*, std::string> cases[] = {
        {"/m/song.wav", "/home/me", "/m/song.wav"},
        {"  \t/home/me/My Music/Song 1.ogg \t\r", nullptr, "/home/me/My Music/Song 1.ogg"},
        {"'/m/My Album/a.flac' ", nullptr, "/m/My Album/a.flac"}, // a dropped file
        {"\"/m/a b.wav\"", nullptr, "/m/a b.wav"},
        {"\" /m/a.wav \"", nullptr, " /m/a.wav "}, // inside quotes blanks stay
        {"''/m/a.wav''", nullptr, "'/m/a.wav'"},   // one pair only
        {"'/m/a.wav\"", nullptr, "'/m/a.wav\""},   // no pair
        {"~/song.ogg", "/home/me", "/home/me/song.ogg"},
        {"'~/My Music'", "/home/me/", "/home/me/My Music"},
        {"~/song.ogg", nullptr, "~/song.ogg"},
        {"~other/song.ogg", "/home/me", "~other/song.ogg"},
        {" \t ", "/home/me", ""},
        {"''", nullptr, ""},
    };
    for (const auto& [line, home, path] : cases) EXPECT_EQ(typedpath(line, home), path) << line;
}

TEST(Startup, AskPathReadsTheWholeLine) {
    // what is typed; the path, or the line on stderr; what is left unread
    const std::tuple<std::string, std::optional<std::string>, std::string, std::string> cases[] = {
        {"/m/My Album/a.wav\nnext", "/m/My Album/a.wav", "", "next"},
        {"  '/m/a b.wav'  \n", "/m/a b.wav", "", ""},
        {"/m/a.wav", "/m/a.wav", "", ""}, // the input ends without a line end
        {"   \n/m/a.wav\n", std::nullopt, "starlume: no file was named\n", "/m/a.wav\n"},
        {"", std::nullopt, "starlume: no file was named\n", ""},
        {std::string(5 * pathcapacity, 'x') + "\nnext", std::string(4 * pathcapacity, 'x'), "",
         "next"},
    };
    for (const auto& [typed, path, said, left] : cases) {
        Input in(typed);
        Output out, err;
        EXPECT_EQ(askpath(in.get(), out.get(), err.get()), path) << typed.substr(0, 40);
        EXPECT_EQ(out.text(), std::string("Opening  file..\nEnter your filename(Absolute "
                                          "Filepath):\t") +
                                  (path ? "" : "Error opening file\n"));
        EXPECT_EQ(err.text(), said);
        std::string rest;
        for (int c; (c = std::fgetc(in.get())) != EOF;) rest += static_cast<char>(c);
        EXPECT_EQ(rest, left);
    }
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
    // arguments, action, path, error, what glutInit gets after the name
    const std::tuple<std::vector<const char*>, Args::Action, const char*, std::string, std::string>
        cases[] = {
            {{}, Args::run, nullptr, "", ""},
            {{"song.flac"}, Args::run, "song.flac", "", ""},
            {{"-display", ":5", "-geometry", "10x10", "-iconic", "a.wav", "-sync"},
             Args::run,
             "a.wav",
             "",
             "-display :5 -geometry 10x10 -iconic -sync"},
            {{"-direct", "-indirect", "-gldebug", "a.wav"},
             Args::run,
             "a.wav",
             "",
             "-direct -indirect -gldebug"},
            // nothing from "--" on reaches the toolkit
            {{"-sync", "--", "-geometry"}, Args::run, "-geometry", "", "-sync"},
            {{"--", "-iconic"}, Args::run, "-iconic", "", ""},
            {{"-"}, Args::run, "-", "", ""},
            {{"a.wav", "--help"}, Args::help, "", "", ""},
            {{"-h"}, Args::help, nullptr, "", ""},
            {{"--version", "--bogus"}, Args::version, nullptr, "", ""},
            {{"--bogus", "--help"}, Args::usage, nullptr, "unknown option '--bogus'", ""},
            {{"-x"}, Args::usage, nullptr, "unknown option '-x'", ""},
            {{"a.wav", "b", "--loop", "--shuffle"}, Args::run, "a.wav", "", ""},
            // several songs make one video, back to back
            {{"--render", "v.mp4", "a.wav", "b.wav"}, Args::render, "a.wav", "", ""},
            {{"--render", "v.mp4", "--loop", "a.wav"},
             Args::usage,
             nullptr,
             "option '--loop' does not go with --render",
             ""},
            {{"a.wav", "-display"},
             Args::usage,
             nullptr,
             "option '-display' needs an argument",
             ""},
            {{"--keys", "7b", "--stars=40", "--seed", "5", "a.wav"}, Args::run, "a.wav", "", ""},
            {{"--render", "v.mp4", "--size", "640x360", "--fps=30", "--passes", "100", "--at",
              "1.5:7", "a.wav"},
             Args::render,
             "a.wav",
             "",
             ""},
            {{"--listen"}, Args::listen, nullptr, "", ""},
            {{"--listen", "monitor", "--fullscreen"}, Args::listen, nullptr, "", ""},
            {{"--list-devices"}, Args::listdevices, nullptr, "", ""},
            {{"--latency", "0", "--verbose", "a.wav"}, Args::run, "a.wav", "", ""},
            {{"--render", "v.mp4"},
             Args::usage,
             nullptr,
             "--render needs a FILE to make the video of",
             ""},
            {{"--listen", "mic", "a.wav"},
             Args::usage,
             nullptr,
             "--listen takes no file: 'a.wav'",
             ""},
            {{"--listen", "--render", "v.mp4", "a.wav"},
             Args::usage,
             nullptr,
             "--listen and --render cannot go together",
             ""},
            {{"--list-devices", "a.wav"},
             Args::usage,
             nullptr,
             "--list-devices takes no file and no other option",
             ""},
            {{"--size", "640x360", "a.wav"},
             Args::usage,
             nullptr,
             "option '--size' does not go with a window on a file",
             ""},
            {{"--render", "v.mp4", "--latency", "20", "a.wav"},
             Args::usage,
             nullptr,
             "option '--latency' does not go with --render",
             ""},
            {{"--keys", "7n", "a.wav"}, Args::usage, nullptr, "'n' cannot be given in --keys", ""},
            {{"--render", "v.mp4", "--at", "2:Q", "a.wav"},
             Args::usage,
             nullptr,
             "'Q' cannot be given in --at",
             ""},
            {{"--stars"}, Args::usage, nullptr, "option '--stars' needs a value", ""},
            {{"--fullscreen=1"}, Args::usage, nullptr, "option '--fullscreen' takes no value", ""},
            {{"--list-devices", "--verbose"},
             Args::usage,
             nullptr,
             "--list-devices takes no file and no other option",
             ""},
            {{"--listen", "--latency", "20"},
             Args::usage,
             nullptr,
             "option '--latency' does not go with --listen",
             ""},
            {{"--render", "v.mp4", "--fullscreen", "a.wav"},
             Args::usage,
             nullptr,
             "option '--fullscreen' does not go with --render",
             ""},
            // a take: recorded in the window, replayed by a video, its FILE optional
            {{"--record", "set.take", "a.wav", "b.wav"}, Args::run, "a.wav", "", ""},
            {{"--listen", "--record=live.take"}, Args::listen, nullptr, "", ""},
            {{"--render", "v.mp4", "--take", "set.take"}, Args::render, nullptr, "", ""},
            {{"--render", "v.mp4", "--take", "set.take", "a.wav"}, Args::render, "a.wav", "", ""},
            {{"--take", "set.take", "a.wav"},
             Args::usage,
             nullptr,
             "option '--take' does not go with a window on a file",
             ""},
            {{"--render", "v.mp4", "--record", "set.take", "a.wav"},
             Args::usage,
             nullptr,
             "option '--record' does not go with --render",
             ""},
            {{"--record=", "a.wav"},
             Args::usage,
             nullptr,
             "option '--record' needs a take's file, not ''",
             ""},
        };
    for (const auto& [given, action, path, error, toolkit] : cases) {
        std::vector<char*> argv{const_cast<char*>("starlume")};
        for (const char* a : given) argv.push_back(const_cast<char*>(a));
        const Args args = parseargs(static_cast<int>(argv.size()), argv.data());
        EXPECT_EQ(args.action, action) << given.size() << " " << args.error;
        EXPECT_EQ(args.error, error);
        if (action != Args::run && action != Args::render) continue;
        EXPECT_STREQ(args.path, path);
        std::string passed;
        for (std::size_t i = 1; i < args.toolkit.size(); i++) {
            if (i > 1) passed += ' ';
            passed += args.toolkit[i];
        }
        EXPECT_EQ(passed, toolkit) << given.size();
        EXPECT_STREQ(args.toolkit[0], "starlume");
    }
}

TEST(Startup, MusicTimes) {
    // seconds, m:ss and h:mm:ss, each with a fraction or none
    const std::pair<const char*, std::optional<double>> cases[] = {
        {"45", 45},       {"12.5", 12.5},  {"0", 0},           {"1:30", 90},
        {"1:30.5", 90.5}, {"0:09", 9},     {"1:02:03", 3723},  {"10:00:00.25", 36000.25},
        {"125:00", 7500}, {"1:5", {}},     {"1:60", {}},       {"1:75", {}},
        {"1:2:03", {}},   {"1:02:60", {}}, {"1:02:03:04", {}}, {"99:99:99", {}},
        {":30", {}},      {"1:", {}},      {"1:.5", {}},       {"1:3.5", {}},
        {"1:300", {}},    {"-1", {}},      {"1e3", {}},        {"", {}},
        {"1:30 ", {}},    {"0x10", {}},    {"1::30", {}},      {"1:30.5.5", {}},
    };
    for (const auto& [text, seconds] : cases) EXPECT_EQ(musicseconds(text), seconds) << text;
}

TEST(Startup, OptionValues) {
    // a value is taken whole and within its range, or refused
    const std::pair<std::vector<const char*>, bool> cases[] = {
        {{"--size", "16x7680"}, true},    {{"--size", "15x16"}, false},
        {{"--size", "7682x16"}, false},   {{"--size", "640x"}, false},
        {{"--size", "640X360"}, false},   {{"--fps", "240"}, true},
        {{"--fps", "0"}, false},          {{"--fps", "30.5"}, false},
        {{"--fps", "241"}, false},        {{"--size", "16x17"}, false},
        {{"--passes", "99"}, false},      {{"--passes", "100000"}, true},
        {{"--at", "0:c"}, true},          {{"--at", "2.5"}, false},
        {{"--at", "-1:c"}, false},        {{"--at", "1e3:c"}, false},
        {{"--at", "1:30:b"}, true},       {{"--at", "1:30:"}, false},
        {{"--at", "99:99:99:x"}, false},  {{"--at", "2:x"}, false},
        {{"--at", "1:02:03.5:7"}, true},  {{"--at", "1:5:b"}, false},
        {{"--stars", "101"}, false},      {{"--stars", "+5"}, false},
        {{"--seed", "4294967295"}, true}, {{"--seed", "4294967296"}, false},
        {{"--quality", "51"}, true},      {{"--quality", "52"}, false},
        {{"--preset", "veryslow"}, true}, {{"--preset", "placebo"}, false},
        {{"--size", "wide"}, true},       {{"--size", "Wide"}, false},
        {{"--size", "1080p"}, false},     {{"--fit", "stretch"}, true},
        {{"--fit", "fill"}, false},       {{"--from", "1:30"}, true},
        {{"--to", "0:00:05.5"}, true},    {{"--from", "1:5"}, false},
        {{"--to", "-2"}, false},          {{"--transparent", "--to=2"}, true},
        {{"--cover", "none"}, true},      {{"--cover", ""}, false},
        {{"--title", ""}, true},          {{"--artist=", "--title=x"}, true},
    };
    for (const auto& [given, ok] : cases) {
        std::vector<char*> argv{const_cast<char*>("starlume"), const_cast<char*>("--render"),
                                const_cast<char*>("v.mkv")};
        for (const char* a : given) argv.push_back(const_cast<char*>(a));
        argv.push_back(const_cast<char*>("a.wav"));
        const Args args = parseargs(static_cast<int>(argv.size()), argv.data());
        EXPECT_EQ(args.action == Args::render, ok) << given[0] << " " << given[1] << args.error;
    }
    // an empty title is one given, to write none; no option keeps the tags
    {
        const char* given[] = {"starlume", "--render", "v.mp4", "--title", "", "a.wav"};
        const Args a = parseargs(6, const_cast<char**>(given));
        EXPECT_TRUE(a.title && a.title->empty() && !a.artist && a.cover == nullptr) << a.error;
    }
    char* argv[] = {const_cast<char*>("starlume"),
                    const_cast<char*>("--render=v.mp4"),
                    const_cast<char*>("--size=640x360"),
                    const_cast<char*>("--at"),
                    const_cast<char*>("3:b"),
                    const_cast<char*>("--at=1.5:7c"),
                    const_cast<char*>("a.wav")};
    const Args a = parseargs(7, argv);
    EXPECT_EQ(std::make_tuple(a.width, a.height, a.fps, a.passes),
              std::make_tuple(640, 360, 60, 2000));
    // x264's defaults, as the README gives them; a preset given is x264's own
    const Videosettings x264 = videosettings(a);
    EXPECT_EQ(
        std::tie(x264.preset, x264.quality, x264.params),
        std::make_tuple(std::string("superfast"), 30, std::string("bframes=0:partitions=none")));
    Args chosen = a;
    chosen.preset = "medium";
    chosen.quality = 18;
    const Videosettings given = videosettings(chosen);
    EXPECT_EQ(std::tie(given.preset, given.quality, given.params),
              std::make_tuple(std::string("medium"), 18, std::string()));
    // the error says what is wrong with the time or the keys
    for (const auto& [value, error] : std::vector<std::pair<const char*, std::string>>{
             {"2:x", "'x' in --at 2:x is not a key"},
             {"1:30:", "option '--at' needs keys after the time: '1:30:'"},
             {"99:99:99:x", "option '--at' needs TIME:KEYS, TIME in seconds, m:ss or h:mm:ss, "
                            "not '99:99:99:x'"}}) {
        char* bad[] = {const_cast<char*>("starlume"), const_cast<char*>("--render=v.mp4"),
                       const_cast<char*>("--at"), const_cast<char*>(value),
                       const_cast<char*>("a.wav")};
        EXPECT_EQ(parseargs(5, bad).error, error);
    }
    EXPECT_FALSE(a.stretch || a.transparent || a.from || a.to);
    ASSERT_EQ(a.at.size(), 2u); // in time order
    EXPECT_EQ(std::make_pair(a.at[0].seconds, a.at[0].keys),
              std::make_pair(1.5, std::string("7c")));
    EXPECT_EQ(std::make_pair(a.at[1].seconds, a.at[1].keys), std::make_pair(3.0, std::string("b")));
}

TEST(Startup, ShapesFitsAndCuts) {
    // a shape by name, or by its size; the stars' square in it
    const std::tuple<const char*, const char*, int, int, Square> shapes[] = {
        {"vertical", "square", 1080, 1920, {0, 420, 1080, 1080}},
        {"wide", "square", 1920, 1080, {420, 0, 1080, 1080}},
        {"320x180", "square", 320, 180, {70, 0, 180, 180}},
        {"wide", "stretch", 1920, 1080, {0, 0, 1920, 1080}},
    };
    for (const auto& [size, fit, w, h, square] : shapes) {
        const char* argv[] = {"starlume", "--render", "v.mp4", "--size",
                              size,       "--fit",    fit,     "a.wav"};
        const Args a = parseargs(8, const_cast<char**>(argv));
        ASSERT_EQ(a.action, Args::render) << a.error;
        EXPECT_EQ(std::make_pair(a.width, a.height), std::make_pair(w, h)) << size;
        const Square got = starsquare(a.width, a.height, a.stretch);
        EXPECT_EQ(std::tie(got.x, got.y, got.width, got.height),
                  std::tie(square.x, square.y, square.width, square.height))
            << size << " " << fit;
    }
    // the errors of the new options say what is wrong
    const std::pair<std::vector<const char*>, std::string> cases[] = {
        {{"--from", "3", "--to", "2"}, "--to 2 is not after --from 3"},
        {{"--to", "0"}, "--to 0 keeps none of the music"},
        {{"--transparent", "--preset", "fast"},
         "option '--preset' (x264's) does not go with --transparent"},
        {{"--fit", "round"}, "option '--fit' needs square or stretch, not 'round'"},
        {{"--size", "huge"},
         "option '--size' needs vertical, square, wide, 720p or "
         "WIDTHxHEIGHT, even numbers from 16 to 7680, not 'huge'"},
    };
    for (const auto& [given, error] : cases) {
        std::vector<const char*> argv{"starlume", "--render", "v.webm"};
        argv.insert(argv.end(), given.begin(), given.end());
        argv.push_back("a.wav");
        EXPECT_EQ(parseargs(static_cast<int>(argv.size()), const_cast<char**>(argv.data())).error,
                  error);
    }
}
