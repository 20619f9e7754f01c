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
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/app/cli.h"
#include "core/app/header.h"
#include "core/app/playlist.h"
#include "core/app/show.h"
#include "core/app/showntext.h"
#include "core/app/startup.h"
#include "core/audio/convert.h"
#include "core/audio/newest.h"
#include "core/input/commands.h"
#include "core/input/events.h"
#include "core/input/take.h"
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
void page_takeinit();
void page_recording(int on);
void page_download(const char* name, const char* text);
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
    Args start; // the URL's, for the shows a take starts
    Sound sound = Sound::none;
    std::vector<std::int16_t> music; // decoded: 16-bit stereo frames at 44100 Hz
    std::string song;                // the music's name as a take holds it; "" for none
    std::string loading;             // the file arriving, until its music is decoded
    int musicchannels = 0;
    Mixdown mix;            // of the music's channels
    Newest* live = nullptr; // the source while listening
    double started = emscripten_get_now();
    double lastframe = 0; // when the last frame was run, ms
    double lastdrawn = 0; // and drawn
    double owed = 0;      // a fraction of a pass carried to the next frame
    double frameperiod = 1000.0 / 60;
    Starcount starcount; // the answers to 'n', when it asks
    Pagevideo video;
    bool asking = false;
    // Measured for the stats: frames and passes over the last second.
    int frames = 0, passes = 0, blocks = 0;
    double passtime = 0, blocktime = 0, statsfrom = 0;

    // The take of the song: the events recorded or opened, replayed as its
    // music plays from the start, and what a video of it dances to; empty
    // when there is none. header holds its seed, stars and keys.
    std::vector<Event> take;
    Take header;
    bool kept = false;        // a take is kept for the song, even one of no events
    std::size_t replayed = 0; // the events of take applied so far
    std::optional<Take> held; // opened before any music: waits for its song
    std::string heldname;     // its file's name
    // Recording: the take written as it is played, into memory.
    std::unique_ptr<Takewriter> writer;
    char* written = nullptr;
    std::size_t writtensize = 0;

    double elapsed() const { return emscripten_get_now() - started; }
    double clockms() const;
    double heard() const { return heardms(show->clock, clockms(), show->world.paused == 1); }
    double seconds() const { return static_cast<double>(music.size() / 2) / analysisrate; }
    void frame(double now);
    void key(const char* key);
    Outcome play(Event e);
    void music_start();
    void stopsound();
    void follow();
    void replay(double heardms);
    void restart(const Args& args);
    Args takeargs(const Take& t) const;
    void record();
    void endrecording();
    bool usetake(const Take& t, const std::string& file);
    std::string taketext() const;
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
        const double at = clock - (n - 1 - i) / passesperms;
        const bool block = pass(*show, at);
        if (sound == Sound::music) replay(heardms(show->clock, at, show->world.paused == 1));
        const double spent = emscripten_get_now() - start;
        (block ? blocktime : passtime) += spent;
        (block ? blocks : passes)++;
    }
    // While a video renders, the stars here are drawn ten times a second:
    // with a software-drawn browser they would take a core from the video.
    if (video.frames() > 0 && now - lastdrawn < 100) return;
    lastdrawn = now;
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
    endrecording();
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
    replayed = 0; // the take plays again with its music
    page_play();
}

// Every key and the mouse reach the show as events, at the music heard;
// what the show leaves to the stage is done here (the page has no list of
// songs, and the browser's own Esc leaves fullscreen).
Outcome Page::play(Event e) {
    e.ms = heard();
    const Outcome o = apply(*show, e, io);
    if (writer != nullptr) writer->write(e);
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
    // As the window's toolkit reports them: motion and releases after a
    // press on the canvas, while a button it pressed is held, and not a
    // click elsewhere on the page (a button's).
    static bool pressed = false;
    if (type == EMSCRIPTEN_EVENT_MOUSEDOWN) pressed = true;
    if (!pressed || (type == EMSCRIPTEN_EVENT_MOUSEMOVE && e->buttons == 0)) return EM_FALSE;
    if (type == EMSCRIPTEN_EVENT_MOUSEUP) pressed = e->buttons != 0;
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

// The take's events due by the music heard, applied as a video applies them:
// what only a stage can do (quit, fullscreen) does nothing.
void Page::replay(double heardms) {
    for (; replayed < take.size() && take[replayed].ms <= heardms; replayed++) {
        apply(*show, take[replayed], io);
    }
}

// A fresh show from args' seed, stars and keys, as a run starts one; the
// stars' count is always set, so that a native run from the same take
// starts the same way.
void Page::restart(const Args& args) {
    show = makeshow();
    Args a = args;
    if (a.stars == 0) a.stars = show->world.order;
    header = Take{};
    header.seed = startshow(*show, a);
    header.stars = a.stars;
    header.keys = a.keys;
    onresize(0, nullptr, nullptr);
    if (asking) {
        asking = false;
        page_endline();
    }
    presskeys(*show, a.keys, io);
    show->world.last_walltime = elapsedms();
}

// The run a take asks for: its seed, stars and keys.
Args Page::takeargs(const Take& t) const {
    Args a = start;
    a.seed = t.seed;
    a.stars = t.stars;
    a.keys = t.keys;
    return a;
}

// Record: the song from its start on a fresh show, everything played
// written down until Stop.
void Page::record() {
    if (music.empty() || sound == Sound::live) {
        std::fprintf(stderr, "starlume: open a music file first: a take is recorded on a song\n");
        return;
    }
    endrecording();
    std::FILE* f = open_memstream(&written, &writtensize);
    if (f == nullptr) return;
    page_stopsound();
    restart(start);
    take.clear();
    kept = false;
    held.reset();
    music_start();
    writer = std::make_unique<Takewriter>(f);
    writer->header(header);
    writer->song(song, seconds());
    page_recording(1);
}

// Stop: the take as written, read back, is the song's take.
void Page::endrecording() {
    if (writer == nullptr) return;
    const bool ok = writer->close();
    writer.reset();
    const std::string text(written, ok ? writtensize : 0);
    std::free(written);
    written = nullptr;
    page_recording(0);
    Take t;
    Takeevents picked;
    if (!ok || readtake(text, t) || takeevents(t, {song}, picked)) {
        std::fprintf(stderr, "starlume: the take could not be kept\n");
        return;
    }
    take = std::move(picked.events);
    kept = true;
    replayed = take.size(); // played already
    std::printf("Take recorded: %zu event%s on '%s'\n", take.size(), take.size() == 1 ? "" : "s",
                song.c_str());
}

// A take opened from file, for the music loaded: its events for the song,
// replayed on a show of its seed, stars and keys, from the music's start.
// Said and left out when it has no section for the song.
bool Page::usetake(const Take& t, const std::string& file) {
    Takeevents picked;
    if (const auto e = takeevents(t, {song}, picked)) {
        std::fprintf(stderr, "%s:%d: %s\n", file.c_str(), e->line, e->why.c_str());
        return false;
    }
    for (const int line : picked.again) {
        std::fprintf(stderr,
                     "starlume: warning: %s:%d: the song again, left out: a video plays its "
                     "music once\n",
                     file.c_str(), line);
    }
    restart(takeargs(t));
    take = std::move(picked.events);
    kept = true;
    std::printf("Take: %zu event%s on '%s'\n", take.size(), take.size() == 1 ? "" : "s",
                song.c_str());
    return true;
}

// The take as the native --record writes it: the header, the song's
// section and its events.
std::string Page::taketext() const {
    std::string text = takeheader(header) + songline(seconds(), song);
    for (const Event& e : take) text += eventline(e);
    return text;
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
    page.loading = takename(songname(name));
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

// A take belongs to the song it was played on: a new song leaves it out,
// unless it is the one a take opened before any music waits for.
EMSCRIPTEN_KEEPALIVE void page_musicend() {
    if (page.loading != page.song) {
        page.take.clear();
        page.kept = false;
    } else if (page.kept) {
        page.restart(page.takeargs(page.header)); // played again from the start
    }
    page.song = page.loading;
    if (page.held) {
        page.usetake(*page.held, page.heldname);
        page.held.reset();
    }
    page.music_start();
}

// The Record button: records, or stops recording.
EMSCRIPTEN_KEEPALIVE void page_record() {
    if (page.writer != nullptr) {
        page.endrecording();
    } else {
        page.record();
    }
}

// Save take: the take as a file, named after its song.
EMSCRIPTEN_KEEPALIVE void page_savetake() {
    page.endrecording();
    if (!page.kept) {
        std::fprintf(stderr, "starlume: no take to save: record one first, or open one\n");
        return;
    }
    const auto dot = page.song.rfind('.');
    const std::string stem =
        dot == std::string::npos || dot == 0 ? page.song : page.song.substr(0, dot);
    page_download((stem + ".take").c_str(), page.taketext().c_str());
}

// Open take: a take file's text (name, size bytes), read as the native
// --take reads one; a fault is said with its line and the show carries on.
EMSCRIPTEN_KEEPALIVE void page_opentake(const char* name, const char* text, int size) {
    using namespace starlume;
    Take t;
    if (const auto e = readtake(std::string_view(text, static_cast<std::size_t>(size)), t)) {
        std::fprintf(stderr, "%s:%d: %s\n", name, e->line, e->why.c_str());
        return;
    }
    page.endrecording();
    if (page.song.empty()) {
        page.held = std::move(t);
        page.heldname = name;
        std::printf("Take: '%s' waits for its music\n", name);
        return;
    }
    if (!page.usetake(t, name)) return;
    page.stopsound();
    page.music_start();
}

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
        // Kept as the count answered, when it was: a video cannot ask.
        if (page.writer != nullptr) {
            Event e;
            e.kind = Eventkind::stars;
            e.stars = page.show->world.order;
            e.ms = page.heard();
            page.writer->write(e);
        }
    }
    std::fclose(in);
}

// A video of the music, as makevideo.js asks: its frames, or 0 when there
// is no music or no WebGL to draw it with.
EMSCRIPTEN_KEEPALIVE int page_videobegin(int width, int height, int fps, int transparent) {
    using namespace starlume;
    if (page.music.empty()) return 0;
    Args args = page.takeargs(page.header); // the seed, stars and keys the show started from
    args.width = width;
    args.height = height;
    args.fps = fps;
    const bool ok = page.video.begin("#videostars", page_softwaregl() == 0, args, page.music,
                                     page.take, transparent != 0);
    return ok ? static_cast<int>(page.video.frames()) : 0;
}

EMSCRIPTEN_KEEPALIVE const std::uint8_t* page_videoframe(int k) { return page.video.draw(k); }
EMSCRIPTEN_KEEPALIVE void page_videolayers(const std::uint8_t* under, const std::uint8_t* over) {
    page.video.layers(under, over);
}
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
    page.start = use;
    page.header.seed = startshow(show, use);
    page.header.stars = show.world.order;
    page.header.keys = use.keys;
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
    page_takeinit();
    emscripten_request_animation_frame_loop(onframe, nullptr);
    return 0;
}
