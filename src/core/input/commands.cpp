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

// Asks for a new count and reads the answers.
void starcount(World& w, const Io& io) {
    std::fprintf(io.out, "Enter the number between 1-100: ");
    std::fflush(io.out);
    Starcount s;
    readstarcount(w, s, io);
}

void pickdirections(Palette& p) {
    p.transitiona = rnd() % 100 <= 50 ? 1 : -1;
    p.transitionb = rnd() % 100 <= 50 ? 1 : -1;
    p.transitionc = rnd() % 100 <= 50 ? 1 : -1;
}

// What each key does, in the order the command table tests them, then the
// window's own keys.
struct Keyhelp {
    const char* keys;
    const char* what;
};
constexpr Keyhelp keyhelp[] = {
    {"P", "pause or resume the music"},
    {"Q", "quit"},
    {"F", "print the frames drawn and steps simulated since the last F"},
    {"R", "lay the stars out in the grid again, at rest"},
    {"V", "print the velocities of the first 100 stars"},
    {"r", "reverse the cursor force: attract or repel"},
    {"a", "randomised kick strengths on or off"},
    {"m", "radial bars around the held cursor on or off (with d off)"},
    {"g", "gravity on or off"},
    {"l", "walls that wrap around, or bounce"},
    {"S", "lay the stars out in a spiral"},
    {"C", "pull every star toward a point on a circle"},
    {"d", "cursor force by distance, or constant"},
    {"v", "damping on or off"},
    {"b", "black hole on or off"},
    {"n", "ask on the console for the stars per side, 1 to 100"},
    {"0-9", "colour scheme 0 to 9 (7 also picks new transition directions)"},
    {"c", "list the colour schemes"},
    {"p", "print the state of the toggles"},
    {"i", "print the instructions again"},
    {"F11", "fullscreen on or off"},
    {"Esc", "leave fullscreen"},
    {"Right/PgDn", "the next song"},
    {"Left/PgUp", "the song before, or this one again after its first 3 s"},
};

} // namespace

bool iskey(unsigned char key) {
    return key != '\0' && std::strchr("PQFRVramglSCdvbn0123456789cpi", key) != nullptr;
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
    for (const auto& k : keyhelp) std::fprintf(out, "  %-10s %s\n", k.keys, k.what);
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
    switch (key) {
    case 'P':
        if (w.paused == 1) {
            io.resumemusic();
        } else {
            io.pausemusic();
        }
        flip(w.paused);
        break;
    case 'Q': return Outcome::quit;
    case 'F': timingreport(w, io); break;
    case 'R': resetGrid(w); break;
    case 'V': velocitydump(w, io.out); break;
    case 'r': flip(w.reverse); break;
    case 'a': flip(w.bar); break;
    case 'm': flip(w.mousekick); break;
    case 'g': flip(w.gravity); break;
    case 'l': flip(w.looper); break;
    case 'S': spiral(w); break;
    case 'C': circlepull(w); break;
    case 'd': flip(w.distance); break;
    case 'v': flip(w.viscous); break;
    case 'b': flip(w.blackhole); break;
    case 'n': starcount(w, io); break;
    case '7':
        w.color = 7;
        pickdirections(p);
        break;
    case '0':
    case '1':
    case '2':
    case '3':
    case '4':
    case '5':
    case '6':
    case '8':
    case '9': w.color = key - '0'; break;
    case 'c': colourlisting(io.out); break;
    case 'p': statusreport(w, io.out); break;
    case 'i': printinstructions(io.out, false); break;
    default: break;
    }
    std::fflush(io.out);
    return Outcome::carryon;
}

} // namespace starlume
