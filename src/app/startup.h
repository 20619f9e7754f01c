// Start-up: the file dialogue, the banner, and the steps every run shares.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "app/cli.h"
#include "input/commands.h"
#include "render/palette.h"
#include "world/world.h"

namespace starlume {

constexpr std::size_t pathcapacity = 4096; // characters of a path, PATH_MAX with its NUL

// Reads one whitespace-delimited token of at most capacity - 1 characters.
// Returns false at the end of input or when the token does not fit (the whole
// token is consumed either way).
bool readtoken(std::FILE* in, char* buf, std::size_t capacity);

// Prompts for the audio file and opens it for reading. A path given on the
// command line answers the prompt instead of the console. Returns the
// stream, or nullptr after reporting "Error opening file".
std::FILE* openaudiofile(std::FILE* in, std::FILE* out, char (&path)[pathcapacity + 1],
                         const char* given = nullptr);

// Whether path is a WAV or AIFF file whose format chunk claims no channels.
// The music library divides by that count unchecked, so such a file must
// not be handed to it.
bool nochannels(const char* path);

void printbanner(std::FILE* out);

// Start-up that every run shares, in this order: the grid, the transition
// steps (before seeding, so they are the same on every run), the seed (from
// the clock unless given) and the stars per side of --stars.
void startworld(World& w, Palette& p, const Args& args);

// Presses keys as if in the window, in order.
void presskeys(World& w, Palette& p, std::string_view keys, const Io& io);

// Time of day in whole milliseconds since the epoch: the window's clock.
std::int64_t timeofdayms();

// The same to the microsecond, for measuring.
double nowms();

} // namespace starlume
