// The keyboard command table and the console texts it prints.
#pragma once

#include <cstdio>
#include <string_view>

#include "core/render/palette.h"
#include "core/world/world.h"

namespace starlume {

// What the command table needs from the platform.
struct Io {
    std::FILE* in;    // console input, for the star count
    std::FILE* out;   // console output
    int (*elapsed)(); // the toolkit's elapsed time, ms
    void (*pausemusic)();
    void (*resumemusic)();
};

// What a key or an event leaves to the stage: nothing, or what only the
// stage can do (quit, the song keys, fullscreen). stars: 'n' set a new count.
enum class Outcome { carryon, quit, stars, next, previous, fullscreen, leavefullscreen };

// Whether a key has a command in the table.
bool iskey(unsigned char key);

// Runs the command for one key press in the window. Unknown keys do nothing.
Outcome keycommand(World& w, Palette& p, unsigned char key, const Io& io);

// The characters of the command table that a key as the help names it
// stands for ("0-9": the ten digits); empty for the window's own keys (F11,
// Esc, the song keys) and for names that are no key.
std::string_view keychars(std::string_view name);

// The answers to the star count that 'n' asks for, read from io.in until one
// is in 1..100, which sets it (true), or until the input ends (false: the
// count stays, and a page reads on when more is typed). Letters discard the
// rest of their line. Only the first answer is echoed.
struct Starcount {
    bool echo = true;
};
bool readstarcount(World& w, Starcount& s, const Io& io);

// The instructions; the start-up text and the one the 'i' key prints differ
// in two lines.
void printinstructions(std::FILE* out, bool startup);

// One line per key of the window, for the help text.
void printkeys(std::FILE* out);

// Skips white space; returns the first other character, or EOF.
int skipspace(std::FILE* in);

// Reads an integer as "%d" would, saturating out-of-range values.
// Returns 1 on a number, 0 when the input holds no number here, EOF at the end.
int readint(std::FILE* in, long& value);

} // namespace starlume
