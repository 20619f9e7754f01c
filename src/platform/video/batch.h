// A video's frames drawn in one batch: the frame's vertices and colours
// handed to OpenGL as arrays and drawn by one call, where the window draws
// glyph by glyph. The pixels are the same; a driver that costs per call
// gains, while llvmpipe's time is in the line setup behind the calls.
#pragma once

#include <vector>

#include "core/app/show.h"
#include "core/render/frame.h"

namespace starlume {

class Batch {
  public:
    // Clears, draws every glyph in its colour, then sets the clear colour
    // the frame leaves for the next one, as drawframe does.
    void draw(const Frame& f);

  private:
    std::vector<float> colours;           // each vertex's, rgb
    std::vector<unsigned> edges;          // the outlines as separate lines
    int edgecorners = -1, edgeglyphs = 0; // what edges were built for
};

// Builds the show's next frame and draws it in one batch.
void drawbatched(Show& s, Batch& b);

} // namespace starlume
