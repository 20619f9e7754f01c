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

// What a frame's colours come to: each star's drawing colour, and the
// clear colour for the next frame when the scheme sets one.
struct Starcolours {
    Rgb* colours; // one per star, filled in
    Rgb& current; // the colour in force before the first star, then after the last
    bool clearset = false;
    Rgb clear{};
};

// The colours of stars 0 to n - 1 at x with velocities (vx, vy) under scheme
// color: the same colours, palette steps and random numbers, in the same
// order, as colourstep star by star with energy vx^2 + vy^2, a scheme's
// loop at a time.
void colourstars(Palette& p, int color, int n, const double* x, const double* vx, const double* vy,
                 Starcolours& out);

// One transition step of every channel, in single precision.
void transitionstep(Palette& p);

} // namespace starlume
