#include "core/input/commands.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/world/random.h"

namespace starlume {

namespace {

const char* onoff(bool on) { return on ? "ON" : "OFF"; }

void flip(int& toggle) { toggle = -toggle; }

void timingreport(World& w, const Io& io) {
    std::fprintf(io.out, "Drawn %d frames and simulated %d RK2 steps in %d milliseconds\n",
                 w.frames, w.steps, io.elapsed() - w.last_walltime);
    w.last_walltime = io.elapsed();
    w.frames = 0;
    w.steps = 0;
}

void velocitydump(const World& w, std::FILE* out) {
    for (int i = 0; i < 100; i++) {
        std::fprintf(out, "Speedx %d: %lf \t Speedy %d: %lf\n", i, w.vx[i], i, w.vy[i]);
    }
}

void statusreport(const World& w, std::FILE* out) {
    std::fprintf(out, "TOGGLES: \n");
    std::fprintf(out, "Black Hole:%s\n", onoff(w.blackhole == 1));
    std::fprintf(out, "Gravity: %s\n", onoff(w.gravity == 1));
    std::fprintf(out, "Damping:%s\n", onoff(w.viscous == 1));
    std::fprintf(out, "Distance: %s\n", onoff(w.distance == 1));
    std::fprintf(out, "Borders: %s\n", onoff(w.looper == 1));
    std::fprintf(out, "Reverse: %s\n", onoff(w.reverse == -1));
    std::fprintf(out, "Radial Bars: %s\n", onoff(w.mousekick == 1));
    std::fprintf(out, "Color: %d\n\n", w.color);
}

void colourlisting(std::FILE* out) {
    std::fprintf(out, "COLORS:\n");
    for (const char* name : colournames) std::fputs(name, out);
    std::fprintf(out, "\n\n\n");
}

void discardline(std::FILE* in) {
    int c;
    while ((c = std::fgetc(in)) != EOF && c != '\n') {
    }
}

// Asks for a new count and reads the answers; whether one was set.
bool starcount(World& w, const Io& io) {
    std::fprintf(io.out, "Enter the number between 1-100: ");
    std::fflush(io.out);
    Starcount s;
    return readstarcount(w, s, io);
}

void pickdirections(Palette& p) {
    p.transitiona = rnd() % 100 <= 50 ? 1 : -1;
    p.transitionb = rnd() % 100 <= 50 ? 1 : -1;
    p.transitionc = rnd() % 100 <= 50 ? 1 : -1;
}

// What a command gets: the show's state and the console.
struct Keys {
    World& w;
    Palette& p;
    const Io& io;
};

Outcome pausekey(Keys& k, unsigned char) {
    if (k.w.paused == 1) {
        k.io.resumemusic();
    } else {
        k.io.pausemusic();
    }
    flip(k.w.paused);
    return Outcome::carryon;
}

Outcome quitkey(Keys&, unsigned char) { return Outcome::quit; }

Outcome starskey(Keys& k, unsigned char) {
    return starcount(k.w, k.io) ? Outcome::stars : Outcome::carryon;
}

Outcome colourkey(Keys& k, unsigned char key) {
    k.w.color = key - '0';
    if (key == '7') pickdirections(k.p);
    return Outcome::carryon;
}

template <int World::*toggle> Outcome flips(Keys& k, unsigned char) {
    flip(k.w.*toggle);
    return Outcome::carryon;
}

// A command on the stars alone, or one that prints a report.
template <void (*f)(World&)> Outcome onstars(Keys& k, unsigned char) {
    f(k.w);
    return Outcome::carryon;
}
template <void (*f)(Keys&)> Outcome reports(Keys& k, unsigned char) {
    f(k);
    return Outcome::carryon;
}
void timing(Keys& k) { timingreport(k.w, k.io); }
void velocities(Keys& k) { velocitydump(k.w, k.io.out); }
void colours(Keys& k) { colourlisting(k.io.out); }
void status(Keys& k) { statusreport(k.w, k.io.out); }
void instructions(Keys& k) { printinstructions(k.io.out, false); }

// The key set: each entry's name as the help lists it, the characters that
// run it, what it does, and its command. The window's own keys, which are
// not characters, have no command: their stage turns them into events.
struct Command {
    const char* name;
    const char* chars;
    const char* what;
    Outcome (*run)(Keys&, unsigned char);
};
constexpr Command commands[] = {
    {"P", "P", "pause or resume the music", pausekey},
    {"Q", "Q", "quit", quitkey},
    {"F", "F", "print the frames drawn and steps simulated since the last F", reports<timing>},
    {"R", "R", "lay the stars out in the grid again, at rest", onstars<resetGrid>},
    {"V", "V", "print the velocities of the first 100 stars", reports<velocities>},
    {"r", "r", "reverse the cursor force: attract or repel", flips<&World::reverse>},
    {"a", "a", "randomised kick strengths on or off", flips<&World::bar>},
    {"m", "m", "radial bars around the held cursor on or off (with d off)",
     flips<&World::mousekick>},
    {"g", "g", "gravity on or off", flips<&World::gravity>},
    {"l", "l", "walls that wrap around, or bounce", flips<&World::looper>},
    {"S", "S", "lay the stars out in a spiral", onstars<spiral>},
    {"C", "C", "pull every star toward a point on a circle", onstars<circlepull>},
    {"d", "d", "cursor force by distance, or constant", flips<&World::distance>},
    {"v", "v", "damping on or off", flips<&World::viscous>},
    {"b", "b", "black hole on or off", flips<&World::blackhole>},
    {"n", "n", "ask on the console for the stars per side, 1 to 100", starskey},
    {"0-9", "0123456789", "colour scheme 0 to 9 (7 also picks new transition directions)",
     colourkey},
    {"c", "c", "list the colour schemes", reports<colours>},
    {"p", "p", "print the state of the toggles", reports<status>},
    {"i", "i", "print the instructions again", reports<instructions>},
    {"F11", "", "fullscreen on or off", nullptr},
    {"Esc", "", "leave fullscreen", nullptr},
    {"Right/PgDn", "", "the next song", nullptr},
    {"Left/PgUp", "", "the song before, or this one again after its first 3 s", nullptr},
};

// The command a character runs; nullptr for none.
const Command* commandof(unsigned char key) {
    if (key == '\0') return nullptr;
    for (const Command& c : commands) {
        if (c.run != nullptr && std::strchr(c.chars, key) != nullptr) return &c;
    }
    return nullptr;
}

} // namespace

bool iskey(unsigned char key) { return commandof(key) != nullptr; }

std::string_view keychars(std::string_view name) {
    for (const Command& c : commands) {
        if (name == c.name) return c.chars;
    }
    return "";
}

bool readstarcount(World& w, Starcount& s, const Io& io) {
    long value = 0;
    for (;;) {
        const int r = readint(io.in, value);
        if (r == EOF) return false;
        if (r == 1) {
            if (s.echo) std::fprintf(io.out, "%ld\n", value);
            if (value >= 1 && value <= maxorder) break;
        } else {
            discardline(io.in);
        }
        s.echo = false;
        std::fprintf(io.out, "Invalid input: Enter the number between 1-100: ");
        std::fflush(io.out);
    }
    setOrder(w, static_cast<int>(value));
    return true;
}

void printkeys(std::FILE* out) {
    for (const Command& c : commands) std::fprintf(out, "  %-10s %s\n", c.name, c.what);
}

int skipspace(std::FILE* in) {
    int c;
    do {
        c = std::fgetc(in);
    } while (c != EOF && std::isspace(c));
    return c;
}

int readint(std::FILE* in, long& value) {
    int c = skipspace(in);
    if (c == EOF) return EOF;

    std::string digits;
    if (c == '+' || c == '-') {
        digits += static_cast<char>(c);
        c = std::fgetc(in);
    }
    while (c != EOF && std::isdigit(c)) {
        if (digits.size() < 32) digits += static_cast<char>(c);
        c = std::fgetc(in);
    }
    if (c != EOF) std::ungetc(c, in);
    if (digits.empty() || !std::isdigit(static_cast<unsigned char>(digits.back()))) return 0;
    value = std::strtol(digits.c_str(), nullptr, 10); // saturates past the long range
    return 1;
}

void printinstructions(std::FILE* out, bool startup) {
    std::fprintf(out, "Instructions\n"
                      "Press 'Shift-r' to reset the Screen\n"
                      "Press 'n' to set number of stars\n"
                      "Press 'd' to turn off distance based force\n"
                      "Press 'r' to reverse the direction of the default force\n"
                      "Press 'g' to toggle gravity\n"
                      "Press 'l' to turn on borders that wrap around\n"
                      "Press 'v' to toggle damping to all particles\n"
                      "Press 'b' to toggle the black hole\n"
                      "Press '1-9' for colors\n"
                      "Press 'c' for color listing\n"
                      "Press 'p' to print out the currect status of all the toggles\n"
                      "Press 'i' for the instructions again\n"
                      "\n");
    if (startup) {
        std::fprintf(out, "Press 'Shift-p' to pause the music\n"
                          "Press 'm' for radial bars(make sure distance based force is off)\n"
                          "\n");
    } else {
        std::fprintf(out, "Press 'shift-p' to pause the music\n"
                          "Press 'm' for radial bars(makes sure distance based force is off)\n"
                          "\n");
    }
}

Outcome keycommand(World& w, Palette& p, unsigned char key, const Io& io) {
    const Command* c = commandof(key);
    Keys k{w, p, io};
    const Outcome o = c != nullptr ? c->run(k, key) : Outcome::carryon;
    std::fflush(io.out);
    return o;
}

} // namespace starlume
