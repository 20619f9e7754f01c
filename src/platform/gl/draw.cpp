#include "platform/gl/draw.h"

#include <GL/gl.h>
#include <malloc.h>

#include "core/render/glyph.h"

namespace starlume {

namespace {

float clearalpha = 1.0f;

void setclear(const Frame& f) {
    if (f.clearset) glClearColor(f.clear.r, f.clear.g, f.clear.b, clearalpha);
}

// GL discards a point whose vertex is outside the view, whatever its size;
// leaving such stars out draws the same and spares the driver clipping the
// whole batch (at 100 per side half the stars can sit just below the floor).
bool inview(const float* v) { return v[0] >= -1 && v[0] <= 1 && v[1] >= -1 && v[1] <= 1; }

} // namespace

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

void drawon(const Square& square) { glViewport(square.x, square.y, square.width, square.height); }

void circle(const Frame& f, int k) {
    const int n = f.vertices();
    const float* v = f.xy.data() + 2 * static_cast<std::size_t>(k) * n;
    if (f.corners == 0) {
        if (!inview(v)) return;
        glPointSize(pointsize);
        glBegin(GL_POINTS);
        glVertex3f(v[0], v[1], 0.0f);
        glEnd();
        return;
    }
    glBegin(GL_LINE_LOOP);
    for (int i = 0; i < n; i++) glVertex3f(v[2 * i], v[2 * i + 1], 0.0f);
    glEnd();
}

void drawframe(const Frame& f) {
    glClear(GL_COLOR_BUFFER_BIT);
    for (int k = 0; k < f.count(); k++) {
        const Rgb& c = f.colours[k];
        glColor3f(c.r, c.g, c.b);
        circle(f, k);
    }
    setclear(f);
}

void keepclear(const Frame& f) { setclear(f); }

void setclearalpha(float alpha) {
    clearalpha = alpha;
    GLfloat now[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, now);
    glClearColor(now[0], now[1], now[2], alpha);
}

void drawstars(Show& s) {
    buildframe(s.frame, s.world, s.palette);
    drawframe(s.frame);
}

void skipstars(Show& s) {
    buildframe(s.frame, s.world, s.palette);
    setclear(s.frame);
}

} // namespace starlume
