// Drawing frames with OpenGL's immediate mode, glyph by glyph. The same code
// draws into the window and into a video's offscreen framebuffer;
// presenting the frame is up to the target.
#pragma once

#include "core/app/cli.h"
#include "core/app/show.h"
#include "core/render/frame.h"

namespace starlume {

// Mesa's software renderer allocates and frees several megabytes a frame;
// by default the C library hands them back to the kernel at once, and every
// frame then pays for thousands of fresh page faults. Keep them.
void keepfreedmemory();

// Blending, multisampling, black clear colour, identity projection: set once.
void setglstate();

// Draws the stars into this part of the target; a clear still clears all
// of it, so the rest takes the background colour.
void drawon(const Square& square);

// Glyph k of the frame: a line loop through its outline, or a point.
void circle(const Frame& f, int k);

// Clears, draws every glyph in its colour, then sets the clear colour the
// frame leaves for the next one.
void drawframe(const Frame& f);

// Sets the clear colour the frame leaves for the next one, if it sets one;
// for a target that draws the frame its own way.
void keepclear(const Frame& f);

// The alpha every clear colour gets from now on: 1, or 0 for a background
// left transparent.
void setclearalpha(float alpha);

// Builds the show's next frame and draws it.
void drawstars(Show& s);

// Builds the show's next frame, which moves the colours on as drawing it
// would, and keeps the clear colour it sets; draws nothing.
void skipstars(Show& s);

} // namespace starlume
