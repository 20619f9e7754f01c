// --record: everything played in the window written to a take as it
// happens, and, listening, the sound heard kept beside it.
#pragma once

#include <optional>
#include <string>

#include "core/app/cli.h"
#include "core/app/show.h"
#include "core/audio/source.h"
#include "core/input/events.h"

namespace starlume {

// Creates the take of --record (and, with sound, the sound file beside it)
// before the window opens. 0, or the exit status after a line on stderr.
int startrecording(const Args& args, bool sound);

// The header, once the show has started from seed.
void recordheader(const Show& s, unsigned seed, const Args& args);

// A song starts (path, of its length when known): its section.
void recordsong(const std::string& path, std::optional<double> seconds);

// An event as it is played, at its time.
void record(const Event& e);

// Where the sound heard goes, listening with --record; nullptr otherwise.
Soundsink* recordedsound();

// The file's name in the take's folder (for the take's own section).
std::string recordedsoundname();

// From the idle callback: what is written reaches the file once a second,
// so that a crash keeps what was played up to then.
void recordflush(double nowms);

// At the end: flushed and closed, the sound finished. false, after a line on
// stderr, when writing either of them failed.
bool stoprecording();

} // namespace starlume
