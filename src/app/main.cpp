// Starlume: stars that dance to a WAV file. Start-up and the GLUT callbacks;
// everything they do lives in the core library.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>

#include <GL/freeglut.h>
#include <SDL2/SDL.h>
#include <SDL2/SDL_mixer.h>
#include <sys/time.h>
#include <unistd.h>

#include "app/cli.h"
#include "app/header.h"
#include "app/startup.h"
#include "audio/analysis.h"
#include "input/commands.h"
#include "render/frame.h"
#include "render/palette.h"
#include "world/random.h"
#include "world/world.h"

namespace {

using namespace starlume;

World world;
Analysis analysis;
Palette palette;
WavHeader header;
std::FILE* ptr = nullptr; // the file again, read block by block for analysis
// The file's decoded audio, which the analysis reads instead of ptr's bytes
// whenever a decoder recognises the file.
std::unique_ptr<Decoder> decoder;
// Loaded once and left to the system at exit, like the stream. Once a tune has
// played out the music library lets go of it, so this is what keeps it
// reachable; volatile because nothing reads it after start-up and the store
// would otherwise be optimised away, and the leak checker would report it.
Mix_Music* volatile music = nullptr;

std::int64_t timeofdayms() {
    timeval end;
    gettimeofday(&end, nullptr);
    return static_cast<std::int64_t>(end.tv_sec) * 1000 + end.tv_usec / 1000;
}

int elapsedms() { return glutGet(GLUT_ELAPSED_TIME); }
void pausemusic() {
    Mix_PauseMusic();
    pauseclock(analysis, timeofdayms());
}
void resumemusic() {
    Mix_ResumeMusic();
    resumeclock(analysis, timeofdayms());
}

void idle() {
    if (world.paused == -1) analysisclock(analysis, world, {ptr, decoder.get()}, timeofdayms());
    windowsize(world.screensizex, world.screensizey);
    simulate(world, analysis.kicks);
    usleep(400);
    world.walltime = elapsedms();
    if (world.walltime > world.nextdraw) glutPostRedisplay();
}

void disp() { drawframe(world, palette); }

void keyb(unsigned char key, int, int) {
    const Io io{stdin, stdout, elapsedms, pausemusic, resumemusic};
    if (keycommand(world, palette, key, io) == Outcome::quit) std::exit(0);
}

void mouse(int button, int state, int px, int py) { starlume::mouse(world, button, state, px, py); }

void mousecor(int px, int py) { starlume::mousecor(world, px, py); }

} // namespace

int main(int argc, char** argv) {
    // Reports must reach a pipe as they are printed, not when the buffer fills.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    const Args args = parseargs(argc, argv);
    switch (args.action) {
    case Args::help: printhelp(stdout); return 0;
    case Args::version: printversion(stdout); return 0;
    case Args::usage:
        std::fprintf(stderr, "starlume: %s (see starlume --help)\n", args.error.c_str());
        return usagestatus;
    case Args::run: break;
    }

    static char path[pathcapacity + 1];
    ptr = openaudiofile(stdin, stdout, path, args.path);
    if (ptr == nullptr) std::exit(1);
    reportHeader(header, ptr, stdout);
    decoder = Decoder::open(path);

    resetGrid(world);
    drawsteps(palette); // before seeding: the same steps on every run
    printbanner(stdout);
    seedrnd(static_cast<unsigned>(std::time(nullptr)));

    if (Mix_OpenAudio(44100, AUDIO_S16LSB, 2, 1024) == -1) {
        std::printf("Mix_OpenAudio: %s\n", SDL_GetError());
        std::exit(2);
    }
    // SDL turns SIGINT and SIGTERM into events nobody reads here; give them
    // back so that Ctrl-C in the console still ends the program.
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    music = nochannels(path) ? nullptr : Mix_LoadMUS(path);
    if (music == nullptr) std::printf("Not found\n");
    if (Mix_PlayMusic(music, 1) == -1) std::printf("Mix_PlayMusic: %s\n", SDL_GetError());

    analysis.startm = static_cast<double>(timeofdayms()) - 200;

    glutInit(&argc, argv);
    createwindow();

    glutDisplayFunc(disp);
    glutKeyboardFunc(keyb);
    glutMouseFunc(mouse);
    glutMotionFunc(mousecor);
    glutIdleFunc(idle);

    setglstate();

    world.last_walltime = world.walltime = elapsedms();
    glutMainLoop();
    return 0;
}
