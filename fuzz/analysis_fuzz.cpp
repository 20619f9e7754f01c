// Arbitrary bytes as a whole file for the decoders (libsndfile reading them
// from memory), and as the sample data that follows the 44-byte header for
// the raw reader: blocks are read and analysed until past the end of the
// audio, over a small world
// with a row of stars on the floor, alternating the random and the full kick
// strength, with a simulation step after each block. Every windowed value,
// band level, velocity and position must stay finite and in range, and only
// stars resting on the floor may be kicked.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "audio/analysis.h"
#include "audio/decoder.h"
#include "world/random.h"
#include "world/world.h"

namespace {

using namespace starlume;

void check(bool ok) {
    if (!ok) std::abort();
}

constexpr int side = 10;
constexpr std::size_t blockbytes = blocksize * 4;
constexpr int maxblocks = 8;

// A 16-bit value times a window weight of at most 1.0000087.
constexpr float maxsample = 32768 * 1.00001f;
// The loudest possible block puts about 3e14 into a bin; ln of that is 33.
// The quietest non-zero power a float holds is about 1e-45; ln of that is -104.
constexpr float maxlevel = 0.045f * 40;
constexpr float minlevel = 0.045f * -110;

void layout(World& w) {
    setOrder(w, side);
    // The bottom row rests on the floor; a few more stars lie on strip
    // boundaries or outside the window, where no kick may reach them.
    for (int i = 0; i < side; i++) w.y[side * i] = -1;
    w.x[1] = -0.875;
    w.y[1] = -1;
    w.x[2] = -1;
    w.y[2] = -1;
    w.x[3] = 1.5;
    w.y[3] = -1;
    w.x[4] = -0.3;
    w.y[4] = -0.9999999;
}

bool finite(const World& w) {
    for (int k = 0; k < w.count(); k++) {
        if (!std::isfinite(w.x[k]) || !std::isfinite(w.y[k]) || !std::isfinite(w.vx[k]) ||
            !std::isfinite(w.vy[k]))
            return false;
    }
    return true;
}

// Reads and analyses blocks from one source, checking every step.
void analyse(Source& from, int blocks) {
    static World w;
    static Analysis a;
    w = World{};
    a = Analysis{};
    layout(w);
    seedrnd(1); // the same random kick strengths on every run of an input

    double vy[side * side];
    for (int b = 0; b < blocks; b++) {
        w.bar = b % 2 == 0 ? 1 : -1;
        readSamples(a, from);
        for (float v : a.in) check(std::isfinite(v) && std::fabs(v) <= maxsample);

        for (int k = 0; k < w.count(); k++) vy[k] = w.vy[k];
        performFFT(a, w);
        check(a.sumcounter == 0);
        for (float level : a.kicks)
            check(std::isfinite(level) && level >= minlevel && level <= maxlevel);
        for (int k = 0; k < w.count(); k++) {
            if (w.y[k] != -1 || stripof(w.x[k]) < 0) check(w.vy[k] == vy[k]);
        }
        check(finite(w));

        simulate(w, a.kicks);
        check(finite(w));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Decoded frames are 16-bit values like the raw ones, so the same bounds hold.
    if (auto decoder = Decoder::open(data, size)) analyse(*decoder, maxblocks);

    std::FILE* ptr = size == 0 ? std::fopen("/dev/null", "rb")
                               : fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
    check(ptr != nullptr);
    // At least one block past the end of the file, which reads as silence.
    RawSource raw(ptr);
    analyse(raw, static_cast<int>(std::min<std::size_t>(size / blockbytes + 2, maxblocks)));
    std::fclose(ptr);
    return 0;
}
