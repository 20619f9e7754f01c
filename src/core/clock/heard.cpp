#include "core/clock/heard.h"

#include <cmath>
#include <limits>

namespace starlume {

double heardorigin(const Mixstate& m, std::optional<double> reported, int option) {
    if (m.rate <= 0) return m.lastms;
    const double chunk = 1000.0 * m.chunkframes / m.rate;
    const double mixed = 1000.0 * static_cast<double>(m.frames) / m.rate;
    if (option >= 0) return m.lastms - mixed + chunk + option;
    if (reported) return m.askedms - mixed + *reported;
    // The newest chunk waits for the one the device is playing, then plays.
    return m.lastms - mixed + 2 * chunk + fallbacklatency;
}

// No allocation and no lock that can wait: this runs on the audio thread.
void Mixcount::onmix(std::int64_t n, bool playing, bool paused, double nowms) {
    bool fresh = false;
    if (armed.load(std::memory_order_relaxed) && playing) {
        armed.store(false, std::memory_order_relaxed);
        started.store(true, std::memory_order_relaxed);
        fresh = true;
    }
    if (!started.load(std::memory_order_relaxed) || paused) return;
    sequence.fetch_add(1, std::memory_order_acq_rel);
    frames.store((fresh ? 0 : frames.load(std::memory_order_relaxed)) + n,
                 std::memory_order_relaxed);
    lastmix.store(nowms, std::memory_order_relaxed);
    if (fresh) song.store(song.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    sequence.fetch_add(1, std::memory_order_release);
}

Mixed Mixcount::mixed() const {
    for (;;) {
        const unsigned before = sequence.load(std::memory_order_acquire);
        const Mixed m{frames.load(std::memory_order_relaxed),
                      lastmix.load(std::memory_order_relaxed),
                      song.load(std::memory_order_relaxed)};
        std::atomic_thread_fence(std::memory_order_acquire);
        if (before % 2 == 0 && sequence.load(std::memory_order_relaxed) == before) return m;
    }
}

std::optional<double> ourlatency(const std::vector<Playstream>& streams, long pid) {
    std::optional<double> slowest;
    for (const Playstream& s : streams) {
        if (s.pid != pid) continue;
        const double ms = static_cast<double>(s.bufferusec + s.sinkusec) / 1000.0;
        if (!slowest || ms > *slowest) slowest = ms;
    }
    return slowest;
}

void Heardclock::start(Clock& c, double picturems) {
    setclock(c, std::numeric_limits<double>::infinity(), clocklead(picturems));
    waiting = true;
    since = wall.now();
}

void Heardclock::pause(Clock& c) {
    player.pause();
    pauseclock(c, std::floor(wall.now()));
}

void Heardclock::resume(Clock& c, double picturems) {
    resumeclock(c, std::floor(wall.now()));
    const std::int64_t before = player.mixed().frames;
    player.resume();
    awaitmix(before);
    waiting = false;
    anchor(c, picturems);
}

void Heardclock::follow(Clock& c, double picturems) {
    if (waiting) {
        if (player.mixed().frames == 0 && wall.now() < since + 500) return;
        waiting = false;
        anchor(c, picturems);
        return;
    }
    followlead(c, picturems);
}

void Heardclock::awaitmix(std::int64_t frames) {
    const double deadline = wall.now() + 500;
    while (player.mixed().frames <= frames && wall.now() < deadline) wall.sleep(1);
}

// The mixer's count and the server's answer are read around each other; a
// mix in between spoils the pair, and then they are read again.
void Heardclock::anchor(Clock& c, double picturems) {
    Mixstate m{player.rate(), player.chunkframes(), 0, 0, 0};
    std::optional<double> reported;
    for (int tries = 0; tries < 3; tries++) {
        const Mixed before = player.mixed();
        reported = latency < 0 ? player.serverlatency() : std::nullopt;
        m.askedms = wall.now();
        const Mixed after = player.mixed();
        m.frames = after.frames;
        m.lastms = after.frames > 0 ? after.atms : m.askedms; // no mix yet: from now
        if (before.frames == after.frames) break;
    }
    setclock(c, heardorigin(m, reported, latency), clocklead(picturems));
    if (verbose == nullptr) return;
    if (latency >= 0) {
        std::fprintf(verbose, "starlume: output latency %d ms (--latency)", latency);
    } else if (reported) {
        std::fprintf(verbose, "starlume: output latency %.1f ms (the sound server's)", *reported);
    } else {
        std::fprintf(
            verbose, "starlume: output latency %.1f ms (the mixer's buffer twice, and %.0f ms)",
            m.rate > 0 ? 2000.0 * m.chunkframes / m.rate + fallbacklatency : fallbacklatency,
            fallbacklatency);
    }
    std::fprintf(verbose, ", clock lead %.1f ms\n", c.lead);
}

} // namespace starlume
