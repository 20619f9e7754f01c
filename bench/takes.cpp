// What a take costs and how close its video comes to the window it was
// played in, in one process: the size of a take of three minutes of busy
// mouse work (a drag the whole time, moves at a mouse's 125 Hz), and the
// stars after a minute of a scripted performance replayed twice on the same
// music, once as a video runs it (a fixed number of passes a second, the
// events at the pass that reaches them) and once as the window does (passes
// as the wall clock lets them run, with jitter and a drawn frame every
// 15 ms, the events between passes, the clock leading by what the picture
// takes to show): the mean distance between the two skies, in world units.
//
//   starlume_takebench [--rate PASSES_A_SECOND]... MUSIC
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "core/app/show.h"
#include "core/clock/videoclock.h"
#include "core/input/take.h"
#include "platform/files/decoder.h"
#include "platform/files/soundfile.h"

using namespace starlume;

namespace {

void nothing() {}
int noelapsed() { return 0; }
const Io io{stdin, stdout, noelapsed, nothing, nothing};

Event keyat(double ms, char key) {
    Event e;
    e.ms = ms;
    e.key = static_cast<unsigned char>(key);
    return e;
}

// A drag from..to ms: pressed, then moved round a circle at 125 Hz.
void drag(std::vector<Event>& out, double from, double to) {
    for (double t = from; t <= to; t += 8) {
        Event e;
        e.ms = t;
        e.kind = t == from ? Eventkind::press : t + 8 > to ? Eventkind::release : Eventkind::move;
        const double a = 2 * M_PI * (t - from) / 4000;
        e.x = 0.5 + 0.3 * std::cos(a);
        e.y = 0.5 + 0.3 * std::sin(a);
        out.push_back(e);
    }
}

// The performance of the minute: radial bars, Fire, two drags and the
// black hole for a while.
std::vector<Event> performance() {
    std::vector<Event> e{keyat(500, 'm'), keyat(510, 'd'), keyat(3000, '7')};
    drag(e, 5000, 15000);
    e.push_back(keyat(20000, 'b'));
    e.push_back(keyat(30000, 'b'));
    drag(e, 35000, 45000);
    return e;
}

Args startargs() {
    Args a;
    a.seed = 1744051234;
    a.width = a.height = 700;
    return a;
}

// The video's sky after seconds, at passes a second.
std::unique_ptr<Show> video(const std::vector<std::int16_t>& music, int passes, double seconds) {
    auto s = makeshow();
    startvideo(*s, startargs(), music, io);
    const Videoclock clock(passes, 60, static_cast<std::int64_t>(music.size() / 2));
    Dance dance(clock, *s, performance(), io);
    dance.runto(static_cast<std::int64_t>(seconds * passes));
    return s;
}

// The window's: a pass every 1/rate s on average, each off by up to a
// fifth of that, and 2 ms more every 15 ms for the frame drawn.
std::unique_ptr<Show> window(const std::vector<std::int16_t>& music, double rate, double seconds) {
    auto s = makeshow();
    startshow(*s, startargs());
    s->source = std::make_unique<Memorysource>(music);
    setclock(s->clock, 0, clocklead(7.5 + 3)); // heard from 0, the picture's lead
    const std::vector<Event> events = performance();
    std::mt19937 jitter(7);
    std::uniform_real_distribution<double> off(-0.2, 0.2);
    const double period = 1000 / rate - 2.0 / 15; // the frames' 2 ms every 15 taken out
    std::size_t next = 0;
    double drawn = 0;
    for (double t = 0; t < seconds * 1000;) {
        for (; next < events.size() && events[next].ms <= t; next++) apply(*s, events[next], io);
        pass(*s, t);
        t += period * (1 + off(jitter));
        if (t > drawn + 15) {
            drawn = t;
            t += 2;
        }
    }
    return s;
}

double meandistance(const World& a, const World& b) {
    double sum = 0;
    for (int k = 0; k < a.count(); k++) sum += std::hypot(a.x[k] - b.x[k], a.y[k] - b.y[k]);
    return sum / a.count();
}

} // namespace

int main(int argc, char** argv) {
    std::vector<double> rates;
    const char* path = nullptr;
    for (int i = 1; i < argc; i++) {
        if (std::strcmp(argv[i], "--rate") == 0 && i + 1 < argc) {
            rates.push_back(std::atof(argv[++i]));
        } else {
            path = argv[i];
        }
    }
    if (path == nullptr) {
        std::fprintf(stderr, "usage: starlume_takebench [--rate N]... MUSIC\n");
        return 64;
    }
    if (rates.empty()) rates = {1800, 2000, 2200};

    // Three minutes of a drag without a break, and what writing a line of it
    // costs the pass that plays it.
    char* text = nullptr;
    std::size_t size = 0;
    std::vector<Event> busy;
    drag(busy, 0, 180000);
    const auto start = std::chrono::steady_clock::now();
    {
        Takewriter w(open_memstream(&text, &size));
        w.header(Take{});
        w.song("My Song.flac", 225.25);
        for (const Event& e : busy) w.write(e);
        w.close();
    }
    const std::chrono::duration<double, std::micro> spent =
        std::chrono::steady_clock::now() - start;
    std::printf("take of 3 minutes of busy mouse work: %zu lines, %.0f kB, %.2f us a line\n",
                static_cast<std::size_t>(std::count(text, text + size, '\n')), size / 1e3,
                spent.count() / static_cast<double>(busy.size()));
    std::free(text);

    const std::vector<std::int16_t> music = decodeall(path);
    if (music.size() < 2 * 44100 * 60) {
        std::fprintf(stderr, "starlume_takebench: '%s' holds less than a minute\n", path);
        return 1;
    }
    // Listening, the sound heard goes to FLAC from the pass, a capture
    // buffer (512 frames) at a time.
    {
        char name[] = "/tmp/starlume_takebench_XXXXXX";
        const int fd = mkstemp(name);
        close(fd);
        std::string error;
        auto flac = Flacwriter::create(name, error);
        const auto begun = std::chrono::steady_clock::now();
        for (std::size_t at = 0; at + 1024 <= 2 * 44100 * 60; at += 1024) {
            flac->write(music.data() + at, 512);
        }
        flac->close(error);
        const std::chrono::duration<double, std::milli> took =
            std::chrono::steady_clock::now() - begun;
        std::printf("the sound kept as FLAC: %.2f ms for each second heard\n", took.count() / 60);
        unlink(name);
    }

    const auto shown = video(music, 2000, 60);
    auto spread = std::make_unique<World>(shown->world);
    resetGrid(*spread);
    std::printf("video at 2000 passes/s against its own start: %.3f world units\n",
                meandistance(shown->world, *spread));
    for (const double r : rates) {
        const auto played = window(music, r, 60);
        const auto matched = video(music, static_cast<int>(r), 60);
        std::printf("window at %.0f passes/s: %.3f from the video, %.3f from a video at "
                    "--passes %.0f\n",
                    r, meandistance(played->world, shown->world),
                    meandistance(played->world, matched->world), r);
    }
    return 0;
}
