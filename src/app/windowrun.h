// The window run: the process-wide world behind the GLUT callbacks, fed by a
// source of sound. The file run and the listening run set it up and hand over.
#pragma once

#include "app/cli.h"
#include "audio/analysis.h"
#include "audio/source.h"
#include "render/palette.h"
#include "world/world.h"

namespace starlume::app {

extern World world;
extern Analysis analysis;
extern Palette palette;

// What the window runs on.
struct Feed {
    Source* source;  // where the blocks come from
    void (*poll)();  // at the start of every pass, before the clock; may be null
    void (*pause)(); // what P does to the sound
    void (*resume)();
};

// How long after a pass a change it makes shows on the screen, ms: waiting
// for the redraw gate, then drawing and showing the frame.
double picturems();

// Opens the window, presses --keys and runs the event loop; never returns.
[[noreturn]] void runwindow(Args& args, Feed feed);

} // namespace starlume::app
