// The offscreen target of a video: an OpenGL context on Mesa's surfaceless
// EGL platform (no X server, no window), and a 4x multisampled framebuffer
// the size of the video that the shared drawing code draws into, resolved
// into a single-sampled one and read back after each frame.
#pragma once

#include <cstdint>
#include <string>

#include <EGL/egl.h>

namespace starlume {

class Offscreen {
  public:
    Offscreen() = default;
    ~Offscreen();
    Offscreen(const Offscreen&) = delete;
    Offscreen& operator=(const Offscreen&) = delete;

    // Makes the context current with the framebuffer bound for drawing and
    // the viewport on all of it. On failure returns false with what EGL or
    // GL said in error.
    bool open(int width, int height, std::string& error);

    // Resolves the frame just drawn and reads it back: width x height RGBA
    // pixels, bottom row first.
    void readback(std::uint8_t* rgba) {
        resolve();
        read(rgba);
    }

    // The two halves of readback, for timing them apart: the multisampled
    // frame averaged into the single-sampled one, then that one read.
    void resolve();
    void read(std::uint8_t* rgba);

  private:
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLContext context = EGL_NO_CONTEXT;
    unsigned framebuffers[2] = {}; // multisampled, resolved
    unsigned renderbuffers[2] = {};
    int width = 0, height = 0;
};

} // namespace starlume
