// The page's target: WebGL draws a whole frame in one batch (the browser's
// GL pays per call, so glyph by glyph would be ten times slower).
#pragma once

#include <cstdint>
#include <vector>

#include "core/render/frame.h"

namespace starlume {

class Webgl {
  public:
    // A WebGL context on the canvas, multisampled as the window is (unless
    // not), with the one program and buffer every frame uses. False when the
    // browser gives none. A see-through one (a video's, over its cover) has
    // straight alpha, as the native video's frames.
    bool open(const char* canvas, bool multisample, bool seethrough = false);

    // The drawing buffer's size in pixels, and how big a pixel of the page is.
    void resize(int width, int height, double pixelratio);

    // Where the stars' square lies in the drawing buffer, from the bottom left.
    void place(int x, int y, int width, int height);

    // The clear colour's alpha: 0 leaves the background transparent.
    void clearalpha(float alpha) { alpha_ = alpha; }

    // Clears with the clear colour the last frame left, draws every glyph of
    // f (outlines as line segments, or points), and keeps the clear colour f
    // sets for the next frame. Each target has a context of its own.
    void draw(const Frame& f);

    // The drawing buffer as RGBA rows, bottom row first (GL's order), into
    // rgba (width * height * 4 bytes, as resize gave).
    void read(std::uint8_t* rgba);

  private:
    struct Vertex {
        float x, y;
        std::uint8_t r, g, b, a;
    };
    int context = 0; // the browser's handle
    int width = 0, height = 0;
    float alpha_ = 1;
    float clear[3] = {0, 0, 0}; // until a scheme sets another
    unsigned program = 0, buffer = 0;
    int pointuniform = -1;
    std::vector<Vertex> vertices;
};

} // namespace starlume
