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
    f.xy.resize(2 * static_cast<std::size_t>(n) * f.vertices());
    f.colours.resize(static_cast<std::size_t>(n));
    f.clearset = false;
    float* v = f.xy.data();
    for (int k = 0; k < n; k++) {
        const double energy = w.vx[k] * w.vx[k] + w.vy[k] * w.vy[k];
        const Starcolour c = colourstep(p, w.color, w.x[k], energy);
        if (c.setdraw) f.current = c.draw;
        // Only the last star's clear colour counts, from the next frame on.
        if (c.setclear) {
            f.clearset = true;
            f.clear = c.clear;
        }
        f.colours[k] = f.current;
        if (corners == 0) {
            *v++ = static_cast<float>(w.x[k]);
            *v++ = static_cast<float>(w.y[k]);
            continue;
        }
        for (int i = 0; i < corners; i++, v += 2) glyphvertex(o, i, w.x[k], w.y[k], r, v[0], v[1]);
    }
}

} // namespace starlume
