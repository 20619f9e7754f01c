// The command line: which run to make (a window on a file, a window on a
// capture device, a video of a file) and its options. The X toolkit's own
// options are recognised so that they can be passed on to it.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace starlume {

// Keys to press when the music reaches a time (--at).
struct Timedkeys {
    double seconds;
    std::string keys;
};

struct Args {
    enum Action { run, render, listen, listdevices, help, version, usage } action = run;
    const char* path = nullptr;     // the first file, or nullptr to ask for it
    std::vector<const char*> paths; // every file, folder and list given
    std::string error;              // for usage: what was wrong, one line

    // What glutInit gets: the program name and the toolkit options given
    // before "--", nothing else.
    std::vector<char*> toolkit;

    // Every run.
    std::string keys;             // pressed before the first pass
    int stars = 0;                // stars per side; 0 keeps the default
    std::optional<unsigned> seed; // none: from the clock
    bool verbose = false;

    // The window.
    bool fullscreen = false;
    bool loop = false;            // the list starts over after its last song
    bool shuffle = false;         // the list in a random order
    int latency = -1;             // ms from the mixer to the ear; -1: ask the sound server
    const char* record = nullptr; // the take to write what is played to

    // A video.
    const char* out = nullptr;
    int width = 1280, height = 720;
    bool stretch = false;                     // the stars' square stretched over the whole frame
    bool transparent = false;                 // the background left transparent
    std::optional<double> from, to;           // the part of the music kept, in seconds
    const char* cover = nullptr;              // a picture, "none", or nullptr: the song's own
    std::optional<std::string> title, artist; // none: the song's tags
    int fps = 60;
    int passes = 2000;            // simulation passes per second of music
    int quality = -1;             // x264's constant rate factor; -1: the default
    const char* preset = nullptr; // x264's preset; nullptr: the default
    std::vector<Timedkeys> at;    // in time order
    const char* take = nullptr;   // the take to replay

    // Live sound.
    const char* device = nullptr; // nullptr: the system's default
};

Args parseargs(int argc, char** argv);

// What x264 is asked for: a preset, a constant rate factor, and parameters
// of its own (the default preset's tuning; none with a preset given).
struct Videosettings {
    std::string preset;
    int quality;
    std::string params;
};
Videosettings videosettings(const Args& a);

// Where the stars' square lies in a frame, in pixels from the bottom left:
// the largest square centred in it, or all of it stretched.
struct Square {
    int x, y, width, height;
};
Square starsquare(int width, int height, bool stretch);

// Seconds into the music as people write a time: seconds (45, 12.5), m:ss
// (1:30, 1:30.5) or h:mm:ss (1:02:03); nothing when text is none of these.
std::optional<double> musicseconds(std::string_view text);

void printhelp(std::FILE* out);
void printversion(std::FILE* out);

} // namespace starlume
