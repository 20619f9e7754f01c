// Music analysis: the wall-clock pacing of sample blocks, the block reader
// and the reduction of each block to 16 band levels that kick the stars.
#pragma once

#include <cstdint>

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
};

// Last bin of each band: floor(2^(0.625 (b + 1))).
extern const int bandedge[bands];

// Level of a band with no power at all (digital silence): no kick.
constexpr float silentlevel = 0.0f;

// One check of the analysis clock at time nowms, on the same scale as startm
// (the window: whole milliseconds since the epoch; a video: the music
// position). Reads and analyses at most one block; returns whether it did.
bool analysisclock(Analysis& a, World& w, Source& from, double nowms);

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
