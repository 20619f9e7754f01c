#include "core/world/world.h"

#include "core/world/lanes.h"

namespace starlume {

namespace {

// The per-star loops work on locals and store every lane unconditionally so
// that the compiler can turn the tests into selects and vectorise them.
// Four of them are built twice (see lanes.h).

STARLUME_CLONES void applygravity(World& w, int n) {
    for (int k = 0; k < n; k++) w.vy[k] -= 0.0001;
}

// Turns every velocity a quarter turn counter-clockwise.
void applyblackhole(World& w, int n) {
    for (int k = 0; k < n; k++) {
        const double temp = w.vx[k];
        w.vx[k] = -w.vy[k];
        w.vy[k] = temp;
    }
    if (n > 0) w.temp = w.vy[n - 1];
}

STARLUME_CLONES void applydamping(World& w, int n) {
    const double d = w.viscousity;
    for (int k = 0; k < n; k++) {
        w.vx[k] = w.vx[k] / d;
        w.vy[k] = w.vy[k] / d;
    }
}

// Gravity, damping, the walls and the move in one sweep, for a pass in which
// nothing else touches the velocities between them: each star gets the same
// operations in the same order as from the sweeps one after the other. The
// floor stops a falling star dead; the other walls reflect, or wrap.
template <bool gravity, bool damping, bool wrap>
[[gnu::always_inline]] inline void fusedsweep(World& w, int n) {
    const double d = w.viscousity;
    const double dt = w.dt;
    for (int k = 0; k < n; k++) {
        double x = w.x[k], y = w.y[k], vx = w.vx[k], vy = w.vy[k];
        if (gravity) vy -= 0.0001;
        if (damping) {
            vx = vx / d;
            vy = vy / d;
        }
        if (wrap) {
            if (y < -1 && vy < 0) y = 1;
            if (x < -1 && vx < 0) x = 1;
            if (x > 1 && vx > 0) x = -1;
            if (y > 1 && vy > 0) y = -1;
        } else {
            if (y < -1 && vy < 0) {
                vy = 0;
                y = -1;
            }
            if (x < -1 && vx < 0) vx = -vx;
            if (x > 1 && vx > 0) vx = -vx;
            if (y > 1 && vy > 0) vy = -vy;
        }
        w.vx[k] = vx;
        w.vy[k] = vy;
        w.x[k] = x + vx * dt;
        w.y[k] = y + vy * dt;
    }
}

template <bool gravity>
[[gnu::always_inline]] inline void fusedsweep(World& w, int n, bool damping, bool wrap) {
    if (damping && wrap) fusedsweep<gravity, true, true>(w, n);
    if (damping && !wrap) fusedsweep<gravity, true, false>(w, n);
    if (!damping && wrap) fusedsweep<gravity, false, true>(w, n);
    if (!damping && !wrap) fusedsweep<gravity, false, false>(w, n);
}

STARLUME_CLONES void fusedsweep(World& w, int n, bool gravity, bool damping, bool wrap) {
    if (gravity) {
        fusedsweep<true>(w, n, damping, wrap);
    } else {
        fusedsweep<false>(w, n, damping, wrap);
    }
}

} // namespace

void simulate(World& w, const float kicks[16]) {
    const int n = w.count();
    if (w.blackhole != 1) {
        // Without the field the cursor phase only counts and may switch
        // gravity back on, which is read for the next pass; the field needs
        // gravity applied before it.
        const bool gravity = w.gravity == 1;
        const bool field = fieldcomes(w);
        if (field && gravity) applygravity(w, n);
        cursorphase(w, kicks);
        w.steps = static_cast<int>(static_cast<unsigned>(w.steps) + 1u);
        fusedsweep(w, n, gravity && !field, w.viscous == 1, w.looper == 1);
        return;
    }
    if (w.gravity == 1) applygravity(w, n);
    cursorphase(w, kicks);
    if (w.blackhole == 1) applyblackhole(w, n);
    if (w.viscous == 1) applydamping(w, n);
    w.steps = static_cast<int>(static_cast<unsigned>(w.steps) + 1u); // wraps on very long runs
    fusedsweep(w, n, false, false, w.looper == 1);
}

} // namespace starlume
