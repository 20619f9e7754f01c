#include "core/world/world.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "core/world/random.h"

namespace starlume {

void resetGrid(World& w) {
    for (int i = 0; i < w.order; i++) {
        for (int j = 0; j < w.order; j++) {
            const int k = w.order * i + j;
            w.x[k] = w.betweendistance * i - 0.9999 + w.betweendistance / 2;
            w.y[k] = w.betweendistance * j - 0.9999 + w.betweendistance / 2;
            w.vx[k] = 0;
            w.vy[k] = 0;
        }
    }
}

void setOrder(World& w, int order) {
    w.order = order;
    w.size = 0.2 / order;
    w.betweendistance = w.size * 10;
    resetGrid(w);
}

void spiral(World& w) {
    double rho = 0;
    double a = 0;
    for (int i = 0; i < w.order; i++) {
        for (int j = 0; j < w.order; j++) {
            const int k = w.order * i + j;
            w.x[k] = rho * std::sin(a);
            w.y[k] = rho * std::cos(a);
            w.vx[k] = 0;
            w.vy[k] = 0;
            a += 10 * w.size;
            rho += w.betweendistance / 200;
        }
    }
}

void move(World& w, int k, double tx, double ty) {
    w.vx[k] += (tx - w.x[k]) / 100;
    w.vy[k] += (ty - w.y[k]) / 100;
}

void circlepull(World& w) {
    double a = 0;
    for (int i = 0; i < w.order; i++) {
        for (int j = 0; j < w.order; j++) {
            move(w, w.order * i + j, 0.7 * std::sin(a), 0.7 * std::cos(a));
            a += w.order; // the count per side doubles as the angle step
        }
    }
}

int stripof(double x) {
    // Scaling by 8 is exact, so this matches x + 1 > s/8 && x + 1 < (s+1)/8.
    const double t = (x + 1) * 8;
    if (!(t > 0 && t < 16)) return -1;
    const double s = std::floor(t);
    return t > s ? static_cast<int>(s) : -1;
}

namespace {

// (r % 10) / 10.0 in single precision, for every r % 10.
constexpr auto strengths = [] {
    std::array<float, 10> c{};
    for (int d = 0; d < 10; d++) c[d] = static_cast<float>(d / 10.0);
    return c;
}();

} // namespace

void kickall(World& w, const float kicks[16]) {
    const int n = w.count();
    // Kicks change velocities only, so which stars rest on the floor and in
    // which strip stays the same through the 16 bands: found once, and the
    // resting stars listed strip by strip, in index order.
    signed char strip[maxstars];
    int first[16 + 1] = {};
    for (int k = 0; k < n; k++) {
        strip[k] = static_cast<signed char>(w.y[k] == -1 ? stripof(w.x[k]) : -1);
        if (strip[k] >= 0) first[strip[k] + 1]++;
    }
    for (int b = 0; b < 16; b++) first[b + 1] += first[b];
    std::int16_t resting[maxstars];
    int end[16];
    std::copy_n(first, 16, end);
    for (int k = 0; k < n; k++) {
        if (strip[k] >= 0) resting[end[strip[k]]++] = static_cast<std::int16_t>(k);
    }

    constexpr int piece = 1024;
    int draws[piece];
    for (int b = 0; b < 16; b++) {
        const double level = 0.09 * kicks[b];
        const std::int16_t* k = resting + first[b];
        const std::int16_t* const last = resting + end[b];
        if (w.bar == -1) {
            for (; k < last; k++) w.vy[*k] += level * 1.0f;
            continue;
        }
        // Every star draws its strength, in index order, kicked or not.
        for (int from = 0; from < n; from += piece) {
            const int m = std::min(n - from, piece);
            rnds(draws, m);
            for (; k < last && *k < from + m; k++) {
                w.vy[*k] += level * strengths[draws[*k - from] % 10];
            }
        }
    }
}

void kickup(World& w, int band, float level) {
    const int n = w.count();
    for (int k = 0; k < n; k++) {
        // A strength is drawn for every star, kicked or not.
        const float c = w.bar == -1 ? 1.0f : static_cast<float>((rnd() % 10) / 10.0);
        if (w.y[k] == -1 && stripof(w.x[k]) == band) w.vy[k] += 0.09 * level * c;
    }
}

} // namespace starlume
