#include "core/render/crowding.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace starlume {

namespace {

std::uint64_t mix(std::uint64_t h, long long v) {
    h ^= static_cast<std::uint64_t>(v) + 0x9e3779b97f4a7c15u + (h << 6) + (h >> 2);
    return h * 0xff51afd7ed558ccdu;
}

// The slot of the first entry that same() accepts, or of the empty one
// where it would go, probing from the hash on.
template <class Same> int slotof(std::vector<int>& slots, std::uint64_t hash, Same same) {
    const std::size_t mask = slots.size() - 1;
    for (std::size_t s = (hash >> 32) & mask;; s = (s + 1) & mask) {
        if (slots[s] < 0 || same(slots[s])) return static_cast<int>(s);
    }
}

bool sameplace(const Spriteplace& p, const Spriteplace& q) {
    return p.x == q.x && p.y == q.y && p.i == q.i && p.j == q.j;
}

} // namespace

void crowding(std::vector<Spriteplace>& places, int width, int height, Crowdscratch& s) {
    const int n = static_cast<int>(places.size());
    std::size_t size = 16;
    while (size < 2 * places.size()) size *= 2;

    // Places first: of the sprites in one place only the last shows, and it
    // stands for them all.
    s.slots.assign(size, -1);
    s.place.resize(places.size());
    for (int k = 0; k < n; k++) {
        Spriteplace& p = places[k];
        p.crowded = p.hidden = false;
        const std::uint64_t h = mix(mix(mix(mix(0, p.x), p.y), p.i), p.j);
        const int slot = slotof(s.slots, h, [&](int m) { return sameplace(places[m], p); });
        if (s.slots[slot] >= 0) places[s.slots[slot]].hidden = true;
        s.slots[slot] = k;
        s.place[k] = slot;
    }

    for (int k = 0; k < n; k++) s.place[k] = s.slots[s.place[k]];

    // Then the places by boxes of a sprite's size: two in one box overlap,
    // and one alone in its box can only meet those in the eight around.
    s.cellx.resize(places.size());
    s.celly.resize(places.size());
    s.cell.assign(places.size(), -1);
    s.count.assign(size, 0);
    std::fill(s.slots.begin(), s.slots.end(), -1);
    const auto boxslot = [&](long long x, long long y) {
        return slotof(s.slots, mix(mix(1, x), y),
                      [&](int m) { return s.cellx[m] == x && s.celly[m] == y; });
    };
    for (int k = 0; k < n; k++) {
        if (places[k].hidden) continue;
        s.cellx[k] = floordiv(places[k].x, width);
        s.celly[k] = floordiv(places[k].y, height);
        const int slot = boxslot(s.cellx[k], s.celly[k]);
        if (s.slots[slot] < 0) s.slots[slot] = k;
        s.cell[k] = slot;
        s.count[slot]++;
    }
    // each box's sprites together in order, from first[box] on
    s.first.assign(size + 1, 0);
    for (std::size_t c = 0; c < size; c++) s.first[c + 1] = s.first[c] + s.count[c];
    s.order.resize(static_cast<std::size_t>(s.first[size]));
    std::fill(s.count.begin(), s.count.end(), 0);
    for (int k = 0; k < n; k++) {
        if (const int c = s.cell[k]; c >= 0) s.order[s.first[c] + s.count[c]++] = k;
    }

    for (int k = 0; k < n; k++) {
        const int c = s.cell[k];
        if (c < 0) continue;
        Spriteplace& p = places[k];
        p.crowded = s.count[c] > 1;
        for (int dy = -1; dy <= 1 && !p.crowded; dy++) {
            for (int dx = -1; dx <= 1 && !p.crowded; dx++) {
                const int slot = boxslot(s.cellx[k] + dx, s.celly[k] + dy);
                if (slot == c || s.slots[slot] < 0) continue;
                for (int a = s.first[slot]; a < s.first[slot + 1] && !p.crowded; a++) {
                    const Spriteplace& q = places[s.order[a]];
                    p.crowded = std::abs(q.x - p.x) < width && std::abs(q.y - p.y) < height;
                }
            }
        }
    }
    for (int k = 0; k < n; k++) {
        if (places[k].hidden) places[k].crowded = places[s.place[k]].crowded;
    }
}

} // namespace starlume
