#include "platform/window/window.h"

#include <algorithm>

#include <GL/freeglut.h>
#include <GL/glx.h>
#include <X11/Xatom.h>

#include "platform/gl/draw.h"

namespace starlume {

namespace {

// Fullscreen as this window has it: by the window manager, or by moving and
// sizing the window itself, from where it goes back.
struct Fullscreen {
    bool on = false;
    bool own = false;
    int x = 0, y = 0, width = 0, height = 0;
} fullscreen;

// Whether a window manager makes windows fullscreen when asked (the EWMH
// state that freeglut asks for). Without one, freeglut moves the window by
// its offset in its parent, which is then the screen, so it lands off the
// corner, and leaving restores only its size.
bool managedfullscreen() {
    Display* d = glXGetCurrentDisplay();
    if (d == nullptr) return false;
    const Atom supported = XInternAtom(d, "_NET_SUPPORTED", True);
    const Atom wanted = XInternAtom(d, "_NET_WM_STATE_FULLSCREEN", True);
    if (supported == None || wanted == None) return false;
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    bool found = false;
    if (XGetWindowProperty(d, DefaultRootWindow(d), supported, 0, 1024, False, XA_ATOM, &type,
                           &format, &count, &after, &data) == Success &&
        data != nullptr) {
        const Atom* atoms = reinterpret_cast<const Atom*>(data);
        found = std::find(atoms, atoms + count, wanted) != atoms + count;
    }
    if (data != nullptr) XFree(data);
    return found;
}

} // namespace

void createwindow() {
    keepfreedmemory();
    glutInitDisplayMode(GLUT_DOUBLE | GLUT_MULTISAMPLE);
    glutInitWindowSize(700, 700);
    glutInitWindowPosition(100, 100);
    glutCreateWindow("Starlume");
}

void windowsize(int& width, int& height) {
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    width = viewport[2];
    height = viewport[3];
}

void togglefullscreen() {
    Fullscreen& f = fullscreen;
    if (!f.on) {
        f.own = !managedfullscreen();
        if (f.own) {
            f.x = glutGet(GLUT_WINDOW_X);
            f.y = glutGet(GLUT_WINDOW_Y);
            f.width = glutGet(GLUT_WINDOW_WIDTH);
            f.height = glutGet(GLUT_WINDOW_HEIGHT);
            glutPositionWindow(0, 0);
            glutReshapeWindow(glutGet(GLUT_SCREEN_WIDTH), glutGet(GLUT_SCREEN_HEIGHT));
        } else {
            glutFullScreen();
        }
    } else if (f.own) {
        glutPositionWindow(f.x, f.y);
        glutReshapeWindow(f.width, f.height);
    } else {
        glutLeaveFullScreen();
    }
    f.on = !f.on;
}

void leavefullscreen() {
    if (fullscreen.on) togglefullscreen();
}

void present(World& w) {
    glutSwapBuffers();
    w.nextdraw = glutGet(GLUT_ELAPSED_TIME) + 15;
}

} // namespace starlume
