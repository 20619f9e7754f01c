// An evening of music: the songs in the order they play, where the list
// stands, and what the song keys and the end of a song do to it. Plain state:
// the window opens, reports and plays the song it names, through an opener
// that answers whether the song opened.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/app/playlist.h"

namespace starlume {

struct Evening {
    std::vector<Song> songs; // in the order they play
    std::size_t at = 0;      // the song playing, or the one tried last
    bool loop = false;       // the first after the last, the last before the first
    bool finished = false;   // the list has run out
};

// Left plays the song again, rather than the one before, once more than this
// much of it has been heard, ms.
constexpr double againms = 3000;

// Printed once when the list runs out, a single song's end included.
constexpr const char* endofthelist = "End of the list: press Q to quit\n";

// Opens song i, reports it and plays it; false, with its reason said, when it
// cannot be opened.
using Opensong = std::function<bool(std::size_t)>;

// The songs of an evening, in a random order when a seed is given (the same
// order for the same seed).
Evening makeevening(std::vector<Song> songs, bool loop,
                    std::optional<unsigned> shuffleseed = std::nullopt);
// Songs named by their paths alone.
Evening makeevening(const std::vector<std::string>& paths, bool loop,
                    std::optional<unsigned> shuffleseed = std::nullopt);

// The first song that opens; false when none does.
bool startevening(Evening& e, const Opensong& open);

// What a step through the list came to.
enum class Turn {
    playing, // a song was opened and plays
    ranout,  // the list has just run out: say so
    stays,   // nothing changed
};

// Right/PgDn, or the end of the song playing: the next song that opens. After
// the last the list runs out, or with loop starts over; once it has run out
// nothing more happens until Left.
Turn nextsong(Evening& e, const Opensong& open);

// Left/PgUp, heardms of the song playing heard: the song before, or this one
// again once more than againms of it are heard, or the last one tried again
// after the list has run out. Before the first comes the first again, or with
// loop the last. Songs that do not open are passed over.
Turn previoussong(Evening& e, double heardms, const Opensong& open);

// The path of the song at the list's place: what plays, and whose section a
// take writes.
const std::string& songat(const Evening& e);

// "Now playing N/TOTAL: NAME (m:ss)", or "-:--" for a length not known; empty
// for a single song, which has no such line.
std::string nowplaying(const Evening& e, std::optional<double> seconds);

// The line for a song that stopped short of the length its decoder
// announced, seconds of each: "starlume: 'PATH' ended at m:ss of m:ss\n".
// Empty when it held about all it announced (a second or 2% of it may be
// missing: an estimate from a header can be that far off), or announced
// nothing.
std::string endedearly(const std::string& path, double seconds, double announced);

} // namespace starlume
