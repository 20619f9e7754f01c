// A video frame laid from its layers in memory: the stars as GL reads them
// back (RGBA rows bottom first, straight alpha, transparent where nothing
// is drawn over a cover), a picture under them and text over them (RGBA
// rows top first, straight alpha), into opaque RGBA rows top first, ready
// for an encoder. The page's video lays its frames so, without a canvas:
// a software-drawn browser pays more for a canvas than for the stars.
#pragma once

#include <cstdint>
#include <span>

namespace starlume {

struct Layers {
    int width = 0, height = 0;
    // width * height * 4 bytes each, or empty for none.
    std::span<const std::uint8_t> under, over;
    // The rows of over that hold any text (the rest is transparent).
    int overfrom = 0, overto = 0;
};

// The rows of rgba (top first) from the first to past the last that holds
// a pixel with any alpha; {0, 0} when none does.
struct Rows {
    int from = 0, to = 0;
};
Rows opaquerows(std::span<const std::uint8_t> rgba, int width, int height);

// out = over on (stars on under); stars' alpha counts only over a picture.
void lay(const Layers& layers, const std::uint8_t* stars, std::uint8_t* out);

// RGBA rows top first (even width and height) as I420, BT.709 in the
// limited range, as the native video's frames are encoded: a width x height
// luma plane, then the two chroma planes at half the size each way, each
// chroma sample the mean of its four pixels. out holds width * height * 3 / 2.
void toi420(const std::uint8_t* rgba, int width, int height, std::uint8_t* out);

} // namespace starlume
