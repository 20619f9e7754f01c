// The ten colour schemes: the colour of each star and, for three of them, of
// the background.
#pragma once

namespace starlume {

struct Palette {
    // Transition colour and its per-channel steps and directions.
    float aa = 1, ba = 1, ca = 1;
    float aaa = 0, bbb = 0, ccc = 0;
    int transitiona = -1, transitionb = -1, transitionc = -1;
};

struct Rgb {
    float r, g, b;
};

// What a scheme sets for one star; an unset colour leaves the previous one.
struct Starcolour {
    bool setdraw = false;
    Rgb draw{};
    bool setclear = false;
    Rgb clear{};
};

extern const char* const colournames[9];

// Draws the three transition steps, (rand() mod 30) / 10^8 each.
void drawsteps(Palette& p);

// Colour of the star at horizontal position x with squared speed energy under
// scheme color; schemes 2, 4, 5, 6 and 8 update p or draw random numbers.
Starcolour colourstep(Palette& p, int color, double x, double energy);

// One transition step of every channel, in single precision.
void transitionstep(Palette& p);

} // namespace starlume
