// One input model for every stage: what a performer does (a key, the star
// count answered, the left button and the mouse dragged with it, the song
// keys, fullscreen) as plain events on the music's timeline. The window's
// callbacks, the page, a take and a video's replay all feed the show
// through them.
#pragma once

#include <vector>

#include "core/app/cli.h"
#include "core/input/commands.h"
#include "core/world/world.h"

namespace starlume {

struct Show;

enum class Eventkind {
    key,     // a key of the command table
    stars,   // the star count that 'n' set
    press,   // the left button went down
    move,    // the mouse moved with a button held
    release, // a button went up
    next,
    previous,
    fullscreen,
    leavefullscreen,
};

struct Event {
    double ms = 0; // music heard in the song, ms
    int song = 0;  // the song's section of a take, from 0
    Eventkind kind = Eventkind::key;
    unsigned char key = 0; // for key
    int stars = 0;         // for stars, 1..100
    // For the mouse: fractions of the stars' square, from the left and from
    // the top; below 0 or above 1 beyond its edges.
    double x = 0, y = 0;
};

// Where a fraction of the stars' square lies in the world's pixels (mx1,
// my1 against screensizex, screensizey), and back. The square fills the
// picture.
void picturepixels(const World& w, double fx, double fy, int& px, int& py);
void picturefractions(const World& w, int px, int py, double& fx, double& fy);

// A mouse button as the toolkit reports it (button 0 is the left one, state
// 0 down and 1 up, at pixel px, py): a press of the left button, a release
// of any, and a press of another button, which only moves the cursor.
Event buttonevent(const World& w, int button, int state, int px, int py);
Event motionevent(const World& w, int px, int py);

// Applies one event to the show: a key through the command table, the mouse
// through the cursor's callbacks at the show's pixels. What only a stage can
// do comes back as the outcome.
Outcome apply(Show& s, const Event& e, const Io& io);

// --at as events: its keys at its time, in order.
std::vector<Event> timedevents(const std::vector<Timedkeys>& at);

// Two lists of events in time order merged into one, a's first at equal
// times.
std::vector<Event> mergeevents(const std::vector<Event>& a, const std::vector<Event>& b);

} // namespace starlume
