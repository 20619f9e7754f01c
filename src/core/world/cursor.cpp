#include "core/world/world.h"

#include <cmath>

#include "core/world/lanes.h"
#include "core/world/random.h"

namespace starlume {

namespace {

// Sector 0..15 of the direction from a star to the cursor, 22.5 degrees
// each, counted from -x counter-clockwise.
int sectorof(double theta) {
    const int s = static_cast<int>((theta * 180 / 3.14159 + 180) / 22.5);
    // Between 3.14159 and pi the quotient reaches 16: that direction is sector 0.
    return s >= 16 ? 0 : s;
}

constexpr double strength = 0.3;   // of the pull, outside the dead zone
constexpr double deadzone = 0.001; // no pull on stars closer than this

// Steps a to d of the field (distance, unit vector toward the cursor, pull)
// for one star (T = double) or two or four side by side (T = Pair, Quad).
// Both arms of each select are computed so that the vector forms have no
// branch.
template <typename T, bool law, bool toward>
[[gnu::always_inline]] inline void pullstars(World& w, int k) {
    T x, y, vx, vy;
    load(x, &w.x[k]);
    load(y, &w.y[k]);
    load(vx, &w.vx[k]);
    load(vy, &w.vy[k]);
    const T dx = w.mouseux - x;
    const T dy = w.mouseuy - y;
    T m = dx * dx + dy * dy;
    root(m);
    // A star right on the cursor has no direction to be pulled in.
    const T ux = m > 0 ? dx / m : T{};
    const T uy = m > 0 ? dy / m : T{};
    const T dsquared = law ? 10 * m * m : T{} + 1;
    const T ax = strength * ux / (1000 * dsquared);
    const T ay = strength * uy / (1000 * dsquared);
    store(&w.umag[k], m);
    store(&w.vx1[k], ux);
    store(&w.vy1[k], uy);
    // No pull inside the dead zone.
    const T nvx = m < deadzone ? vx : toward ? vx + ax : vx - ax;
    const T nvy = m < deadzone ? vy : toward ? vy + ay : vy - ay;
    store(&w.vx[k], nvx);
    store(&w.vy[k], nvy);
}

template <typename T, bool law, bool toward>
[[gnu::always_inline]] inline void sweep(World& w, int n) {
    constexpr int width = sizeof(T) / sizeof(double);
    int k = 0;
    for (; k + width <= n; k += width) pullstars<T, law, toward>(w, k);
    for (; k < n; k++) pullstars<double, law, toward>(w, k);
}

template <typename T>
[[gnu::always_inline]] inline void sweep(World& w, int n, bool law, bool toward) {
    if (law && toward) sweep<T, true, true>(w, n);
    if (law && !toward) sweep<T, true, false>(w, n);
    if (!law && toward) sweep<T, false, true>(w, n);
    if (!law && !toward) sweep<T, false, false>(w, n);
}

STARLUME_AVX2 void pullquads(World& w, int n, bool law, bool toward) {
    sweep<Quad>(w, n, law, toward);
}
void pullpairs(World& w, int n, bool law, bool toward) { sweep<Pair>(w, n, law, toward); }

void pull(World& w, int n, bool law, bool toward) {
    static const bool quads = hasavx2();
    if (quads) {
        pullquads(w, n, law, toward);
    } else {
        pullpairs(w, n, law, toward);
    }
}

// Step e: stars within 0.05 of the cursor are pushed along their own
// velocity by the band of their direction. Runs after the pull of every star;
// each star only reads its own values, so the result is the same as doing
// both steps star by star, and the random numbers are drawn in index order.
void radialbars(World& w, int n, const float kicks[16]) {
    for (int k = 0; k < n; k++) {
        if (!(w.umag[k] < 0.05)) continue;
        w.gravity = -1;
        const float g = w.bar == -1 ? 1.0f : static_cast<float>(2.0 * (rnd() % 10) / 10);
        const int s = sectorof(std::atan2(w.mouseuy - w.y[k], w.mouseux - w.x[k]));
        if (w.reverse == 1) {
            w.vx[k] = w.vx[k] + g * 0.04 * kicks[s] * w.vx[k];
            w.vy[k] = w.vy[k] + g * 0.04 * kicks[s] * w.vy[k];
        }
    }
}

void field(World& w, const float kicks[16]) {
    w.dsquared = 1;
    const int hw = w.screensizex / 2;
    const int hh = w.screensizey / 2;
    // A window under 2 pixels has no cursor mapping; no force this pass.
    if (hw == 0 || hh == 0) return;
    w.mouseux = (w.mx1 - hw) / hw;
    w.mouseuy = -(w.my1 - hh) / hh;

    const int n = w.count();
    const bool law = w.distance == 1;
    const bool toward = w.reverse == 1;
    pull(w, n, law, toward);
    // The last star's divisor and strength stay behind, as star by star.
    if (n > 0) {
        const double m = w.umag[n - 1];
        w.dsquared = law ? 10 * m * m : 1;
        w.power = m < deadzone ? 0 : strength;
    }
    if (!law && w.mousekick == 1) radialbars(w, n, kicks);
}

} // namespace

void cursorphase(World& w, const float kicks[16]) {
    const bool active = fieldcomes(w);
    w.counter = static_cast<int>(static_cast<unsigned>(w.counter) + 1u); // wraps, keeps parity
    if (active) {
        field(w, kicks);
    } else if (w.mousedown == 0 && w.mousekick == 1) {
        w.gravity = 1;
    }
}

void mouse(World& w, int button, int state, int px, int py) {
    w.mx1 = px;
    w.my1 = py;
    if (button == 0 && state == 0) w.mousedown = 1;
    if (state == 1) w.mousedown = 0; // any release, whichever button
}

void mousecor(World& w, int px, int py) {
    w.mx1 = px;
    w.my1 = py;
}

} // namespace starlume
