// The offscreen target of a video: an OpenGL context on Mesa's surfaceless
// EGL platform (no X server, no window), and a 4x multisampled framebuffer
// the size of the stars' square that the drawing code draws into, resolved
// into its place in a single-sampled one the size of the video and read
// back after each frame. Outside the square there is only the clear colour,
// which costs nothing to multisample, clear four times over or resolve: the
// single-sampled frame is cleared there instead, to the same values.
// Drawing that brings its own antialiasing (stars as sprites of outlines
// multisampled once) goes straight into the square of the single-sampled
// frame, and then there is nothing to resolve.
#pragma once

#include <cstdint>
#include <string>

#include <EGL/egl.h>

#include "core/app/cli.h"

namespace starlume {

class Offscreen {
  public:
    Offscreen() = default;
    ~Offscreen();
    Offscreen(const Offscreen&) = delete;
    Offscreen& operator=(const Offscreen&) = delete;

    // Makes the context current with the multisampled framebuffer bound for
    // drawing and the viewport on the stars' square of a width x height
    // frame. On failure returns false with what EGL or GL said in error.
    bool open(int width, int height, const Square& square, std::string& error);

    // Which framebuffer the next frame is drawn into: the multisampled one,
    // or the square of the single-sampled one itself, viewport and scissor
    // on it (so that a clear there reaches the square alone).
    void drawinto(bool multisampled);
    // The stars' square in the frame.
    const Square& stars() const { return square; }

    // Clears the whole frame to the clear colour, before a frame is drawn
    // (the drawing's own clear only reaches the square).
    void clear();

    // Resolves the frame just drawn and reads it back: width x height RGBA
    // pixels, bottom row first.
    void readback(std::uint8_t* rgba) {
        resolve();
        read(rgba);
    }

    // The two halves of readback, for timing them apart: the multisampled
    // frame averaged into the single-sampled one (when it was drawn
    // there), then that one read.
    void resolve();
    void read(std::uint8_t* rgba);

  private:
    void bind(); // the framebuffer drawn into, with its viewport and scissor

    EGLDisplay display = EGL_NO_DISPLAY;
    EGLContext context = EGL_NO_CONTEXT;
    unsigned framebuffers[2] = {}; // multisampled, resolved
    unsigned renderbuffers[2] = {};
    int width = 0, height = 0;
    Square square;
    float cleared[4] = {-1, -1, -1, -1}; // the colour outside the square
    bool multisampled = true;            // where the stars are drawn
};

} // namespace starlume
