#include "platform/video/batch.h"

#include <GL/gl.h>

#include "core/render/glyph.h"
#include "platform/gl/draw.h"

namespace starlume {

void Batch::draw(const Frame& f) {
    glClear(GL_COLOR_BUFFER_BIT);
    const int n = f.count();
    const int per = f.vertices();
    colours.resize(3 * static_cast<std::size_t>(n) * per);
    float* c = colours.data();
    for (int k = 0; k < n; k++) {
        const Rgb& rgb = f.colours[k];
        for (int i = 0; i < per; i++, c += 3) {
            c[0] = rgb.r;
            c[1] = rgb.g;
            c[2] = rgb.b;
        }
    }
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glVertexPointer(2, GL_FLOAT, 0, f.xy.data());
    glColorPointer(3, GL_FLOAT, 0, colours.data());
    if (f.corners == 0) {
        glPointSize(pointsize);
        glDrawArrays(GL_POINTS, 0, n);
    } else {
        // A line loop is its edges drawn as separate lines: each leaves out
        // its last pixel either way.
        if (edgecorners != f.corners || edgeglyphs != n) {
            edgecorners = f.corners;
            edgeglyphs = n;
            edges.clear();
            for (int k = 0; k < n; k++) {
                const unsigned first = static_cast<unsigned>(k * per);
                for (int i = 0; i < per; i++) {
                    edges.push_back(first + static_cast<unsigned>(i));
                    edges.push_back(first + static_cast<unsigned>((i + 1) % per));
                }
            }
        }
        glDrawElements(GL_LINES, static_cast<int>(edges.size()), GL_UNSIGNED_INT, edges.data());
    }
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    keepclear(f);
}

void drawbatched(Show& s, Batch& b) {
    buildframe(s.frame, s.world, s.palette);
    b.draw(s.frame);
}

} // namespace starlume
