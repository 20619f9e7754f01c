#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/render/crowding.h"

using namespace starlume;

namespace {

struct Case {
    const char* what;
    std::vector<Spriteplace> places;
    std::string crowded, hidden; // a letter a sprite: c/h, or '.'
};

std::string flags(const std::vector<Spriteplace>& places, bool Spriteplace::*flag, char mark) {
    std::string s;
    for (const Spriteplace& p : places) s += p.*flag ? mark : '.';
    return s;
}

} // namespace

TEST(Crowding, SpritesThatOverlapAndSpritesUnderALaterOne) {
    // sprites of 7 x 6 pixels
    const std::vector<Case> cases = {
        {"apart", {{0, 0}, {20, 0}, {0, 20}}, "...", "..."},
        {"side by side, touching", {{0, 0}, {7, 0}, {0, 6}}, "...", "..."},
        {"a pixel into each other", {{0, 0}, {6, 0}}, "cc", ".."},
        {"corner to corner", {{0, 0}, {6, 5}, {-6, -5}}, "ccc", "..."},
        {"the same pixel, another offset", {{3, 3, 1, 0}, {3, 3, 2, 0}}, "cc", ".."},
        {"the very same place", {{3, 3, 1, 2}, {3, 3, 1, 2}}, "..", "h."},
        {"a pile of three", {{3, 3}, {3, 3}, {3, 3}}, "...", "hh."},
        {"a pile and one beside", {{3, 3}, {3, 3}, {5, 3}}, "ccc", "h.."},
        {"across the boxes' edges, below zero", {{-1, -1}, {0, 0}, {-8, -1}}, "cc.", "..."},
        {"far off", {{1000000, -1000000}, {1000006, -999995}}, "cc", ".."},
        {"a box of two, one beside out of reach", {{0, 0}, {1, 0}, {8, 0}}, "cc.", "..."},
        {"a box of two, one beside reaching it", {{0, 0}, {2, 0}, {8, 0}}, "ccc", "..."},
    };
    Crowdscratch scratch;
    for (Case c : cases) {
        crowding(c.places, 7, 6, scratch);
        EXPECT_EQ(flags(c.places, &Spriteplace::crowded, 'c'), c.crowded) << c.what;
        EXPECT_EQ(flags(c.places, &Spriteplace::hidden, 'h'), c.hidden) << c.what;
    }
}

TEST(Crowding, AsEveryPairComparedWouldHaveIt) {
    std::srand(7);
    Crowdscratch scratch;
    for (const int side : {12, 40, 200}) {
        std::vector<Spriteplace> places(800);
        for (Spriteplace& p : places) {
            p.x = std::rand() % side - side / 2;
            p.y = std::rand() % side - side / 2;
            p.i = std::rand() % 2;
            p.j = std::rand() % 2;
        }
        crowding(places, 5, 4, scratch);
        for (std::size_t k = 0; k < places.size(); k++) {
            bool crowded = false, hidden = false;
            for (std::size_t m = 0; m < places.size(); m++) {
                const Spriteplace& p = places[k];
                const Spriteplace& q = places[m];
                if (m == k || std::abs(p.x - q.x) >= 5 || std::abs(p.y - q.y) >= 4) continue;
                if (p.x == q.x && p.y == q.y && p.i == q.i && p.j == q.j) {
                    hidden = hidden || m > k;
                } else {
                    crowded = true;
                }
            }
            EXPECT_EQ(places[k].crowded, crowded) << side << " " << k;
            EXPECT_EQ(places[k].hidden, hidden) << side << " " << k;
        }
    }
}
