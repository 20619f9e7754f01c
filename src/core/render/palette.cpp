#include "core/render/palette.h"

#include <cmath>

#include "core/world/random.h"
#include "core/world/world.h"

namespace starlume {

const char* const colournames[9] = {
    "0: Classic Black\n", "1: Ferrofluid\n", "2: Transitions\n", "3: Matrix\n",      "4: Glitter\n",
    "5: Teal/Pink\n",     "6: Red/Yellow\n", "7: Fire\n",        "8: Alternating\n",
};

namespace {

float step() { return static_cast<float>((rnd() % 30) / 100000000.0); }

void stepchannel(float& v, float d, int& t) {
    if (t == 1 && v > 1.5f) t = -1;
    if (t == -1 && v < 0.3f) t = 1;
    if (t == 1) v = v + d;
    if (t == -1) v = v - d;
}

float glitter() { return static_cast<float>((rnd() % 11) / 10.0); }

Rgb stripcolour(int color, int s) {
    const float f = static_cast<float>(s / 16.0);
    switch (color) {
    case 5: return {f, 0.6f, 0.6f};
    case 6: return {0.8f, static_cast<float>(0.6 * s / 16), static_cast<float>(0.3 * s / 16)};
    default: // 8: the two palettes alternate strip by strip
        if (s % 2 == 0) return stripcolour(6, s);
        return {static_cast<float>(0.8 * s / 16), 0.6f, 0.6f};
    }
}

// The strip schemes run through the transition colour, which ends up holding
// the strip-15 colour whatever strip the star is in.
Starcolour stripscheme(Palette& p, int color, double x) {
    Starcolour out;
    const int strip = stripof(x);
    if (strip >= 0) {
        out.setdraw = true;
        out.draw = stripcolour(color, strip);
    }
    const Rgb last = stripcolour(color, 15);
    p.aa = last.r;
    p.ba = last.g;
    p.ca = last.b;
    return out;
}

} // namespace

void drawsteps(Palette& p) {
    p.aaa = step();
    p.bbb = step();
    p.ccc = step();
}

void transitionstep(Palette& p) {
    stepchannel(p.aa, p.aaa, p.transitiona);
    stepchannel(p.ba, p.bbb, p.transitionb);
    stepchannel(p.ca, p.ccc, p.transitionc);
}

Starcolour colourstep(Palette& p, int color, double x, double energy) {
    Starcolour out;
    switch (color) {
    case 0: out = {true, {1, 1, 1}, true, {0, 0, 0}}; break;
    case 1: out = {true, {0, 0, 0}, true, {1, 1, 1}}; break;
    case 2:
        out.setdraw = true;
        out.draw = {p.aa, p.ba, p.ca};
        out.setclear = true;
        out.clear = {static_cast<float>(p.ca - 0.7), static_cast<float>(p.ba - 0.7),
                     static_cast<float>(p.aa - 0.7)};
        transitionstep(p);
        break;
    case 3: {
        const double e = std::pow(energy, 0.6666666666666666);
        out.setdraw = true;
        out.draw = {0.2f, static_cast<float>(0.5 / (100 * (e + 0.00001))), 0.5f};
        break;
    }
    case 4: {
        const float r1 = glitter(), r2 = glitter(), r3 = glitter(), r4 = glitter();
        out.setdraw = true;
        if (energy < 0.0000001) {
            out.draw = {r1, r3, r4};
        } else if (energy < 0.001) {
            out.draw = {r2, r3, r4};
        } else if (energy < 0.002) {
            out.draw = {r3, r4, r1};
        } else if (energy < 0.04) {
            out.draw = {r4, r1, r1};
        } else {
            out.draw = {r1, r2, r3};
        }
        break;
    }
    case 5:
    case 6:
    case 8: out = stripscheme(p, color, x); break;
    case 7: {
        const double e = std::pow(energy, 0.6666666666666666);
        out.setdraw = true;
        out.draw = {1.0f, static_cast<float>(1 - 0.2 / (100 * (e + 0.000001))),
                    static_cast<float>(1 - 0.5 / (100 * (e + 0.000001)))};
        break;
    }
    default: // 9 keeps whatever colour was current
        break;
    }
    return out;
}

} // namespace starlume
