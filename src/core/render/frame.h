// A frame as data: what every stage draws, built once here so that the
// colour stepping and the glyph geometry are written once. The window and a
// video draw it glyph by glyph; the page draws it in one batch.
#pragma once

#include <vector>

#include "core/render/palette.h"
#include "core/world/world.h"

namespace starlume {

struct Frame {
    int corners = 0;          // vertices of each glyph's outline; 0: a point
    std::vector<float> xy;    // the glyphs' vertices, x then y, glyph by glyph
    double radius = 0;        // of every glyph's outline, around its star
    std::vector<Rgb> colours; // each glyph's drawing colour
    // The drawing colour after the last glyph. A scheme that sets no colour
    // for a star leaves this one in force, across frames too.
    Rgb current{1, 1, 1};
    // The clear colour this frame sets for the next one, if it sets one.
    bool clearset = false;
    Rgb clear{};

    int count() const { return static_cast<int>(colours.size()); } // one per star, in order
    int vertices() const { return corners > 0 ? corners : 1; }
};

// Builds the next frame of the stars in their scheme colours, stepping the
// schemes as drawing does; counts the frame.
void buildframe(Frame& f, World& w, Palette& p);

} // namespace starlume
