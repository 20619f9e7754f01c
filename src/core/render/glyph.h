// The shape of a star: an outline whose vertex count falls as the stars get
// denser, or a single point for the densest grids.
#pragma once

namespace starlume {

constexpr float pointsize = 1.5f;

// Vertices of a star's outline for the given stars per side; 0 means a point.
int glyphvertices(int order);

// Unit-circle directions of an n-vertex outline, cos and sin of 2 i pi / n.
struct Outline {
    int n = 0;
    double c[32] = {};
    double s[32] = {};
};

const Outline& outline(int n);

// Vertex i of the outline of n vertices around (cx, cy) with radius r.
inline void glyphvertex(const Outline& o, int i, double cx, double cy, double r, float& vx,
                        float& vy) {
    vx = static_cast<float>(cx + r * o.c[i]);
    vy = static_cast<float>(cy + r * o.s[i]);
}

} // namespace starlume
