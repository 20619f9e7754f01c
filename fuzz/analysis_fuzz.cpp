// Arbitrary bytes as a whole file for the decoders (libsndfile, then
// libopenmpt, reading them from memory), and as the sample data that follows
// the 44-byte header for the raw reader: blocks are read and analysed until
// past the end of the audio. Every windowed value and band level must stay
// finite and in range.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "core/audio/analysis.h"
#include "platform/files/decoder.h"

namespace {

using namespace starlume;

void check(bool ok) {
    if (!ok) std::abort();
}

constexpr std::size_t blockbytes = blocksize * 4;
constexpr int maxblocks = 8;

// A 16-bit value times a window weight of at most 1.0000087.
constexpr float maxsample = 32768 * 1.00001f;
// The loudest possible block puts about 3e14 into a bin; ln of that is 33.
// The quietest non-zero power a float holds is about 1e-45; ln of that is -104.
constexpr float maxlevel = 0.045f * 40;
constexpr float minlevel = 0.045f * -110;

// Reads and analyses blocks from one source, checking every step.
void analyse(Source& from, int blocks) {
    static Analysis a;
    a = Analysis{};
    for (int b = 0; b < blocks; b++) {
        readSamples(a, from);
        for (float v : a.in) check(std::isfinite(v) && std::fabs(v) <= maxsample);
        performFFT(a);
        check(a.sumcounter == 0);
        for (float level : a.kicks)
            check(std::isfinite(level) && level >= minlevel && level <= maxlevel);
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
