// A take: one performance as plain text that a person can read and edit.
// A header (the version, the seed, the stars per side, the --keys given and,
// for live sound, the sound kept beside it), then a section per song played,
// each with its events in time order, one a line:
//
//   starlume take 1
//   seed 1744051234
//   stars 75
//   keys 7b
//   song 225.250 My Song.flac
//   3012.4 key 7
//   5003.1 press 0.8571 0.1429
//
// The window writes one as it is played; a video replays it.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/input/events.h"

namespace starlume {

constexpr int takeversion = 1;

struct Takesong {
    double seconds = 0; // the song's length; 0 when it was not known
    std::string name;   // its file's name, as "Now playing" shows it
    int line = 0;       // of its song line, 1-based
    std::vector<Event> events;
};

struct Take {
    unsigned seed = 0;
    int stars = 75;
    std::string keys;  // --keys
    std::string sound; // the heard sound kept beside the take; "" for none
    std::vector<Takesong> songs;
};

// Why a take cannot be read, and on which line (1-based).
struct Takeerror {
    int line = 0;
    std::string why;
};

// Reads a take's text (LF or CRLF line ends; blank lines and lines starting
// with '#' left out). Nothing when it reads; else the first fault.
std::optional<Takeerror> readtake(std::string_view text, Take& take);

// The events of the section for the song named one of names (the first such
// section), in time order, and the lines of later sections of the same song
// (a song played again), which a single pass through the music cannot
// replay. An error at the first section for a song not among names.
struct Takeevents {
    std::vector<Event> events;
    std::vector<int> again;
};
std::optional<Takeerror> takeevents(const Take& take, const std::vector<std::string>& names,
                                    Takeevents& out);

// Which section of a take each song of an album gets, names[i] being song
// i's name: each section goes to the first song of its name that has none
// yet (-1 for a song with none); sections left over, a song played again
// more often than the album holds it, are listed by line. An error at the
// first section for a song not among names.
struct Albumtake {
    std::vector<int> sections; // by song
    std::vector<int> again;
};
std::optional<Takeerror> albumsections(const Take& take, const std::vector<std::string>& names,
                                       Albumtake& out);

// The events of an album's songs on its one timeline, in time order: song
// i's section's events moved on by startms[i]; those after the song's end
// (endms[i], from the song's start) are left out and counted in late.
std::vector<Event> albumevents(const Take& take, const std::vector<int>& sections,
                               const std::vector<double>& startms, const std::vector<double>& endms,
                               int& late);

// A name as a take holds it: on one line and in UTF-8, control bytes and
// bytes that are not UTF-8 each written as '?'.
std::string takename(std::string_view name);

// The lines a take is written in, each with its line end.
std::string takeheader(const Take& take); // the songs left out
std::string songline(double seconds, std::string_view name);
std::string eventline(const Event& e);

// Writes a take as it is played, to a file it then owns. The stream's own
// buffer holds the lines until flush.
class Takewriter {
  public:
    explicit Takewriter(std::FILE* f);
    ~Takewriter();
    Takewriter(const Takewriter&) = delete;
    Takewriter& operator=(const Takewriter&) = delete;

    void header(const Take& take);

    // A song starts: its section, of the length given when it is known.
    void song(std::string_view name, std::optional<double> seconds);

    // An event of the song playing. Its time is kept within the song and
    // after the one before, so that the take reads back: a clock set again
    // may step back a little, and a song that has ended is still heard at
    // its end. 'n' is written as the stars it set; keys that are none and
    // events before the first song are left out.
    void write(Event e);

    // The section of the song playing, from 0; -1 before the first.
    int section() const { return sections - 1; }

    // Hands what is written to the system; false once writing has failed.
    bool flush();
    // Flushes and closes the file; false when writing it failed at any time.
    bool close();

  private:
    void put(const std::string& line);

    std::FILE* f;
    bool failed = false;
    int sections = 0;
    double endms = 0; // of the song playing; 0 when not known
    double lastms = 0;
};

} // namespace starlume
