#include "core/render/palette.h"

#include <algorithm>
#include <array>
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

[[gnu::always_inline]] inline void stepchannel(float& v, float d, int& t) {
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

float matrixgreen(double energy) {
    const double e = std::pow(energy, 0.6666666666666666);
    return static_cast<float>(0.5 / (100 * (e + 0.00001)));
}

Rgb firecolour(double energy) {
    const double e = std::pow(energy, 0.6666666666666666);
    return {1.0f, static_cast<float>(1 - 0.2 / (100 * (e + 0.000001))),
            static_cast<float>(1 - 0.5 / (100 * (e + 0.000001)))};
}

// The glitter colour from its four draws, in the order drawn.
Rgb glitterpick(double energy, float r1, float r2, float r3, float r4) {
    if (energy < 0.0000001) return {r1, r3, r4};
    if (energy < 0.001) return {r2, r3, r4};
    if (energy < 0.002) return {r3, r4, r1};
    if (energy < 0.04) return {r4, r1, r1};
    return {r1, r2, r3};
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
    case 3:
        out.setdraw = true;
        out.draw = {0.2f, matrixgreen(energy), 0.5f};
        break;
    case 4: {
        const float r1 = glitter(), r2 = glitter(), r3 = glitter(), r4 = glitter();
        out.setdraw = true;
        out.draw = glitterpick(energy, r1, r2, r3, r4);
        break;
    }
    case 5:
    case 6:
    case 8: out = stripscheme(p, color, x); break;
    case 7:
        out.setdraw = true;
        out.draw = firecolour(energy);
        break;
    default: // 9 keeps whatever colour was current
        break;
    }
    return out;
}

void colourstars(Palette& p, int color, int n, const double* x, const double* vx, const double* vy,
                 Starcolours& out) {
    if (n <= 0) return;
    Rgb* c = out.colours;
    auto energy = [&](int k) { return vx[k] * vx[k] + vy[k] * vy[k]; };
    switch (color) {
    case 0:
    case 1: {
        const Starcolour one = colourstep(p, color, 0, 0);
        std::fill_n(c, n, one.draw);
        out.current = one.draw;
        out.clearset = true;
        out.clear = one.clear;
        return;
    }
    case 2: {
        // The channels step star by star; only the last star's clear colour
        // is left for the next frame.
        float aa = p.aa, ba = p.ba, ca = p.ca;
        int ta = p.transitiona, tb = p.transitionb, tc = p.transitionc;
        for (int k = 0; k < n - 1; k++) {
            c[k] = {aa, ba, ca};
            stepchannel(aa, p.aaa, ta);
            stepchannel(ba, p.bbb, tb);
            stepchannel(ca, p.ccc, tc);
        }
        p.aa = aa, p.ba = ba, p.ca = ca;
        p.transitiona = ta, p.transitionb = tb, p.transitionc = tc;
        const Starcolour last = colourstep(p, 2, 0, 0);
        c[n - 1] = last.draw;
        out.current = last.draw;
        out.clearset = true;
        out.clear = last.clear;
        return;
    }
    case 3:
        for (int k = 0; k < n; k++) c[k] = {0.2f, matrixgreen(energy(k)), 0.5f};
        break;
    case 4: {
        constexpr auto shades = [] {
            std::array<float, 11> v{};
            for (int d = 0; d < 11; d++) v[d] = static_cast<float>(d / 10.0);
            return v;
        }();
        constexpr int piece = 256;
        int draws[4 * piece];
        for (int from = 0; from < n; from += piece) {
            const int m = std::min(n - from, piece);
            rnds(draws, 4 * m);
            for (int i = 0; i < m; i++) {
                const int* d = draws + 4 * i;
                c[from + i] = glitterpick(energy(from + i), shades[d[0] % 11], shades[d[1] % 11],
                                          shades[d[2] % 11], shades[d[3] % 11]);
            }
        }
        break;
    }
    case 5:
    case 6:
    case 8: {
        Rgb strips[16];
        for (int s = 0; s < 16; s++) strips[s] = stripcolour(color, s);
        Rgb current = out.current;
        for (int k = 0; k < n; k++) {
            const int s = stripof(x[k]);
            if (s >= 0) current = strips[s];
            c[k] = current;
        }
        stripscheme(p, color, 0); // the transition colour, as every star leaves it
        out.current = current;
        return;
    }
    case 7:
        for (int k = 0; k < n; k++) c[k] = firecolour(energy(k));
        break;
    default: std::fill_n(c, n, out.current); return;
    }
    out.current = c[n - 1];
}

} // namespace starlume
