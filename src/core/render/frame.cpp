#include "core/render/frame.h"

#include "core/render/glyph.h"

namespace starlume {

void buildframe(Frame& f, World& w, Palette& p) {
    w.frames++;
    const int n = w.count();
    const int corners = glyphvertices(w.order);
    const Outline& o = outline(corners);
    const double r = 2 * w.size;
    f.corners = corners;
    f.radius = r;
    f.xy.resize(2 * static_cast<std::size_t>(n) * f.vertices());
    f.colours.resize(static_cast<std::size_t>(n));

    // Only the last star's clear colour counts, from the next frame on.
    Starcolours out{f.colours.data(), f.current};
    colourstars(p, w.color, n, w.x, w.vx, w.vy, out);
    f.clearset = out.clearset;
    if (out.clearset) f.clear = out.clear;

    float* v = f.xy.data();
    if (corners == 0) {
        for (int k = 0; k < n; k++) {
            v[2 * k] = static_cast<float>(w.x[k]);
            v[2 * k + 1] = static_cast<float>(w.y[k]);
        }
        return;
    }
    for (int k = 0; k < n; k++) {
        for (int i = 0; i < corners; i++, v += 2) glyphvertex(o, i, w.x[k], w.y[k], r, v[0], v[1]);
    }
}

} // namespace starlume
