#include "core/audio/analysis.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include <kiss_fftr.h>

namespace starlume {

const int bandedge[bands] = {1, 2, 3, 5, 8, 13, 20, 32, 49, 76, 117, 181, 279, 430, 663, 1024};

namespace {

kiss_fftr_state* makeplan() { return kiss_fftr_alloc(blocksize, 0, nullptr, nullptr); }

// The four-term Blackman-Harris window over a block, worked out once: the
// same doubles as the formula per sample, without 6144 cosines a block.
struct Window {
    double w[blocksize];
    Window() {
        for (int i = 0; i < blocksize; i++) {
            w[i] = 0.3635819 - 0.4891775 * std::cos(6.283185307179586 * i / 2047) +
                   0.1365995 * std::cos(12.566370614359172 * i / 2047) -
                   0.0106511 * std::cos(18.84955592153876 * i / 2047);
        }
    }
};

const Window& blockwindow() {
    static const Window w;
    return w;
}

} // namespace

void Analysis::Planfree::operator()(kiss_fftr_state* p) const { std::free(p); }

Analysis::Analysis() : plan(makeplan()) {}

void readSamples(Analysis& a, Source& from) {
    std::int16_t frames[blocksize * 2];
    from.read(frames, blocksize);
    const double* window = blockwindow().w;
    for (int i = 0; i < blocksize; i++) {
        const std::int16_t left = frames[2 * i];
        const std::int16_t right = frames[2 * i + 1];
        const auto mono = static_cast<std::int16_t>((left + right) / 2);
        a.in[i] = static_cast<float>(mono * window[i]);
    }
}

float bandlevel(float meanpower) {
    if (!(meanpower > 0)) return silentlevel; // ln 0 would be -infinity
    return static_cast<float>(0.045 * std::log(meanpower));
}

void performFFT(Analysis& a) {
    if (a.plan == nullptr) a.plan.reset(makeplan()); // it failed before: try again
    if (a.plan == nullptr) return;
    kiss_fft_cpx bins[blocksize / 2 + 1];
    kiss_fftr(a.plan.get(), a.in, bins);

    int band = 0;
    float sum = 0;
    for (int p = 0; p <= blocksize / 2; p++) {
        a.sumcounter++;
        const double re = bins[p].r;
        const double im = bins[p].i;
        sum = static_cast<float>(sum + (re * re + im * im));
        if (p >= bandedge[band]) {
            sum = sum / static_cast<float>(a.sumcounter);
            a.kicks[band] = bandlevel(sum);
            band = (band + 1) % bands;
            sum = 0;
            a.sumcounter = 0;
        }
    }
}

} // namespace starlume
