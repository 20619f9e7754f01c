#include "platform/window/stage.h"

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <semaphore>
#include <thread>
#include <utility>

#include <GL/freeglut.h>
#include <pthread.h>
#include <unistd.h>

#include "core/app/exits.h"
#include "core/app/startup.h"
#include "core/clock/wallclock.h"
#include "core/input/commands.h"
#include "platform/gl/draw.h"
#include "platform/window/record.h"
#include "platform/window/window.h"

namespace starlume {

namespace {

int elapsedms() { return glutGet(GLUT_ELAPSED_TIME); }

// SIGINT or SIGTERM while recording: the loop ends and the take is closed.
volatile std::sig_atomic_t stopsignal = 0;
void onsignal(int sig) { stopsignal = sig; }

// The pass runs on a thread of its own while the loop sleeps its 400 µs, so
// that the stars' work takes nothing from the loop's pace when a core is
// free. The loop waits for it before anything else touches the show: the two
// never run at once, and every pass is the one it was.
class Sidepass {
  public:
    Sidepass() : worker([this] { serve(); }) {}
    ~Sidepass() {
        stop = true;
        start.release();
        worker.join();
    }
    Sidepass(const Sidepass&) = delete;
    Sidepass& operator=(const Sidepass&) = delete;

    void begin(Show& s, double nowms) {
        show = &s;
        now = nowms;
        start.release();
    }
    void end() {
        done.acquire();
        if (failed) std::rethrow_exception(std::exchange(failed, nullptr));
    }

  private:
    void serve() {
        // Ctrl-C and SIGTERM stay the main thread's, to wake its sleep.
        sigset_t all;
        sigfillset(&all);
        pthread_sigmask(SIG_BLOCK, &all, nullptr);
        for (;;) {
            start.acquire();
            if (stop) return;
            try {
                pass(*show, now);
            } catch (...) {
                failed = std::current_exception();
            }
            done.release();
        }
    }

    std::binary_semaphore start{0}, done{0};
    Show* show = nullptr;
    double now = 0;
    bool stop = false;
    std::exception_ptr failed;
    std::thread worker; // last: it starts once the rest is set
};

struct Stage {
    Show* show = nullptr;
    std::unique_ptr<Sidepass> side;
    Windowsound* sound = nullptr;
    bool startfullscreen = false; // --fullscreen, until the first frame
    double drawms = 15;           // what a frame costs to draw and show, ms, on average

    double picturems() const { return 7.5 + drawms; } // the 15 ms gate is met half-way on average

    void idle() {
        if (stopsignal != 0) glutLeaveMainLoop();
        sound->follow(show->clock, picturems());
        World& w = show->world;
        windowsize(w.screensizex, w.screensizey);
        side->begin(*show, clockms());
        usleep(400);
        side->end();
        w.walltime = elapsedms();
        if (w.walltime > w.nextdraw) glutPostRedisplay();
        recordflush(w.walltime);
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

    void play(Event e);

    void keyb(unsigned char key) {
        Event e;
        if (key == 27) { // Esc
            e.kind = Eventkind::leavefullscreen;
        } else if (iskey(key)) {
            e.key = key;
        } else {
            return;
        }
        play(e);
    }

    void special(int key) {
        Event e;
        if (key == GLUT_KEY_F11) {
            e.kind = Eventkind::fullscreen;
        } else if (key == GLUT_KEY_RIGHT || key == GLUT_KEY_PAGE_DOWN) {
            e.kind = Eventkind::next;
        } else if (key == GLUT_KEY_LEFT || key == GLUT_KEY_PAGE_UP) {
            e.kind = Eventkind::previous;
        } else {
            return;
        }
        play(e);
    }

    // The music heard now, in this song.
    double heard() const { return sound->heard(show->clock, clockms(), show->world.paused == 1); }
} stage;

void pausesound() { stage.sound->pause(stage.show->clock); }
void resumesound() { stage.sound->resume(stage.show->clock, stage.picturems()); }

const Io io{stdin, stdout, elapsedms, pausesound, resumesound};

// Every key and the mouse reach the show as events, at the music heard, and
// are recorded as played; what the show leaves to the stage is done here.
void Stage::play(Event e) {
    e.ms = heard();
    const Outcome o = apply(*show, e, io);
    if (o == Outcome::stars) {
        // Recorded as the count answered, when it was: a video cannot ask.
        e.kind = Eventkind::stars;
        e.stars = show->world.order;
        e.ms = heard();
    }
    record(e);
    switch (o) {
    case Outcome::quit: glutLeaveMainLoop(); break;
    case Outcome::next: sound->next(); break;
    case Outcome::previous: sound->previous(); break;
    case Outcome::fullscreen: togglefullscreen(); break;
    case Outcome::leavefullscreen: leavefullscreen(); break;
    case Outcome::carryon:
    case Outcome::stars: break;
    }
}

void idle() { stage.idle(); }
void disp() { stage.disp(); }
void keyb(unsigned char key, int, int) { stage.keyb(key); }
void special(int key, int, int) { stage.special(key); }
void mouse(int button, int state, int px, int py) {
    stage.play(buttonevent(stage.show->world, button, state, px, py));
}
void mousecor(int px, int py) { stage.play(motionevent(stage.show->world, px, py)); }

} // namespace

double clockms() { return std::floor(wallms()); }

void Stillclock::pause(Clock& c) { pauseclock(c, clockms()); }
void Stillclock::resume(Clock& c, double) { resumeclock(c, clockms()); }

Show& windowshow(const Args& args) {
    // Kept to the end: the callbacks use it until the process exits.
    static const std::unique_ptr<Show> show = makeshow();
    const unsigned seed = startshow(*show, args);
    recordheader(*show, seed, args);
    printbanner(stdout);
    return *show;
}

double picturems() { return stage.picturems(); }

int runwindow(Args& args, Show& show, Windowsound& sound) {
    stage.show = &show;
    stage.sound = &sound;
    int argc = static_cast<int>(args.toolkit.size());
    args.toolkit.push_back(nullptr);
    glutInit(&argc, args.toolkit.data());
    // Q and closing the window end the loop, and the run ends after it.
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_CONTINUE_EXECUTION);
    createwindow();
    stage.startfullscreen = args.fullscreen;

    glutDisplayFunc(disp);
    glutKeyboardFunc(keyb);
    glutSpecialFunc(special);
    glutMouseFunc(mouse);
    glutMotionFunc(mousecor);
    glutIdleFunc(idle);

    setglstate();

    presskeys(show, args.keys, io); // Q cannot be among them
    if (args.record != nullptr) {
        // Once: a second Ctrl-C ends the program at once, say in the n prompt.
        struct sigaction stop {};
        stop.sa_handler = onsignal;
        stop.sa_flags = SA_RESTART | SA_RESETHAND;
        sigaction(SIGINT, &stop, nullptr);
        sigaction(SIGTERM, &stop, nullptr);
    }
    show.world.last_walltime = show.world.walltime = elapsedms();
    stage.side = std::make_unique<Sidepass>();
    glutMainLoop();
    stage.side.reset();
    const int status = stopsignal != 0 ? 128 + stopsignal : exitok;
    return stoprecording() || status != exitok ? status : exitioerror;
}

} // namespace starlume
