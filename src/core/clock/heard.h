// The window's clock for music the player plays: blocks come due when their
// middle is heard. The player says what it has mixed, the sound server how
// long the newest of it takes to reach the ear.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

#include "core/clock/clock.h"
#include "core/clock/wallclock.h"

namespace starlume {

// Allowance for the way from the mixer's buffer to the ear when no sound
// server says how long it is, ms.
constexpr double fallbacklatency = 30;

// What the mixer has done with the music so far, for working out when it is
// heard. Times are ms on the wall clock; frames leave the pauses out.
struct Mixstate {
    int rate;            // of the device
    int chunkframes;     // mixed at a time
    std::int64_t frames; // mixed so far
    double lastms;       // when the newest of them went to the device
    double askedms;      // when the sound server answered
};

// When the music's first sample is heard, pauses left out, worked back from
// the newest frames mixed. Of the three ways to know how long those take to
// be heard, the best at hand: the sound server's answer (reported) for the
// whole way from the newest frame to the ear; a latency given on the command
// line (option >= 0) from a chunk's first frame to the ear; or, when neither
// is there, the mixer's buffer and an allowance for the way from it.
double heardorigin(const Mixstate& m, std::optional<double> reported, int option);

// Frames of music mixed so far, pauses left out, and when the last of them
// were handed to the device (ms on the wall clock); song counts the pieces
// of music started, this one included.
struct Mixed {
    std::int64_t frames = 0;
    double atms = 0;
    unsigned song = 0;
};

// The count of music frames mixed. The audio thread adds each mix; the main
// thread reads frames and time as a pair, without a lock.
class Mixcount {
  public:
    // Counting starts afresh, as the next song, with the first mix that has
    // music in it from now on.
    void arm() { armed.store(true, std::memory_order_relaxed); }
    void disarm() { armed.store(false, std::memory_order_relaxed); }

    // Audio thread, after each mix of frames frames: whether music was
    // playing in it, and whether it was paused (then nothing is counted).
    void onmix(std::int64_t frames, bool playing, bool paused, double nowms);

    Mixed mixed() const;

  private:
    std::atomic<bool> armed{false};
    std::atomic<bool> started{false};
    std::atomic<unsigned> sequence{0}; // odd while the pair is being written
    std::atomic<std::int64_t> frames{0};
    std::atomic<double> lastmix{0};
    std::atomic<unsigned> song{0};
};

// What the window's clock needs of the player.
class Player {
  public:
    virtual ~Player() = default;
    virtual Mixed mixed() const = 0;
    virtual int rate() const = 0;        // of the device
    virtual int chunkframes() const = 0; // mixed at a time
    // The sound server's figure, ms from the newest frame mixed to the ear,
    // or nothing when no server answers. May take half a second.
    virtual std::optional<double> serverlatency() = 0;
    virtual void pause() = 0;
    virtual void resume() = 0;
};

// A stream the sound server plays: whose it is and its latencies.
struct Playstream {
    long pid;
    std::uint64_t bufferusec; // the stream's own buffer
    std::uint64_t sinkusec;   // the sink's, from there to the ear
};

// The latency of this process's sound, ms: the stream's and the sink's
// together, and with several streams of ours the slowest, heard last.
std::optional<double> ourlatency(const std::vector<Playstream>& streams, long pid);

class Heardclock {
  public:
    // latency: --latency in ms, or -1 to ask the sound server. verbose:
    // where to say what was used, or nullptr.
    Heardclock(Player& player, Wallclock& wall, int latency, std::FILE* verbose = nullptr)
        : player(player), wall(wall), latency(latency), verbose(verbose) {}

    // The clock starts when the music's first frames are mixed: no block
    // comes due until then, and the pass that finds them mixed sets it
    // (follow). After half a second without a mix it is set all the same.
    void start(Clock& c, double picturems);

    // P: the music and the clock stand still. On resume the clock starts
    // again from the next mix, and the server is asked again, since the way
    // out may have changed (headphones plugged in, another sink).
    void pause(Clock& c);
    void resume(Clock& c, double picturems);

    // Before every pass: the clock is set once the music's first frames are
    // mixed; then the lead follows what a frame costs to show.
    void follow(Clock& c, double picturems);

    // Whether the clock has been set from the music heard.
    bool set() const { return !waiting; }

  private:
    void awaitmix(std::int64_t frames);
    void anchor(Clock& c, double picturems);

    Player& player;
    Wallclock& wall;
    int latency;
    std::FILE* verbose;
    bool waiting = false; // for the first mix
    double since = 0;     // when the wait began
};

} // namespace starlume
