// The page: Starlume in a browser, a stage of the same show and pass as the
// window and the video. requestAnimationFrame drives it: each frame runs the
// passes owed since the last one (2000 a second, as a video runs them) with
// the analysis clock at the music position heard, then WebGL draws the
// frame in one batch. Sound comes and goes through Web Audio (page.js).
#include <emscripten/emscripten.h>
#include <emscripten/html5.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/app/cli.h"
#include "core/app/header.h"
#include "core/app/show.h"
#include "core/app/showntext.h"
#include "core/app/startup.h"
#include "core/audio/convert.h"
#include "core/audio/newest.h"
#include "core/input/commands.h"
#include "core/input/events.h"
#include "platform/web/video.h"
#include "platform/web/webgl.h"

// What page.js gives the stage.
extern "C" {
void page_init();
int page_args(char* words, int size);
void page_play();
void page_stopsound();
void page_pausesound();
void page_resumesound();
double page_heardms();
void page_setlatency(int ms);
void page_askline(const char* prompt);
void page_endline();
void page_fullscreen();
void page_stats(double fps, double passus, double blockms, int passes);
double page_canvasleft();
int page_softwaregl();
double page_canvastop();
}

namespace starlume {

namespace {

constexpr double passesperms = 2; // 2000 passes a second of music
constexpr int mostpasses = 200;   // a frame's worth after a stall: 100 ms
constexpr const char* canvas = "#canvas";

enum class Sound { none, music, live };

struct Page {
    std::unique_ptr<Show> show = makeshow();
    Webgl gl;
    Sound sound = Sound::none;
    std::vector<std::int16_t> music; // decoded: 16-bit stereo frames at 44100 Hz
    int musicchannels = 0;
    Mixdown mix;            // of the music's channels
    Newest* live = nullptr; // the source while listening
    double started = emscripten_get_now();
    double lastframe = 0; // when the last frame was drawn, ms
    double owed = 0;      // a fraction of a pass carried to the next frame
    double frameperiod = 1000.0 / 60;
    Starcount starcount;     // the answers to 'n', when it asks
    std::vector<Event> take; // the take recorded or opened, none when empty
    Args args;               // as the URL asks, with the seed the page started with
    Pagevideo video;
    bool asking = false;
    // Measured for the stats: frames and passes over the last second.
    int frames = 0, passes = 0, blocks = 0;
    double passtime = 0, blocktime = 0, statsfrom = 0;

    double elapsed() const { return emscripten_get_now() - started; }
    double clockms() const;
    void frame(double now);
    void key(const char* key);
    Outcome play(Event e);
    void music_start();
    void stopsound();
    void follow();
} page;

int elapsedms() { return static_cast<int>(page.elapsed()); }

// The music plays on the page's audio context; P suspends it, and its heard
// position stands still with it. Live sound's clock is the page's own.
void pausesound() {
    page_pausesound();
    if (page.sound == Sound::live) pauseclock(page.show->clock, page.elapsed());
}
void resumesound() {
    if (page.sound == Sound::live) {
        resumeclock(page.show->clock, page.elapsed());
        page.live->clear(); // what was heard before the pause is not news any more
    }
    page_resumesound();
}

// The console's input is the star count field: nothing waits to be read.
std::FILE* noinput() {
    static std::FILE* f = std::fopen("/dev/null", "r");
    return f;
}

const Io io{noinput(), stdout, elapsedms, pausesound, resumesound};

double Page::clockms() const {
    switch (sound) {
    case Sound::music: return page_heardms();
    case Sound::live: return elapsed();
    case Sound::none: break;
    }
    return elapsed();
}

// The lead follows what a frame costs to show: passes run for the time up
// to the frame that shows them (half a frame late on average), and that
// frame reaches the screen at the next one.
void Page::follow() { followlead(show->clock, 1.5 * frameperiod); }

void Page::frame(double now) {
    if (lastframe > 0) frameperiod += (std::min(now - lastframe, 100.0) - frameperiod) / 16;
    const double since = lastframe > 0 ? now - lastframe : 0;
    lastframe = now;
    if (sound != Sound::live) follow();
    // The passes owed since the last frame, each at its own moment of the
    // clock. After a stall (a tab asleep) only a tenth of a second's worth
    // run, and the blocks due catch up at one a pass, as in the window.
    owed += since * passesperms;
    const int n = std::min(static_cast<int>(owed), mostpasses);
    owed = n == mostpasses ? 0 : owed - n;
    const double clock = clockms();
    for (int i = 0; i < n; i++) {
        const double start = emscripten_get_now();
        const bool block = pass(*show, clock - (n - 1 - i) / passesperms);
        const double spent = emscripten_get_now() - start;
        (block ? blocktime : passtime) += spent;
        (block ? blocks : passes)++;
    }
    buildframe(show->frame, show->world, show->palette);
    gl.draw(show->frame);
    frames++;
    if (now - statsfrom >= 1000) {
        const double plain = passes > 0 ? passtime / passes : 0;
        page_stats(frames * 1000 / (now - statsfrom), 1000 * plain,
                   blocks > 0 ? blocktime / blocks - plain : 0, passes + blocks);
        frames = passes = blocks = 0;
        passtime = blocktime = 0;
        statsfrom = now;
    }
}

void Page::stopsound() {
    page_stopsound();
    sound = Sound::none;
    live = nullptr;
    show->source = std::make_unique<Silence>();
}

void Page::music_start() {
    show->source = std::make_unique<Memorysource>(music);
    show->clock = Clock{};
    setclock(show->clock, 0, clocklead(1.5 * frameperiod));
    sound = Sound::music;
    page_play();
}

// Every key and the mouse reach the show as events, at the music heard;
// what the show leaves to the stage is done here (the page has no list of
// songs, and the browser's own Esc leaves fullscreen).
Outcome Page::play(Event e) {
    e.ms = heardms(show->clock, clockms(), show->world.paused == 1);
    const Outcome o = apply(*show, e, io);
    if (o == Outcome::quit) stopsound(); // the music stops, the stars rest, the page stays
    if (o == Outcome::fullscreen) page_fullscreen();
    return o;
}

// Keys as the window has them, on the canvas; F11 is the page's.
void Page::key(const char* name) {
    Event e;
    if (std::strcmp(name, "F11") == 0) {
        e.kind = Eventkind::fullscreen;
    } else if (std::strlen(name) == 1 && iskey(static_cast<unsigned char>(name[0]))) {
        e.key = static_cast<unsigned char>(name[0]);
    } else {
        return;
    }
    play(e);
    if (e.kind == Eventkind::key && e.key == 'n') {
        // The prompt is printed; the answers come from the field, which
        // shows them as a terminal would.
        starcount = Starcount{false};
        asking = true;
        page_askline("Enter the number between 1-100:");
    }
}

// Events: one-line adapters over the page.
EM_BOOL onframe(double now, void*) {
    page.frame(now);
    return EM_TRUE;
}

EM_BOOL onkey(int, const EmscriptenKeyboardEvent* e, void*) {
    page.key(e->key);
    return std::strcmp(e->key, "F11") == 0 || std::strlen(e->key) == 1; // the browser's own: no
}

EM_BOOL onmouse(int type, const EmscriptenMouseEvent* e, void*) {
    // As the window's toolkit reports motion: while a button is held.
    if (type == EMSCRIPTEN_EVENT_MOUSEMOVE && e->buttons == 0) return EM_FALSE;
    World& w = page.show->world;
    // Where on the canvas, in its CSS pixels; beyond its edges while a
    // button is held, as the toolkit reports it.
    const auto x = static_cast<int>(std::lround(e->clientX - page_canvasleft()));
    const auto y = static_cast<int>(std::lround(e->clientY - page_canvastop()));
    if (type == EMSCRIPTEN_EVENT_MOUSEDOWN) page.play(buttonevent(w, e->button, 0, x, y));
    if (type == EMSCRIPTEN_EVENT_MOUSEUP) page.play(buttonevent(w, e->button, 1, x, y));
    if (type == EMSCRIPTEN_EVENT_MOUSEMOVE) page.play(motionevent(w, x, y));
    return EM_FALSE;
}

// The stars fill the canvas whatever its size, as they fill a resized window.
EM_BOOL onresize(int, const EmscriptenUiEvent*, void*) {
    double cssw = 0, cssh = 0;
    emscripten_get_element_css_size(canvas, &cssw, &cssh);
    const double ratio = emscripten_get_device_pixel_ratio();
    const int w = std::max(1, static_cast<int>(std::lround(cssw * ratio)));
    const int h = std::max(1, static_cast<int>(std::lround(cssh * ratio)));
    emscripten_set_canvas_element_size(canvas, w, h);
    page.gl.resize(w, h, ratio);
    page.show->world.screensizex = static_cast<int>(std::lround(cssw));
    page.show->world.screensizey = static_cast<int>(std::lround(cssh));
    return EM_FALSE;
}

EM_BOOL onfullscreen(int, const EmscriptenFullscreenChangeEvent*, void*) {
    return onresize(0, nullptr, nullptr);
}

// The URL's parameters as the command line's words: ?stars=40&keys=7b.
Args pageargs() {
    static char words[4096];
    const int n = page_args(words, sizeof words);
    static std::vector<char*> argv{const_cast<char*>("starlume")};
    for (int at = 0; at < n; at += static_cast<int>(std::strlen(words + at)) + 1) {
        argv.push_back(words + at);
    }
    return parseargs(static_cast<int>(argv.size()), argv.data());
}

} // namespace

} // namespace starlume

using starlume::page;

// What page.js calls.
extern "C" {

// A file arrived (a URL, the file field, a drop): the report of its header,
// bytes (its first 44, fewer when it is shorter), and size its length.
EMSCRIPTEN_KEEPALIVE void page_file(const char* name, const unsigned char* bytes, int size) {
    using namespace starlume;
    page.stopsound();
    page.video.end(); // a video of the last song goes with it
    page.music.clear();
    std::FILE* head = std::fopen("/tmp/header", "w+b");
    if (head == nullptr) return;
    std::fwrite(bytes, 1, static_cast<std::size_t>(std::min(size, 44)), head);
    std::rewind(head);
    WavHeader header;
    reportHeader(header, head, stdout);
    std::fclose(head);
    if (size == 0) std::fprintf(stderr, "starlume: '%s' holds no sound\n", name);
}

// The decoded music arrives in parts of interleaved frames of channels, as
// Web Audio decodes them at 44100 Hz.
EMSCRIPTEN_KEEPALIVE void page_musicbegin(int frames, int channels) {
    page.music.clear();
    page.music.reserve(2 * static_cast<std::size_t>(frames));
    page.musicchannels = channels;
    page.mix = starlume::mixdown(channels, false);
}

EMSCRIPTEN_KEEPALIVE void page_musicpart(const float* interleaved, int frames) {
    using namespace starlume;
    std::vector<float> stereo(2 * static_cast<std::size_t>(frames));
    mixstereo(page.mix, interleaved, page.musicchannels, frames, stereo.data());
    // Chromium scales a 16-bit file's negative values by 1/32768 and its
    // positive ones by 1/32767: undone, a canonical WAV gives its own values
    // back, and the blocks the window analyses.
    for (float v : stereo) {
        const float scaled = v < 0 ? v * 32768.0f : v * 32767.0f;
        page.music.push_back(tosample16(scaled / 32768.0f));
    }
}

// A module's frames, rendered as the native decoder renders them: already
// 16-bit stereo.
EMSCRIPTEN_KEEPALIVE void page_musicpart16(const std::int16_t* stereo, int frames) {
    page.music.insert(page.music.end(), stereo, stereo + 2 * static_cast<std::size_t>(frames));
}

EMSCRIPTEN_KEEPALIVE void page_musicend() { page.music_start(); }

// Listening has started: live sound of channels channels from device.
EMSCRIPTEN_KEEPALIVE void page_listening(const char* device, int channels) {
    using namespace starlume;
    page.stopsound();
    std::printf("Listening to: %s\n", device);
    auto live = std::make_unique<Newest>(Soundformat{analysisrate, f32le, channels});
    page.live = live.get();
    page.show->source = std::move(live);
    page.show->clock = Clock{};
    setclock(page.show->clock, page.elapsed(), 0);
    page.sound = Sound::live;
}

EMSCRIPTEN_KEEPALIVE void page_chunk(const float* interleaved, int floats) {
    if (page.live == nullptr) return;
    page.live->add(reinterpret_cast<const unsigned char*>(interleaved),
                   static_cast<std::size_t>(floats) * sizeof(float));
}

// A line typed into the star count field.
EMSCRIPTEN_KEEPALIVE void page_line(const char* text) {
    using namespace starlume;
    if (!page.asking) return;
    const std::string line = std::string(text) + "\n";
    std::fputs(line.c_str(), stdout);
    std::FILE* in = fmemopen(const_cast<char*>(line.data()), line.size(), "r");
    if (in == nullptr) return;
    const Io typed{in, stdout, elapsedms, pausesound, resumesound};
    if (readstarcount(page.show->world, page.starcount, typed)) {
        page.asking = false;
        page_endline();
    }
    std::fclose(in);
}

// A video of the music, as makevideo.js asks: its frames, or 0 when there
// is no music or no WebGL to draw it with.
EMSCRIPTEN_KEEPALIVE int page_videobegin(int width, int height, int fps, int transparent) {
    using namespace starlume;
    if (page.music.empty()) return 0;
    Args args = page.args;
    args.width = width;
    args.height = height;
    args.fps = fps;
    const bool ok = page.video.begin("#videostars", page_softwaregl() == 0, args, page.music,
                                     page.take, transparent != 0);
    return ok ? static_cast<int>(page.video.frames()) : 0;
}

EMSCRIPTEN_KEEPALIVE void page_videoframe(int k) { page.video.draw(k); }
EMSCRIPTEN_KEEPALIVE int page_videothrough(int k) {
    return static_cast<int>(page.video.musicthrough(k));
}
EMSCRIPTEN_KEEPALIVE int page_videoband() { return page.video.band(); }
EMSCRIPTEN_KEEPALIVE void page_videoend() { page.video.end(); }
EMSCRIPTEN_KEEPALIVE const std::int16_t* page_videomusic() { return page.music.data(); }

// A line of a video's text as the native video shows it.
EMSCRIPTEN_KEEPALIVE const char* page_showntext(const char* text, int most) {
    static std::string shown;
    shown = starlume::showntext(text, static_cast<std::size_t>(std::max(1, most)));
    return shown.c_str();
}

} // extern "C"

int main() {
    using namespace starlume;
    Show& show = *page.show;
    const Args args = pageargs();
    if (args.action == Args::usage) {
        std::fprintf(stderr, "starlume: %s (see starlume --help)\n", args.error.c_str());
    }
    const Args& use = args.action == Args::usage ? Args{} : args;
    page.args = use;
    page.args.seed = startshow(show, use);
    printbanner(stdout);
    // A software renderer (SwiftShader, llvmpipe) pays for multisampling with
    // more than half its frames.
    if (!page.gl.open(canvas, page_softwaregl() == 0)) {
        std::fprintf(stderr, "starlume: this browser draws no WebGL\n");
        return 0;
    }
    onresize(0, nullptr, nullptr);
    emscripten_set_keydown_callback(canvas, nullptr, EM_TRUE, onkey);
    emscripten_set_mousedown_callback(canvas, nullptr, EM_TRUE, onmouse);
    // Released or moved anywhere, as the toolkit reports it while a button is held.
    emscripten_set_mouseup_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, nullptr, EM_TRUE, onmouse);
    emscripten_set_mousemove_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, nullptr, EM_TRUE, onmouse);
    emscripten_set_resize_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_TRUE, onresize);
    emscripten_set_fullscreenchange_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, nullptr, EM_TRUE,
                                             onfullscreen);
    if (use.latency >= 0) page_setlatency(use.latency);
    presskeys(show, use.keys, io);
    show.world.last_walltime = elapsedms();
    page_init(); // the buttons, the drop, ?music= and ?listen
    emscripten_request_animation_frame_loop(onframe, nullptr);
    return 0;
}
