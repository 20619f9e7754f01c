#include "platform/window/stage.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include <GL/freeglut.h>
#include <unistd.h>

#include "core/app/startup.h"
#include "core/clock/wallclock.h"
#include "core/input/commands.h"
#include "platform/gl/draw.h"
#include "platform/window/window.h"

namespace starlume {

namespace {

int elapsedms() { return glutGet(GLUT_ELAPSED_TIME); }

struct Stage {
    Show* show = nullptr;
    Windowsound* sound = nullptr;
    bool startfullscreen = false; // --fullscreen, until the first frame
    double drawms = 15;           // what a frame costs to draw and show, ms, on average

    double picturems() const { return 7.5 + drawms; } // the 15 ms gate is met half-way on average

    void idle() {
        sound->follow(show->clock, picturems());
        World& w = show->world;
        windowsize(w.screensizex, w.screensizey);
        pass(*show, clockms());
        usleep(400);
        w.walltime = elapsedms();
        if (w.walltime > w.nextdraw) glutPostRedisplay();
    }

    void disp() {
        // Once the window is on the screen, where a window manager can take it.
        if (startfullscreen) {
            startfullscreen = false;
            togglefullscreen();
        }
        const double start = wallms();
        drawstars(*show);
        present(show->world);
        drawms += (wallms() - start - drawms) / 16;
    }

    void keyb(unsigned char key);

    void special(int key) {
        if (key == GLUT_KEY_F11) togglefullscreen();
        if (key == GLUT_KEY_RIGHT || key == GLUT_KEY_PAGE_DOWN) sound->next();
        if (key == GLUT_KEY_LEFT || key == GLUT_KEY_PAGE_UP) sound->previous();
    }
} stage;

void pausesound() { stage.sound->pause(stage.show->clock); }
void resumesound() { stage.sound->resume(stage.show->clock, stage.picturems()); }

const Io io{stdin, stdout, elapsedms, pausesound, resumesound};

void Stage::keyb(unsigned char key) {
    if (key == 27) leavefullscreen(); // Esc
    if (keycommand(show->world, show->palette, key, io) == Outcome::quit) std::exit(0);
}

void idle() { stage.idle(); }
void disp() { stage.disp(); }
void keyb(unsigned char key, int, int) { stage.keyb(key); }
void special(int key, int, int) { stage.special(key); }
void mouse(int button, int state, int px, int py) {
    starlume::mouse(stage.show->world, button, state, px, py);
}
void mousecor(int px, int py) { starlume::mousecor(stage.show->world, px, py); }

} // namespace

double clockms() { return std::floor(wallms()); }

void Stillclock::pause(Clock& c) { pauseclock(c, clockms()); }
void Stillclock::resume(Clock& c, double) { resumeclock(c, clockms()); }

Show& windowshow(const Args& args) {
    // Kept to the end: the callbacks use it until the process exits.
    static const std::unique_ptr<Show> show = makeshow();
    startshow(*show, args);
    printbanner(stdout);
    return *show;
}

double picturems() { return stage.picturems(); }

void runwindow(Args& args, Show& show, Windowsound& sound) {
    stage.show = &show;
    stage.sound = &sound;
    int argc = static_cast<int>(args.toolkit.size());
    args.toolkit.push_back(nullptr);
    glutInit(&argc, args.toolkit.data());
    createwindow();
    stage.startfullscreen = args.fullscreen;

    glutDisplayFunc(disp);
    glutKeyboardFunc(keyb);
    glutSpecialFunc(special);
    glutMouseFunc(mouse);
    glutMotionFunc(mousecor);
    glutIdleFunc(idle);

    setglstate();

    if (presskeys(show, args.keys, io)) std::exit(0);
    show.world.last_walltime = show.world.walltime = elapsedms();
    glutMainLoop();
    std::exit(0);
}

} // namespace starlume
