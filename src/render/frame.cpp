#include "render/frame.h"

#include <GL/freeglut.h>
#include <malloc.h>

#include "render/glyph.h"

namespace starlume {

void createwindow() {
    // Mesa's software renderer allocates and frees several megabytes a frame;
    // by default the C library hands them back to the kernel at once, and
    // every frame then pays for thousands of fresh page faults. Keep them.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    glutInitDisplayMode(GLUT_DOUBLE | GLUT_MULTISAMPLE);
    glutInitWindowSize(700, 700);
    glutInitWindowPosition(100, 100);
    glutCreateWindow("Starlume");
}

void windowsize(int& width, int& height) {
    // With no reshape callback the toolkit sets the viewport to the whole
    // window on every resize, so the viewport is the window size, read from
    // the GL state instead of by two round trips to the X server.
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    width = viewport[2];
    height = viewport[3];
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

void drawframe(World& w, Palette& p) {
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

    glutSwapBuffers();
    w.nextdraw = glutGet(GLUT_ELAPSED_TIME) + 15;
}

} // namespace starlume
