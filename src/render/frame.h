// Draws one frame of stars with OpenGL.
#pragma once

#include "render/palette.h"
#include "world/world.h"

namespace starlume {

// The 700 x 700 double-buffered, multisampled window at (100, 100).
void createwindow();

// The window's size in pixels as the toolkit last saw it, without asking the
// X server.
void windowsize(int& width, int& height);

// Blending, multisampling, black clear colour, identity projection: set once.
void setglstate();

// Clears, draws every star in its scheme colour and swaps the buffers.
void drawframe(World& w, Palette& p);

// One star's glyph around (cx, cy) with radius r, shaped for order.
void circle(double cx, double cy, double r, int order);

} // namespace starlume
