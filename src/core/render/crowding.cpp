#include "core/render/crowding.h"

#include <algorithm>
#include <cstdlib>

namespace starlume {

namespace {

// Boxes in rows, so that three a row side by side are keys in a run.
long long boxkey(long long x, long long y) {
    constexpr long long middle = 1 << 20;
    return (y + middle) << 32 | (x + middle);
}

} // namespace

void crowding(std::vector<Spriteplace>& places, int width, int height,
              std::vector<std::pair<long long, int>>& scratch) {
    // By boxes of a sprite's size, each sprite meets only those in its own
    // box and the eight around.
    const int n = static_cast<int>(places.size());
    scratch.resize(places.size());
    for (int k = 0; k < n; k++) {
        Spriteplace& p = places[k];
        p.crowded = p.hidden = false;
        scratch[k] = {boxkey(floordiv(p.x, width), floordiv(p.y, height)), k};
    }
    std::sort(scratch.begin(), scratch.end());
    for (const auto& [box, k] : scratch) {
        Spriteplace& p = places[k];
        for (long long row = -1; row <= 1; row++) {
            const long long first = box + boxkey(-1, row) - boxkey(0, 0);
            auto it = std::lower_bound(scratch.begin(), scratch.end(), std::pair{first, -1});
            for (; it != scratch.end() && it->first <= first + 2; ++it) {
                const int m = it->second;
                Spriteplace& q = places[m];
                if (m == k || std::abs(q.x - p.x) >= width || std::abs(q.y - p.y) >= height) {
                    continue;
                }
                if (q.x == p.x && q.y == p.y && q.i == p.i && q.j == p.j) {
                    places[std::min(k, m)].hidden = true;
                } else {
                    p.crowded = q.crowded = true;
                }
            }
        }
    }
}

} // namespace starlume
