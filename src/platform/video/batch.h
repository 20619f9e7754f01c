// A video's frames drawn in one batch, where the window draws glyph by
// glyph. Every glyph of a frame is the same outline, only moved and
// coloured, and llvmpipe's time went in setting up its multisampled lines
// and resolving the samples. So the outline is drawn once, multisampled, at
// a grid of sub-pixel offsets, and which of its four samples each pixel
// covers kept in a texture, a sample a channel. A frame is then one point
// sprite a star, in its colour, into the single-sampled frame: a star alone
// blended by its coverage, which is what its samples would average to;
// stars that overlap drawn sample by sample, each sample the last star's
// that covers it as with lines, into four frames of samples that are then
// averaged into their places. llvmpipe pays for every primitive and every
// fragment, and a point is one primitive of the sprite's pixels alone. A
// star lands within a 32nd of a pixel of where its lines would. Points stay
// points, multisampled.
#pragma once

#include <vector>

#include "core/app/show.h"
#include "core/render/crowding.h"
#include "core/render/frame.h"
#include "platform/video/offscreen.h"

namespace starlume {

class Batch {
  public:
    Batch() = default;
    ~Batch(); // with the context still current
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

    // Picks the target's framebuffer for the frame, clears, draws every
    // glyph in its colour, then sets the clear colour the frame leaves for
    // the next one, as drawframe does.
    void draw(const Frame& f, Offscreen& target);

  private:
    // The sprites' texture for outlines of the given corners and radii in
    // pixels: false if it would not fit in a texture.
    bool atlas(int corners, double rx, double ry);
    // The frames of samples for a width x height square: false if there can
    // be none.
    bool sampleframes(int width, int height);
    // The sprites' shaders, made once: false if the driver has none.
    bool shaders();
    // The stars into a width x height square whose lower left pixel lies
    // at (x, y) in the frame.
    void sprites(const Frame& f, int width, int height, int x, int y);
    void lines(const Frame& f);

    std::vector<float> colours;           // each vertex's, rgb
    std::vector<unsigned> edges;          // the outlines as separate lines
    int edgecorners = -1, edgeglyphs = 0; // what edges were built for

    std::vector<Spriteplace> places; // star by star
    Crowdscratch crowdscratch;
    // A star's sprite as its point's attributes: its lower left pixel in
    // the square, its outline's lower left texel in the atlas, its colour.
    std::vector<float> lone, crowd;
    std::vector<unsigned char> tiles; // those crowded sprites reach, row by row
    std::vector<float> areas;         // the quads over them

    struct Atlas {
        int corners = -1;
        double rx = 0, ry = 0;                          // the outline's radii in pixels
        int phases = 0;                                 // sub-pixel offsets a side
        int cellw = 0, cellh = 0, halfw = 0, halfh = 0; // a cell in pixels, and its centre
        int width = 0, height = 0;                      // in pixels and texels
        // What any offset covers of a cell, the sprite's quad: a glyph's
        // pixels all lie in it.
        int left = 1 << 30, right = 0, bottom = 1 << 30, top = 0;
        bool fits = false;
    } made;
    unsigned atlastexture = 0;
    int samplewidth = 0, sampleheight = 0; // the square the samples are for
    bool samplesfit = false;
    unsigned sampletextures[4] = {}, sampleframebuffer = 0;
    int largestpoint = 0;
    // Per sample into the sample frames, lone into the frame, the sample
    // frames cleared and averaged into the frame; 0 until made, ~0u if they
    // cannot be.
    struct Program {
        unsigned id = 0;
        int offset = -1, toclip = -1, side = -1, box = -1, colour = -1;
    } bysample, blended, cleared, averaged;
};

// Builds the show's next frame and draws it in one batch.
void drawbatched(Show& s, Batch& b, Offscreen& target);

} // namespace starlume
