// Drawing one frame of stars with OpenGL. The same code draws into the window
// and into a video's offscreen framebuffer; presenting the frame is up to
// the target.
#pragma once

#include "render/palette.h"
#include "world/world.h"

namespace starlume {

// Mesa's software renderer allocates and frees several megabytes a frame;
// by default the C library hands them back to the kernel at once, and every
// frame then pays for thousands of fresh page faults. Keep them.
void keepfreedmemory();

// Blending, multisampling, black clear colour, identity projection: set once.
void setglstate();

// Clears, then draws every star in its scheme colour; counts the frame.
void drawstars(World& w, Palette& p);

// One star's glyph around (cx, cy) with radius r, shaped for order.
void circle(double cx, double cy, double r, int order);

} // namespace starlume
