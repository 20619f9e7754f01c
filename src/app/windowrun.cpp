#include "app/windowrun.h"

#include <cstdio>
#include <cstdlib>

#include <GL/freeglut.h>
#include <unistd.h>

#include "app/startup.h"
#include "input/commands.h"
#include "render/draw.h"
#include "render/window.h"

namespace starlume::app {

World world;
Analysis analysis;
Palette palette;

namespace {

Feed feed;
bool startfullscreen = false; // --fullscreen, until the first frame

int elapsedms() { return glutGet(GLUT_ELAPSED_TIME); }

void pausesound() {
    feed.pause();
    pauseclock(analysis, timeofdayms());
}
void resumesound() {
    // The clock first: the sound may take a moment to resume.
    resumeclock(analysis, timeofdayms());
    feed.resume();
}

const Io io{stdin, stdout, elapsedms, pausesound, resumesound};

void idle() {
    if (feed.poll != nullptr) feed.poll();
    if (world.paused == -1) {
        analysisclock(analysis, world, *feed.source, static_cast<double>(timeofdayms()));
    }
    windowsize(world.screensizex, world.screensizey);
    simulate(world, analysis.kicks);
    usleep(400);
    world.walltime = elapsedms();
    if (world.walltime > world.nextdraw) glutPostRedisplay();
}

// What a frame costs to draw and show, ms, on average.
double drawms = 15;

void disp() {
    // Once the window is on the screen, where a window manager can take it.
    if (startfullscreen) {
        startfullscreen = false;
        togglefullscreen();
    }
    const double start = nowms();
    drawstars(world, palette);
    present(world);
    drawms += (nowms() - start - drawms) / 16;
}

void keyb(unsigned char key, int, int) {
    if (key == 27) leavefullscreen(); // Esc
    if (keycommand(world, palette, key, io) == Outcome::quit) std::exit(0);
}

void special(int key, int, int) {
    if (key == GLUT_KEY_F11) togglefullscreen();
}

void mouse(int button, int state, int px, int py) { starlume::mouse(world, button, state, px, py); }

void mousecor(int px, int py) { starlume::mousecor(world, px, py); }

} // namespace

double picturems() { return 7.5 + drawms; } // the 15 ms redraw gate is met half-way on average

void runwindow(Args& args, Feed f) {
    feed = f;
    int argc = static_cast<int>(args.toolkit.size());
    args.toolkit.push_back(nullptr);
    glutInit(&argc, args.toolkit.data());
    createwindow();
    startfullscreen = args.fullscreen;

    glutDisplayFunc(disp);
    glutKeyboardFunc(keyb);
    glutSpecialFunc(special);
    glutMouseFunc(mouse);
    glutMotionFunc(mousecor);
    glutIdleFunc(idle);

    setglstate();

    presskeys(world, palette, args.keys, io);
    world.last_walltime = world.walltime = elapsedms();
    glutMainLoop();
    std::exit(0);
}

} // namespace starlume::app
