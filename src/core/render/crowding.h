// Which of a frame's sprites, all of one size, overlap another: those must
// share out their pixels' samples, where a sprite alone can simply be
// blended in.
#pragma once

#include <vector>

namespace starlume {

struct Spriteplace {
    long long x = 0, y = 0; // the sprite's lower left pixel
    int i = 0, j = 0;       // the sub-pixel offset it is drawn at
    bool crowded = false;   // overlapping another in another place
    bool hidden = false;    // in the very place of a later one, so all covered
};

// a / b rounded down, for places left of or below the origin as well (b > 0).
inline long long floordiv(long long a, long long b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

// What crowding keeps from frame to frame, so that it allocates nothing.
struct Crowdscratch {
    std::vector<int> slots;               // an open-addressed table of indices
    std::vector<int> place, cell;         // each sprite's place and box, as indices
    std::vector<long long> cellx, celly;  // each box's position, in boxes
    std::vector<int> count, first, order; // the places in each box
};

// Sets crowded and hidden for sprites of width x height pixels, drawn in
// the order given, in time linear in their number however they pile up.
void crowding(std::vector<Spriteplace>& places, int width, int height, Crowdscratch& scratch);

} // namespace starlume
