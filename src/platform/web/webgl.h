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
    // browser gives none.
    bool open(const char* canvas, bool multisample);

    // The drawing buffer's size in pixels, and how big a pixel of the page is.
    void resize(int width, int height, double pixelratio);

    // Clears with the clear colour the last frame left, draws every glyph of
    // f (outlines as line segments, or points), and keeps the clear colour f
    // sets for the next frame.
    void draw(const Frame& f);

  private:
    struct Vertex {
        float x, y;
        std::uint8_t r, g, b, a;
    };
    unsigned program = 0, buffer = 0;
    int pointuniform = -1;
    std::vector<Vertex> vertices;
};

} // namespace starlume
