// The pacing skeleton: Starlume's window, GL state, idle pass (400 µs sleep,
// 15 ms redraw gate) and glyph drawing for a fixed grid of stars, with no
// simulation, analysis or colour work. What it reaches is the ceiling that
// the real program is measured against. Usage: starlume_pacing [order]
#include <cstdio>
#include <cstdlib>

#include <GL/freeglut.h>
#include <unistd.h>

#include "core/render/frame.h"
#include "core/world/world.h"
#include "platform/gl/draw.h"
#include "platform/window/window.h"

namespace {

starlume::World world;
starlume::Frame frame; // the grid in white, built once

int elapsedms() { return glutGet(GLUT_ELAPSED_TIME); }

void idle() {
    usleep(400);
    world.steps++;
    world.walltime = elapsedms();
    if (world.walltime > world.nextdraw) glutPostRedisplay();
}

void disp() {
    world.frames++;
    starlume::drawframe(frame);
    glutSwapBuffers();
    world.nextdraw = elapsedms() + 15;
}

void keyb(unsigned char key, int, int) {
    if (key == 'Q') std::exit(0);
    if (key != 'F') return;
    std::printf("Drawn %d frames and simulated %d RK2 steps in %d milliseconds\n", world.frames,
                world.steps, elapsedms() - world.last_walltime);
    std::fflush(stdout);
    world.last_walltime = elapsedms();
    world.frames = 0;
    world.steps = 0;
}

} // namespace

int main(int argc, char** argv) {
    glutInit(&argc, argv);
    const int order = argc > 1 ? std::atoi(argv[1]) : 75;
    starlume::setOrder(world, order >= 1 && order <= starlume::maxorder ? order : 75);

    starlume::createwindow();
    glutDisplayFunc(disp);
    glutKeyboardFunc(keyb);
    glutIdleFunc(idle);

    starlume::setglstate();
    starlume::Palette palette;
    world.color = 0;
    starlume::buildframe(frame, world, palette);
    frame.clearset = false;

    world.last_walltime = world.walltime = elapsedms();
    glutMainLoop();
    return 0;
}
