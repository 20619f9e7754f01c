// Music analysis: the wall-clock pacing of sample blocks, the block reader
// and the reduction of each block to 16 band levels that kick the stars.
#pragma once

#include <cstdint>
#include <optional>

#include "audio/source.h"
#include "world/world.h"

namespace starlume {

constexpr int blocksize = 2048;
constexpr int bands = 16;
constexpr double blockperiod = 46.439909297052154; // ms, 2048 / 44100 s

struct Analysis {
    double startm = 0;    // clock origin, ms since the epoch
    int framecounter = 1; // number of the next block to come due
    float in[blocksize] = {};
    float kicks[bands] = {};
    int sumcounter = 0;
    double pausedat = 0; // when the music was paused, ms since the epoch
    double lead = 0;     // ms the clock runs ahead of the music heard
};

// Last bin of each band: floor(2^(0.625 (b + 1))).
extern const int bandedge[bands];

// Level of a band with no power at all (digital silence): no kick.
constexpr float silentlevel = 0.0f;

// Whether the next block is due at time nowms.
bool blockdue(const Analysis& a, double nowms);

// One check of the analysis clock at time nowms, on the same scale as startm
// (the window: whole milliseconds since the epoch; a video: the music
// position). Reads and analyses at most one block; returns whether it did.
bool analysisclock(Analysis& a, World& w, Source& from, double nowms);

// Allowance for the way from the mixer's buffer to the ear when no sound
// server says how long it is, ms.
constexpr double fallbacklatency = 30;

// What the mixer has done with the music so far, for working out when it is
// heard. Times are ms since the epoch; frames leave the pauses out.
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

// How far ahead of the heard music the clock runs, ms: half a block, so a
// block comes due when its middle is heard, and the time the picture takes
// to show a kick (picturems).
double clocklead(double picturems);

// Sets the clock so that blocks come due lead ms ahead of the music heard
// from heardms on.
void setclock(Analysis& a, double heardms, double lead);

// Changes only the lead, keeping where the music is heard and the pauses.
void setlead(Analysis& a, double lead);

// The clock stands still while the music is paused, so that the blocks
// resume where the music does.
void pauseclock(Analysis& a, std::int64_t nowms);
void resumeclock(Analysis& a, std::int64_t nowms);

// Reads the next 2048 stereo frames into a.in as windowed mono.
void readSamples(Analysis& a, Source& from);

// Spectrum of a.in into the band levels a.kicks, then the floor kicks.
void performFFT(Analysis& a, World& w);

// Throws the stars resting on the floor of strip band upward by level.
void kickup(World& w, int band, float level);

// Level of a band from its mean power; finite for every input.
float bandlevel(float meanpower);

} // namespace starlume
