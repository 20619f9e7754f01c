#include "render/window.h"

#include <GL/freeglut.h>

#include "render/draw.h"

namespace starlume {

void createwindow() {
    keepfreedmemory();
    glutInitDisplayMode(GLUT_DOUBLE | GLUT_MULTISAMPLE);
    glutInitWindowSize(700, 700);
    glutInitWindowPosition(100, 100);
    glutCreateWindow("Starlume");
}

void windowsize(int& width, int& height) { viewportsize(width, height); }

void present(World& w) {
    glutSwapBuffers();
    w.nextdraw = glutGet(GLUT_ELAPSED_TIME) + 15;
}

} // namespace starlume
