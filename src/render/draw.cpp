#include "render/draw.h"

#include <GL/gl.h>
#include <malloc.h>

#include "render/glyph.h"

namespace starlume {

void keepfreedmemory() {
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
}

void setglstate() {
    glEnable(GL_BLEND);
    glEnable(GL_MULTISAMPLE);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glClearColor(0, 0, 0, 1);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
}

void circle(double cx, double cy, double r, int order) {
    const int n = glyphvertices(order);
    if (n == 0) {
        glPointSize(pointsize);
        glBegin(GL_POINTS);
        glVertex3f(static_cast<float>(cx), static_cast<float>(cy), 0.0f);
        glEnd();
        return;
    }
    const Outline& o = outline(n);
    glBegin(GL_LINE_LOOP);
    for (int i = 0; i < n; i++) {
        float vx, vy;
        glyphvertex(o, i, cx, cy, r, vx, vy);
        glVertex3f(vx, vy, 0.0f);
    }
    glEnd();
}

void drawstars(World& w, Palette& p) {
    w.frames++;
    glClear(GL_COLOR_BUFFER_BIT);

    // Only the clear colour of the last star counts, and only from the next
    // frame on, so it is handed to GL once after the stars.
    bool clearset = false;
    Rgb clear{};
    const int n = w.count();
    const double r = 2 * w.size;
    for (int k = 0; k < n; k++) {
        const double energy = w.vx[k] * w.vx[k] + w.vy[k] * w.vy[k];
        const Starcolour c = colourstep(p, w.color, w.x[k], energy);
        if (c.setdraw) glColor3f(c.draw.r, c.draw.g, c.draw.b);
        if (c.setclear) {
            clearset = true;
            clear = c.clear;
        }
        circle(w.x[k], w.y[k], r, w.order);
    }
    if (clearset) glClearColor(clear.r, clear.g, clear.b, 1.0f);
}

} // namespace starlume
