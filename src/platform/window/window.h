// The window target: a GLUT window that shows each frame by swapping buffers.
#pragma once

#include "core/world/world.h"

namespace starlume {

// The 700 x 700 double-buffered, multisampled window at (100, 100).
void createwindow();

// The window's size in pixels as the toolkit last saw it, without asking the
// X server: with no reshape callback the toolkit keeps the viewport on the
// whole window.
void windowsize(int& width, int& height);

// Fullscreen on or off, and off. The stars fill whatever size the window
// gets, as after any resize.
void togglefullscreen();
void leavefullscreen();

// Shows the frame just drawn and sets the earliest time of the next one.
void present(World& w);

} // namespace starlume
