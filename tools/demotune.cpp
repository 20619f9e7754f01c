// Writes the demo tune: about 32 s of a small original piece in A minor,
// 16-bit stereo at 44100 Hz, with a kick and a sub bass for the low bands, an
// arpeggio for the middle and hi-hats for the top ones.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <vector>

namespace {

constexpr int rate = 44100;
constexpr double pi = 3.141592653589793;
constexpr double beat = 0.5; // 120 beats per minute

double midi(int note) { return 440.0 * std::pow(2.0, (note - 69) / 12.0); }

void put16(std::FILE* f, int v) {
    std::fputc(v & 0xff, f);
    std::fputc((v >> 8) & 0xff, f);
}

void put32(std::FILE* f, std::uint32_t v) {
    put16(f, static_cast<int>(v & 0xffff));
    put16(f, static_cast<int>(v >> 16));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: demotune out.wav\n");
        return 2;
    }
    const int bars = 16;
    const int frames = static_cast<int>(bars * 4 * beat * rate);
    std::vector<double> left(frames), right(frames);
    std::mt19937 noise(20261207);
    std::uniform_real_distribution<double> white(-1.0, 1.0);

    // Am F C G, two bars each, played twice.
    const int roots[4] = {45, 41, 48, 43};
    const int chords[4][3] = {{57, 60, 64}, {53, 57, 60}, {55, 60, 64}, {55, 59, 62}};
    double prevnoise = 0;

    for (int i = 0; i < frames; i++) {
        const double t = static_cast<double>(i) / rate;
        const int b = static_cast<int>(t / beat); // beat number
        const double tb = t - b * beat;           // time into the beat
        const int chord = (b / 8) % 4;

        // Kick on every beat: a sine falling from 140 Hz to 42 Hz.
        const double kick =
            std::sin(2 * pi * (42 * tb + 98 * (1 - std::exp(-tb * 30)) / 30)) * std::exp(-tb * 7);

        // Sub bass on the root, an octave lower on the off-beat.
        const double bf = midi(roots[chord] - 12 * (b % 2));
        const double bass = 0.6 * std::sin(2 * pi * bf * t) * (1 - std::exp(-tb * 40));

        // Arpeggio on sixteenths, a soft square wave that pans left and right.
        const int sixteenth = static_cast<int>(t / (beat / 4));
        const double ts = t - sixteenth * beat / 4;
        const int note = chords[chord][sixteenth % 3] + 12 * ((sixteenth / 3) % 2);
        const double af = midi(note);
        double arp = 0;
        for (int h = 1; h <= 7; h += 2) arp += std::sin(2 * pi * af * h * t) / h;
        arp *= 0.25 * std::exp(-ts * 9);
        const double pan = 0.5 + 0.4 * std::sin(2 * pi * t / 4);

        // Hi-hat on eighths: differenced noise keeps only the top of the spectrum.
        const double te = t - static_cast<int>(t / (beat / 2)) * beat / 2;
        const double n = white(noise);
        const double hat = 0.5 * (n - prevnoise) * std::exp(-te * 60);
        prevnoise = n;

        // Fade in and out over half a second.
        const double fade = std::min(1.0, std::min(t, frames / static_cast<double>(rate) - t) * 2);
        const double mid = (0.55 * kick + 0.45 * bass) * fade;
        left[i] = mid + (arp * (1 - pan) + hat * 0.6) * fade;
        right[i] = mid + (arp * pan + hat * 0.4) * fade;
    }

    std::FILE* f = std::fopen(argv[1], "wb");
    if (f == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    const std::uint32_t datasize = static_cast<std::uint32_t>(frames) * 4;
    std::fwrite("RIFF", 1, 4, f);
    put32(f, 36 + datasize);
    std::fwrite("WAVEfmt ", 1, 8, f);
    put32(f, 16);
    put16(f, 1);
    put16(f, 2);
    put32(f, rate);
    put32(f, rate * 4);
    put16(f, 4);
    put16(f, 16);
    std::fwrite("data", 1, 4, f);
    put32(f, datasize);
    for (int i = 0; i < frames; i++) {
        put16(f, static_cast<int>(std::lround(std::clamp(left[i], -1.0, 1.0) * 26000)));
        put16(f, static_cast<int>(std::lround(std::clamp(right[i], -1.0, 1.0) * 26000)));
    }
    return std::fclose(f) == 0 ? 0 : 1;
}
