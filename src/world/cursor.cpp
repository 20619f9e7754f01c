#include "world/world.h"

#include <cmath>

#include "world/random.h"

namespace starlume {

namespace {

// Sector 0..15 of the direction from a star to the cursor, 22.5 degrees
// each, counted from -x counter-clockwise.
int sectorof(double theta) {
    const int s = static_cast<int>((theta * 180 / 3.14159 + 180) / 22.5);
    // Between 3.14159 and pi the quotient reaches 16: that direction is sector 0.
    return s >= 16 ? 0 : s;
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
    for (int k = 0; k < n; k++) {
        const double dx = w.mouseux - w.x[k];
        const double dy = w.mouseuy - w.y[k];
        w.umag[k] = std::sqrt(dx * dx + dy * dy);
        if (w.umag[k] > 0) {
            w.vx1[k] = dx / w.umag[k];
            w.vy1[k] = dy / w.umag[k];
        } else {
            // A star right on the cursor has no direction to be pulled in.
            w.vx1[k] = 0;
            w.vy1[k] = 0;
        }
        w.dsquared = w.distance == 1 ? 10 * w.umag[k] * w.umag[k] : 1;
        w.power = w.umag[k] < 0.001 ? 0 : 0.3;
        if (w.power != 0) {
            const double ax = w.power * w.vx1[k] / (1000 * w.dsquared);
            const double ay = w.power * w.vy1[k] / (1000 * w.dsquared);
            if (w.reverse == 1) {
                w.vx[k] += ax;
                w.vy[k] += ay;
            } else {
                w.vx[k] -= ax;
                w.vy[k] -= ay;
            }
        }
        if (w.umag[k] < 0.05 && w.distance == -1 && w.mousekick == 1) {
            w.gravity = -1;
            const float g = w.bar == -1 ? 1.0f : static_cast<float>(2.0 * (rnd() % 10) / 10);
            const int s = sectorof(std::atan2(w.mouseuy - w.y[k], w.mouseux - w.x[k]));
            if (w.reverse == 1) {
                w.vx[k] = w.vx[k] + g * 0.04 * kicks[s] * w.vx[k];
                w.vy[k] = w.vy[k] + g * 0.04 * kicks[s] * w.vy[k];
            }
        }
    }
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
