// Music analysis: a block of 2048 stereo frames, windowed to mono, reduced to
// 16 band levels. Maths only: the sound comes from a Source, and applying
// the levels to the stars is the world's (kickup).
#pragma once

#include <memory>

#include "core/audio/source.h"

struct kiss_fftr_state;

namespace starlume {

constexpr int blocksize = 2048;
constexpr int bands = 16;
constexpr double blockperiod = 46.439909297052154; // ms, 2048 / 44100 s

// Last bin of each band: floor(2^(0.625 (b + 1))).
extern const int bandedge[bands];

// Level of a band with no power at all (digital silence): no kick.
constexpr float silentlevel = 0.0f;

struct Analysis {
    Analysis();
    float in[blocksize] = {}; // the windowed mono block
    float kicks[bands] = {};  // the band levels
    int sumcounter = 0;

    // The 2048-point plan, made once and kept: every block is the same size.
    struct Planfree {
        void operator()(kiss_fftr_state* plan) const;
    };
    std::unique_ptr<kiss_fftr_state, Planfree> plan;
};

// Reads the next 2048 stereo frames into a.in as windowed mono.
void readSamples(Analysis& a, Source& from);

// Spectrum of a.in into the band levels a.kicks. Without a plan (no memory
// for one) the levels stay as they were.
void performFFT(Analysis& a);

// Level of a band from its mean power; finite for every input.
float bandlevel(float meanpower);

} // namespace starlume
