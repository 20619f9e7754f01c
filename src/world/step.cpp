#include "world/world.h"

namespace starlume {

namespace {

void applygravity(World& w, int n) {
    for (int k = 0; k < n; k++) w.vy[k] -= 0.0001;
}

// Turns every velocity a quarter turn counter-clockwise.
void applyblackhole(World& w, int n) {
    for (int k = 0; k < n; k++) {
        w.temp = w.vx[k];
        w.vx[k] = -w.vy[k];
        w.vy[k] = w.temp;
    }
}

void applydamping(World& w, int n) {
    for (int k = 0; k < n; k++) {
        w.vx[k] = w.vx[k] / w.viscousity;
        w.vy[k] = w.vy[k] / w.viscousity;
    }
}

void wrapandmove(World& w, int n) {
    for (int k = 0; k < n; k++) {
        if (w.y[k] < -1 && w.vy[k] < 0) w.y[k] = 1;
        if (w.x[k] < -1 && w.vx[k] < 0) w.x[k] = 1;
        if (w.x[k] > 1 && w.vx[k] > 0) w.x[k] = -1;
        if (w.y[k] > 1 && w.vy[k] > 0) w.y[k] = -1;
        w.x[k] += w.vx[k] * w.dt;
        w.y[k] += w.vy[k] * w.dt;
    }
}

// The floor stops a falling star dead; the other walls reflect.
void bounceandmove(World& w, int n) {
    for (int k = 0; k < n; k++) {
        if (w.y[k] < -1 && w.vy[k] < 0) {
            w.vy[k] = 0;
            w.y[k] = -1;
        }
        if (w.x[k] < -1 && w.vx[k] < 0) w.vx[k] = -w.vx[k];
        if (w.x[k] > 1 && w.vx[k] > 0) w.vx[k] = -w.vx[k];
        if (w.y[k] > 1 && w.vy[k] > 0) w.vy[k] = -w.vy[k];
        w.x[k] += w.vx[k] * w.dt;
        w.y[k] += w.vy[k] * w.dt;
    }
}

} // namespace

void simulate(World& w, const float kicks[16]) {
    const int n = w.count();
    if (w.gravity == 1) applygravity(w, n);
    cursorphase(w, kicks);
    if (w.blackhole == 1) applyblackhole(w, n);
    if (w.viscous == 1) applydamping(w, n);
    w.steps = static_cast<int>(static_cast<unsigned>(w.steps) + 1u); // wraps on very long runs
    if (w.looper == 1) {
        wrapandmove(w, n);
    } else {
        bounceandmove(w, n);
    }
}

} // namespace starlume
