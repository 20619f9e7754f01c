// The particle world: every star and every switch that changes how they move.
#pragma once

namespace starlume {

constexpr int maxstars = 10000; // a 100 by 100 grid
constexpr int maxorder = 100;

struct World {
    // Per-star state, world units; only indices below order*order are live.
    double x[maxstars] = {};
    double y[maxstars] = {};
    double vx[maxstars] = {};
    double vy[maxstars] = {};

    int order = 75;
    double size = 0.2 / 75;
    double betweendistance = (0.2 / 75) * 10;

    double dt = 0.05;
    double viscousity = 1.0025;

    // Switches are 1 (on) or -1 (off) and flip by negation.
    int gravity = 1;
    int looper = -1;
    int viscous = 1;
    int blackhole = -1;
    int distance = 1;
    int reverse = 1;
    int mousekick = -1;
    int bar = 1;
    int paused = -1;

    int color = 2;
    int frames = 0;
    int steps = 0;
    int walltime = 0;
    int last_walltime = 0;
    int nextdraw = -1;

    // Simulation pass.
    int screensizex = 700;
    int screensizey = 700;
    double temp = 0;

    // Cursor field.
    double mx1 = 0;
    double my1 = 0;
    int mousedown = 0;
    int counter = 0;
    double mouseux = 0;
    double mouseuy = 0;
    double umag[maxstars] = {};
    double vx1[maxstars] = {};
    double vy1[maxstars] = {};
    double dsquared = 1;
    double power = 0;

    int count() const { return order * order; }
};

// Places the stars on the order x order grid, at rest.
void resetGrid(World& w);

// Changes the stars per side (1 to 100) and lays the grid out again.
void setOrder(World& w, int order);

// Spiral out from the centre, all stars at rest.
void spiral(World& w);

// Gives every star an impulse toward its own point on a circle of radius 0.7.
void circlepull(World& w);

// Pushes star k toward (tx, ty).
void move(World& w, int k, double tx, double ty);

// One simulation step after the analysis: gravity, cursor field, black hole,
// damping, walls and the move. kicks are the current band levels.
void simulate(World& w, const float kicks[16]);

// Whether the cursor phase of the coming step runs the field: the button is
// held and the pass count will be even.
inline bool fieldcomes(const World& w) {
    return w.mousedown != 0 && (static_cast<unsigned>(w.counter) + 1u) % 2 == 0;
}

// The cursor phase of a step (counts passes, runs the field on every second
// pass while the left button is held).
void cursorphase(World& w, const float kicks[16]);

// Mouse callbacks: button events and motion with a button held.
void mouse(World& w, int button, int state, int px, int py);
void mousecor(World& w, int px, int py);

// Strip s (0..15) holds the stars with -1 + s/8 < x < -1 + (s+1)/8; -1 when none.
int stripof(double x);

// Throws the stars resting exactly on the floor of strip band upward by
// level, each with its own random strength unless bar is off.
void kickup(World& w, int band, float level);

// kickup of every band in turn, band 0 first, with the levels kicks.
void kickall(World& w, const float kicks[16]);

} // namespace starlume
