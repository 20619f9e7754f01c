// Which of a frame's sprites, all of one size, overlap another: those must
// share out their pixels' samples, where a sprite alone can simply be
// blended in.
#pragma once

#include <utility>
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

// Sets crowded and hidden for sprites of width x height pixels, drawn in
// the order given. Scratch is reused from frame to frame.
void crowding(std::vector<Spriteplace>& places, int width, int height,
              std::vector<std::pair<long long, int>>& scratch);

} // namespace starlume
