#include "audio/analysis.h"

#include <cmath>
#include <cstdlib>

#include <kiss_fftr.h>

#include "world/random.h"

namespace starlume {

const int bandedge[bands] = {1, 2, 3, 5, 8, 13, 20, 32, 49, 76, 117, 181, 279, 430, 663, 1024};

bool blockdue(const Analysis& a, double nowms) {
    return nowms - a.startm > blockperiod * a.framecounter;
}

bool analysisclock(Analysis& a, World& w, Source& from, double nowms) {
    if (!blockdue(a, nowms)) return false;
    a.framecounter++;
    readSamples(a, from);
    performFFT(a, w);
    return true;
}

double heardorigin(const Mixstate& m, std::optional<double> reported, int option) {
    if (m.rate <= 0) return m.lastms;
    const double chunk = 1000.0 * m.chunkframes / m.rate;
    const double mixed = 1000.0 * static_cast<double>(m.frames) / m.rate;
    if (option >= 0) return m.lastms - mixed + chunk + option;
    if (reported) return m.askedms - mixed + *reported;
    // The newest chunk waits for the one the device is playing, then plays.
    return m.lastms - mixed + 2 * chunk + fallbacklatency;
}

double clocklead(double picturems) { return blockperiod / 2 + picturems; }

void setclock(Analysis& a, double heardms, double lead) {
    a.startm = heardms - lead;
    a.lead = lead;
}

void setlead(Analysis& a, double lead) {
    a.startm += a.lead - lead;
    a.lead = lead;
}

void pauseclock(Analysis& a, std::int64_t nowms) { a.pausedat = static_cast<double>(nowms); }

void resumeclock(Analysis& a, std::int64_t nowms) {
    a.startm += static_cast<double>(nowms) - a.pausedat;
}

void readSamples(Analysis& a, Source& from) {
    std::int16_t frames[blocksize * 2];
    from.read(frames, blocksize);
    for (int i = 0; i < blocksize; i++) {
        const std::int16_t left = frames[2 * i];
        const std::int16_t right = frames[2 * i + 1];
        const auto mono = static_cast<std::int16_t>((left + right) / 2);
        const double w = 0.3635819 - 0.4891775 * std::cos(6.283185307179586 * i / 2047) +
                         0.1365995 * std::cos(12.566370614359172 * i / 2047) -
                         0.0106511 * std::cos(18.84955592153876 * i / 2047);
        a.in[i] = static_cast<float>(mono * w);
    }
}

float bandlevel(float meanpower) {
    if (!(meanpower > 0)) return silentlevel; // ln 0 would be -infinity
    return static_cast<float>(0.045 * std::log(meanpower));
}

void performFFT(Analysis& a, World& w) {
    kiss_fftr_cfg plan = kiss_fftr_alloc(blocksize, 0, nullptr, nullptr);
    if (plan != nullptr) {
        kiss_fft_cpx bins[blocksize / 2 + 1];
        kiss_fftr(plan, a.in, bins);
        std::free(plan);

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
    for (int b = 0; b < bands; b++) kickup(w, b, a.kicks[b]);
}

void kickup(World& w, int band, float level) {
    const double lo = static_cast<float>(band) / 8.0f;
    const double hi = static_cast<float>(band + 1) / 8.0f;
    const int n = w.count();
    for (int k = 0; k < n; k++) {
        const float c = w.bar == -1 ? 1.0f : static_cast<float>((rnd() % 10) / 10.0);
        if (w.x[k] + 1 > lo && w.x[k] + 1 < hi && w.y[k] == -1) w.vy[k] += 0.09 * level * c;
    }
}

} // namespace starlume
