#include "platform/video/render.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <libavutil/log.h>
}

#include "core/app/evening.h"
#include "core/app/exits.h"
#include "core/app/playlist.h"
#include "core/app/show.h"
#include "core/app/showntext.h"
#include "core/clock/videoclock.h"
#include "core/input/take.h"
#include "platform/files/decoder.h"
#include "platform/files/notes.h"
#include "platform/gl/draw.h"
#include "platform/video/batch.h"
#include "platform/video/compose.h"
#include "platform/video/encoder.h"
#include "platform/video/offscreen.h"

namespace starlume {

namespace {

volatile std::sig_atomic_t stopsignal = 0;

void onsignal(int sig) { stopsignal = sig; }

// What the keys see of the clock: F reports milliseconds of music.
const Dance* dancing = nullptr;
int musicelapsed() { return dancing != nullptr ? static_cast<int>(dancing->positionms()) : 0; }
// The soundtrack plays on whatever P does; P only holds the dance.
void soundstays() {}
const Io io{stdin, stdout, musicelapsed, soundstays, soundstays};

int fail(int status, const std::string& message) {
    std::fprintf(stderr, "starlume: %s\n", message.c_str());
    return status;
}

// Drawn frames on their way from the drawing thread to the encoding one, in
// a few buffers that go round.
class Framequeue {
  public:
    Framequeue(int buffers, std::size_t bytes) : store(buffers, std::vector<std::uint8_t>(bytes)) {
        for (auto& b : store) spare.push_back(b.data());
    }

    // A buffer to draw the next frame into; waits for one.
    std::uint8_t* take() { return pop(spare); }
    // Hands a drawn frame on.
    void put(std::uint8_t* frame) { push(ready, frame); }
    // The next drawn frame; nullptr once closed and empty.
    std::uint8_t* next() { return pop(ready); }
    // Gives a frame's buffer back.
    void done(std::uint8_t* frame) { push(spare, frame); }
    // No more frames will come.
    void close() {
        std::lock_guard lock(m);
        closed = true;
        cv.notify_all();
    }

  private:
    std::uint8_t* pop(std::deque<std::uint8_t*>& from) {
        std::unique_lock lock(m);
        cv.wait(lock, [&] { return !from.empty() || (closed && &from == &ready); });
        if (from.empty()) return nullptr;
        std::uint8_t* b = from.front();
        from.pop_front();
        return b;
    }
    void push(std::deque<std::uint8_t*>& to, std::uint8_t* b) {
        std::lock_guard lock(m);
        to.push_back(b);
        cv.notify_all();
    }

    std::mutex m;
    std::condition_variable cv;
    std::vector<std::vector<std::uint8_t>> store;
    std::deque<std::uint8_t*> spare, ready;
    bool closed = false;
};

// The songs of a video played back to back: their sound one after another,
// and where each starts.
struct Album {
    std::vector<Song> songs;               // those that decoded, in order
    std::vector<std::size_t> listed;       // each one's place among the songs given
    std::vector<std::int64_t> starts;      // each one's first frame of music
    std::vector<std::int64_t> firstframes; // the first video frame that shows each
    std::vector<std::int16_t> music;

    std::int64_t frames() const { return static_cast<std::int64_t>(music.size() / 2); }
    std::int64_t end(std::size_t i) const {
        return i + 1 < starts.size() ? starts[i + 1] : frames();
    }
    // The song video frame k shows.
    std::size_t at(std::int64_t k) const {
        const auto after = std::upper_bound(firstframes.begin(), firstframes.end(), k);
        return after == firstframes.begin()
                   ? 0
                   : static_cast<std::size_t>(after - firstframes.begin() - 1);
    }
};

// The encoding thread: sound up to the end of each frame, then the frame,
// dressed as its song is. After a failure it only gives the buffers back, so
// that drawing never waits.
struct Encoding {
    Encoding(Encoder& e, std::unique_ptr<Compose> d, const Args& a, const Album& b,
             std::span<const std::int16_t> m, const Videoclock& c, const Cut& p, Framequeue& q)
        : encoder(e), dressing(std::move(d)), args(a), album(b), music(m), clock(c), part(p),
          queue(q) {}

    Encoder& encoder;
    std::unique_ptr<Compose> dressing; // the cover and the text, when there are any
    std::size_t dressed = 0;           // the song among those given that it dresses
    const Args& args;
    const Album& album;
    std::span<const std::int16_t> music; // the part's, from its start
    const Videoclock& clock;
    const Cut& part;
    Framequeue& queue;
    std::atomic<bool> failed = false;
    Failure failure;

    void run() {
        std::int64_t sent = 0;
        for (std::int64_t k = part.first;; k++) {
            std::uint8_t* frame = queue.next();
            if (frame == nullptr) return;
            const std::int64_t upto = std::min(clock.musicthrough(k), part.to) - part.from;
            while (!failed && sent < upto) {
                const int n = static_cast<int>(std::min<std::int64_t>(4096, upto - sent));
                note(encoder.audio(music.data() + 2 * sent, n));
                sent += n;
            }
            if (!failed) dress(k);
            if (!failed && dressing->active()) note(dressing->apply(frame));
            if (!failed) note(encoder.video(frame));
            queue.done(frame);
        }
    }

    // A new song brings its own title and picture.
    void dress(std::int64_t k) {
        const std::size_t i = album.at(k);
        if (album.listed[i] == dressed) return;
        dressed = album.listed[i];
        dressing = std::make_unique<Compose>();
        note(dressing->open(album.songs[i], args));
    }

    void note(Failure f) {
        if (!f) return;
        failure = std::move(f);
        failed = true;
    }
};

// Why a song cannot be opened (a folder is no song), or 0; without waiting,
// should it be a pipe with no writer yet.
int openerror(const char* path, struct stat* st = nullptr) {
    struct stat own;
    if (st == nullptr) st = &own;
    const int fd = open(path, O_RDONLY | O_NONBLOCK);
    int error = fd < 0 || fstat(fd, st) != 0 ? errno : 0;
    if (fd >= 0) close(fd);
    return error != 0 ? error : S_ISDIR(st->st_mode) ? EISDIR : 0;
}

// Only a file, never a device such as /dev/full, and only one this run
// created.
void removeout(const char* out) {
    struct stat st;
    if (stat(out, &st) == 0 && S_ISREG(st.st_mode)) unlink(out);
}

std::string sizetext(const char* out) {
    struct stat st;
    const double bytes = stat(out, &st) == 0 ? static_cast<double>(st.st_size) : 0;
    char text[32];
    if (bytes < 1e6) {
        std::snprintf(text, sizeof text, "%.0f kB", bytes / 1e3);
    } else {
        std::snprintf(text, sizeof text, "%.1f MB", bytes / 1e6);
    }
    return text;
}

// Everything that can be found wrong before anything is drawn or created:
// a single FILE must open, and no song may be the video's own file.
int check(const Args& args, const std::vector<Song>& songs, bool single) {
    struct stat out;
    const bool exists = stat(args.out, &out) == 0;
    for (const Song& song : songs) {
        const char* path = song.path.c_str();
        struct stat in;
        const int error = openerror(path, &in);
        // Of several, a song that does not open is left out later.
        if (!single && error != 0) continue;
        if (error == EISDIR) {
            return fail(exitnofile, std::string("'") + path + "' is a folder, not a music file");
        }
        if (error != 0) {
            return fail(exitnofile,
                        std::string("cannot open '") + path + "': " + std::strerror(error));
        }
        if (exists && out.st_dev == in.st_dev && out.st_ino == in.st_ino) {
            return fail(exitusage, std::string("'") + args.out +
                                       (single ? "' is the music file itself"
                                               : "' is the song '" + song.path + "' itself") +
                                       "; the video would overwrite it");
        }
    }
    if (Failure e = Encoder::fits(args.out, args.transparent)) return fail(e.status, e.message);
    if (args.transparent && args.quality >= 0 && Encoder::prores(args.out)) {
        return fail(exitusage, "--quality is x264's and VP9's; ProRes 4444 has none");
    }
    return 0;
}

// The part of the video kept, or the status after saying why none is.
int cut(const Args& args, const Videoclock& timeline, Cut& part) {
    if (std::string why = cutvideo(timeline, args.from, args.to, part); !why.empty()) {
        return fail(exitusage, why);
    }
    const double length = static_cast<double>(timeline.musicframes()) / analysisrate;
    if (args.to && *args.to > length) {
        std::fprintf(stderr, "starlume: warning: --to %g is after the end of the music (%s)\n",
                     *args.to, clocktext(length).c_str());
    }
    return 0;
}

// The part's sound, faded in and out where it is cut from the music.
std::vector<std::int16_t> partsound(const std::vector<std::int16_t>& music, const Cut& part) {
    constexpr std::int64_t fade = analysisrate / 50; // 20 ms: too short to hear as a fade
    std::vector<std::int16_t> sound(music.begin() + 2 * part.from, music.begin() + 2 * part.to);
    fadeends(sound.data(), part.to - part.from, fade, part.from > 0,
             part.to < static_cast<std::int64_t>(music.size() / 2));
    return sound;
}

// Keys timed where nothing will press them: the run goes on, but the user
// hears of it.
void warnat(const Args& args, double musicseconds) {
    for (const Timedkeys& t : args.at) {
        if (t.seconds > musicseconds) {
            std::fprintf(stderr,
                         "starlume: warning: --at %g:%s is after the end of the music (%s)\n",
                         t.seconds, t.keys.c_str(), clocktext(musicseconds).c_str());
        }
    }
}

// A take's events that come after the music has ended: left out, and said.
void warntake(const char* take, const std::vector<Event>& events, double musicseconds) {
    const auto late = std::count_if(events.begin(), events.end(),
                                    [&](const Event& e) { return e.ms > musicseconds * 1000; });
    if (late == 0) return;
    std::fprintf(stderr,
                 "starlume: warning: %ld events of '%s' are after the end of the music (%s)\n",
                 static_cast<long>(late), take, clocktext(musicseconds).c_str());
}

// A take's text, as much as a take can hold.
int readtakefile(const char* path, std::string& text) {
    constexpr std::size_t most = std::size_t{256} << 20;
    std::FILE* f = std::fopen(path, "rb");
    if (f == nullptr) {
        return fail(exitnofile, std::string("cannot open '") + path + "': " + std::strerror(errno));
    }
    char chunk[65536];
    std::size_t n;
    while (text.size() <= most && (n = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
        text.append(chunk, n);
    }
    const bool failed = std::ferror(f) != 0;
    const int error = errno;
    std::fclose(f);
    if (failed) {
        return fail(exitnofile, std::string("cannot read '") + path + "': " + std::strerror(error));
    }
    if (text.size() > most) {
        std::fprintf(stderr, "%s:1: larger than 256 MB, which no take is\n", path);
        return exittake;
    }
    return 0;
}

// The run a take asks for: its seed, stars and keys (the options given must
// agree), and the music it names when no FILE is given. 0, or the exit
// status after saying why.
int fromtake(Args& args, std::string& soundpath, Take& take) {
    std::string text;
    if (const int status = readtakefile(args.take, text); status != 0) return status;
    if (const auto e = readtake(text, take)) {
        std::fprintf(stderr, "%s:%d: %s\n", args.take, e->line, e->why.c_str());
        return exittake;
    }
    std::string disagree;
    if (args.seed && *args.seed != take.seed) {
        disagree = "--seed " + std::to_string(*args.seed) +
                   " does not agree with the take's seed " + std::to_string(take.seed);
    } else if (args.stars != 0 && args.stars != take.stars) {
        disagree = "--stars " + std::to_string(args.stars) +
                   " does not agree with the take's stars " + std::to_string(take.stars);
    } else if (!args.keys.empty() && args.keys != take.keys) {
        disagree =
            "--keys " + args.keys + " does not agree with the take's keys '" + take.keys + "'";
    }
    if (!disagree.empty()) return fail(exitusage, disagree);
    args.seed = take.seed;
    args.stars = take.stars;
    args.keys = take.keys;
    if (!take.sound.empty() && args.path == nullptr) {
        const std::string t = args.take;
        const auto slash = t.rfind('/');
        soundpath = take.sound[0] == '/' || slash == std::string::npos
                        ? take.sound
                        : t.substr(0, slash + 1) + take.sound;
        args.path = soundpath.c_str();
    }
    if (args.path == nullptr) {
        return fail(exitusage, std::string("--render needs a FILE: the take '") + args.take +
                                   "' keeps no sound of its own");
    }
    return 0;
}

void warnagain(const char* take, const std::vector<int>& again) {
    for (const int line : again) {
        std::fprintf(stderr,
                     "starlume: warning: %s:%d: the song again, left out: a video plays its "
                     "music once\n",
                     take, line);
    }
}

// The take's events for a single song: the section of the take's own sound
// or of the file.
int songevents(const Args& args, const Take& take, std::vector<Event>& events) {
    std::vector<std::string> names;
    if (!take.sound.empty()) names.push_back(takename(songname(take.sound)));
    names.push_back(takename(songname(args.path)));
    Takeevents picked;
    if (const auto e = takeevents(take, names, picked)) {
        std::fprintf(stderr, "%s:%d: %s\n", args.take, e->line, e->why.c_str());
        return exittake;
    }
    warnagain(args.take, picked.again);
    events = std::move(picked.events);
    return 0;
}

// Decodes the songs and lays them back to back. Of several, those that do
// not open or hold no sound are left out, each said; a single FILE that does
// not fails the run. 0, or the exit status after saying why.
int decodesongs(const Args& args, const std::vector<std::string>& given,
                const std::vector<Song>& songs, bool single, Album& album) {
    for (std::size_t i = 0; i < songs.size(); i++) {
        const char* path = songs[i].path.c_str();
        if (const int error = openerror(path); !single && error != 0) {
            std::fprintf(stderr, "starlume: cannot open '%s': %s\n", path, std::strerror(error));
            continue;
        }
        Heldnotes held;
        std::int64_t announced = 0;
        std::vector<std::int16_t> music = decodeall(path, &announced);
        if (const std::string notes = held.release(); args.verbose) {
            std::fputs(notesline(path, notes).c_str(), stderr);
        }
        // The video is as long as the music there is; a file cut short says so.
        std::fputs(endedearly(path, static_cast<double>(music.size() / 2) / analysisrate,
                              static_cast<double>(announced) / analysisrate)
                       .c_str(),
                   stderr);
        if (music.empty()) {
            const std::string why = std::string("no decoder reads sound from '") + path + "'";
            if (single) return fail(exitnofile, why + "; a video needs decodable audio");
            std::fprintf(stderr, "starlume: %s; left out of the video\n", why.c_str());
            continue;
        }
        album.songs.push_back(songs[i]);
        album.listed.push_back(i);
        album.starts.push_back(album.frames());
        album.music.insert(album.music.end(), music.begin(), music.end());
    }
    if (album.songs.empty()) {
        return fail(exitnofile, given.size() == 1
                                    ? "no song of '" + given[0] +
                                          "' holds sound a decoder reads; a video needs "
                                          "decodable audio"
                                    : std::string("none of the songs given holds sound a decoder "
                                                  "reads; a video needs decodable audio"));
    }
    return 0;
}

// An album's take: each song's own section on the album's timeline.
std::vector<Event> albumtake(const char* takepath, const Take& take, const Albumtake& sections,
                             const Album& album) {
    const std::size_t listed = sections.sections.size();
    std::vector<int> kept(listed, -1);
    std::vector<double> startms(listed, 0), endms(listed, 0);
    for (std::size_t i = 0; i < album.songs.size(); i++) {
        const std::size_t j = album.listed[i];
        kept[j] = sections.sections[j];
        startms[j] = 1000.0 * static_cast<double>(album.starts[i]) / analysisrate;
        endms[j] = 1000.0 * static_cast<double>(album.end(i) - album.starts[i]) / analysisrate;
    }
    int late = 0;
    std::vector<Event> events = albumevents(take, kept, startms, endms, late);
    if (late > 0) {
        std::fprintf(stderr,
                     "starlume: warning: %d events of '%s' are after the end of their songs\n",
                     late, takepath);
    }
    return events;
}

// Where each song lies in the part of the album kept, titled.
std::vector<Chaptermark> albumchapters(const Album& album, const Cut& part) {
    std::vector<Chaptermark> marks;
    for (const Span& s : partspans(album.starts, album.frames(), part)) {
        const Song& song = album.songs[s.index];
        std::string title = songtitle(song);
        // A chapter's title is as shown: mended UTF-8 on one line.
        marks.push_back(
            {s.start, s.end, showntext(title.empty() ? songname(song.path) : title, 200)});
    }
    return marks;
}

// Ctrl-C and SIGTERM stop the video after a frame, with the file whole.
void catchsignals() {
    // Past a file size limit a write fails with EFBIG and the run ends with
    // its message, instead of the signal killing the process mid-file.
    std::signal(SIGXFSZ, SIG_IGN);
    struct sigaction stop {};
    stop.sa_handler = onsignal;
    stop.sa_flags = SA_RESTART | SA_RESETHAND; // a second Ctrl-C ends it at once
    sigaction(SIGINT, &stop, nullptr);
    sigaction(SIGTERM, &stop, nullptr);
}

// Draws every frame of the video into the queue, until the last, a signal or
// a failed encoding; at least one, so that even a video stopped at once
// plays. Returns the frames drawn.
std::int64_t drawall(Dance& dance, Show& show, Offscreen& target, Framequeue& queue,
                     const Encoding& encoding, const Videoclock& timeline, const Cut& part,
                     std::chrono::steady_clock::time_point started) {
    using clock = std::chrono::steady_clock;
    const bool terminal = isatty(STDERR_FILENO) != 0;
    auto shown = started;
    // Before the part, the stars dance unseen, and each frame's colours
    // still move the schemes on. A signal stops the video after the part's
    // first frame, which needs the whole dance before it anyway.
    for (std::int64_t k = 0; k < part.first; k++) {
        dance.toframe(k);
        skipstars(show);
    }
    const std::int64_t total = part.frames();
    std::int64_t drawn = 0;
    Batch batch;
    do {
        dance.toframe(part.first + drawn);
        target.clear();
        drawbatched(show, batch, target);
        std::uint8_t* frame = queue.take();
        target.readback(frame);
        queue.put(frame);
        drawn++;
        const auto now = clock::now();
        if (terminal && now - shown >= std::chrono::milliseconds(100)) {
            shown = now;
            const std::chrono::duration<double> wall = now - started;
            std::fprintf(stderr, "\r%s\033[K",
                         progressline(drawn, total, static_cast<double>(drawn) / timeline.fps(),
                                      wall.count())
                             .c_str());
        }
    } while (drawn < total && stopsignal == 0 && !encoding.failed);
    if (terminal) std::fprintf(stderr, "\r\033[K");
    return drawn;
}

// The summary on stderr, and the status of a run that wrote its file.
int summary(const Args& args, std::int64_t drawn, std::int64_t total, double wallseconds) {
    const double seconds = static_cast<double>(drawn) / args.fps;
    if (stopsignal != 0) {
        std::fprintf(stderr, "starlume: stopped by %s at frame %lld of %lld (%s of music)\n",
                     stopsignal == SIGINT ? "SIGINT" : "SIGTERM", static_cast<long long>(drawn),
                     static_cast<long long>(total), clocktext(seconds).c_str());
    }
    std::fprintf(
        stderr,
        "starlume: wrote '%s': %lld frames, %s, %.2f s of video in %.2f s, %.2fx real time\n",
        args.out, static_cast<long long>(drawn), sizetext(args.out).c_str(), seconds, wallseconds,
        seconds / wallseconds);
    return stopsignal != 0 ? 128 + stopsignal : exitok;
}

} // namespace

int renderrun(const Args& given) {
    const auto started = std::chrono::steady_clock::now();
    av_log_set_level(given.verbose ? AV_LOG_INFO : AV_LOG_QUIET);
    catchsignals();
    Args args = given;
    std::string soundpath; // a take's own sound
    Take take;
    if (args.take != nullptr) {
        if (int status = fromtake(args, soundpath, take); status != 0) return status;
    }
    // The songs, as the window plays them: files, folders and lists. A
    // single file is a video of it alone, with no chapter.
    std::vector<std::string> paths(args.paths.begin(), args.paths.end());
    if (paths.empty()) paths.push_back(args.path);
    const std::vector<Song> songs = playlist(paths, stderr);
    if (songs.empty()) return fail(exitnofile, "no songs in '" + paths[0] + "'");
    const bool single = paths.size() == 1 && songs.size() == 1 && songs[0].path == paths[0];
    std::vector<Event> taken; // the take's events, merged with --at's below
    Albumtake sections;
    if (args.take != nullptr) {
        if (single) {
            if (int status = songevents(args, take, taken); status != 0) return status;
        } else {
            std::vector<std::string> names;
            for (const Song& song : songs) names.push_back(takename(songname(song.path)));
            if (const auto e = albumsections(take, names, sections)) {
                std::fprintf(stderr, "%s:%d: %s\n", args.take, e->line, e->why.c_str());
                return exittake;
            }
            warnagain(args.take, sections.again);
        }
    }
    if (int status = check(args, songs, single); status != 0) return status;
    // Before the music is decoded and the file created: a bad cover is said
    // at once and leaves no file behind.
    auto dressing = std::make_unique<Compose>();
    if (Failure e = dressing->open(songs[0], args)) return fail(e.status, e.message);
    // Decoded once: the music's length, its analysis and the soundtrack.
    Album album;
    if (int status = decodesongs(args, paths, songs, single, album); status != 0) return status;
    const std::vector<std::int16_t>& music = album.music;
    const Videoclock timeline(args.passes, args.fps, album.frames());
    for (const std::int64_t start : album.starts) {
        album.firstframes.push_back(timeline.firstframe(start));
    }
    Cut part;
    if (int status = cut(args, timeline, part); status != 0) return status;
    const double seconds = static_cast<double>(album.frames()) / analysisrate;
    warnat(args, seconds);
    if (args.take != nullptr && single) warntake(args.take, taken, seconds);
    if (args.take != nullptr && !single) taken = albumtake(args.take, take, sections, album);

    Offscreen target;
    if (std::string error; !target.open(args.width, args.height,
                                        starsquare(args.width, args.height, args.stretch), error)) {
        return fail(exitunavailable, "cannot draw offscreen: " + error);
    }
    Encoder encoder;
    if (Failure e = encoder.open(
            args.out, args.width, args.height, args.fps, videosettings(args), args.transparent,
            single ? std::vector<Chaptermark>{} : albumchapters(album, part))) {
        if (encoder.created()) removeout(args.out);
        return fail(e.status, e.message);
    }

    const auto show = makeshow();
    startvideo(*show, args, music, io);
    setglstate();
    // A cover shows through where nothing is drawn; any song of several may
    // bring one. Without one the alpha is dropped, as blending leaves the
    // colours the same whatever it is.
    if (args.transparent || dressing->hascover() || !single) setclearalpha(0);
    Dance dance(timeline, *show, mergeevents(taken, timedevents(args.at)), io);
    dancing = &dance;
    dance.runto(0);

    Framequeue queue(3, static_cast<std::size_t>(args.width) * args.height * 4);
    const bool whole = part.from == 0 && part.to == timeline.musicframes();
    const std::vector<std::int16_t> sound =
        whole ? std::vector<std::int16_t>{} : partsound(music, part);
    Encoding encoding{
        encoder, std::move(dressing), args, album, whole ? music : sound, timeline, part, queue};
    std::thread encoderthread([&] { encoding.run(); });
    const std::int64_t drawn =
        drawall(dance, *show, target, queue, encoding, timeline, part, started);
    dancing = nullptr;
    queue.close();
    encoderthread.join();
    Failure failure = encoding.failed ? encoding.failure : encoder.finish();
    if (failure) {
        removeout(args.out); // created, since it was opened
        return fail(failure.status, failure.message + "; removed it");
    }
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - started;
    return summary(args, drawn, part.frames(), wall.count());
}

} // namespace starlume
