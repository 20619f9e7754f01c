// Micro-benchmarks of the per-pass, per-block and per-frame work at 10000
// stars. Build with -DSTARLUME_BENCH=ON and run build-bench/bench/starlume_bench.
#include <benchmark/benchmark.h>
#include <sndfile.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "core/app/show.h"
#include "core/audio/analysis.h"
#include "core/render/frame.h"
#include "core/render/palette.h"
#include "core/world/world.h"
#include "platform/files/decoder.h"

namespace {

using namespace starlume;

// A world of 100 x 100 stars, half of them resting on the floor.
std::unique_ptr<World> busyworld() {
    auto w = std::make_unique<World>();
    setOrder(*w, 100);
    for (int k = 0; k < w->count(); k += 2) w->y[k] = -1;
    return w;
}

// A stereo file of loud noise, long enough to never run out.
std::FILE* noisefile() {
    std::FILE* f = std::tmpfile();
    std::vector<short> samples(2048 * 2 * 64);
    for (auto& s : samples) s = static_cast<short>(std::rand() % 65536 - 32768);
    std::fwrite(samples.data(), sizeof(short), samples.size(), f);
    std::rewind(f);
    return f;
}

void pass(benchmark::State& state) {
    auto w = busyworld();
    const float kicks[16] = {};
    for (auto _ : state) {
        simulate(*w, kicks);
        benchmark::DoNotOptimize(w->vy[0]);
    }
}
BENCHMARK(pass);

// Left button held in radial-bars mode with the distance law off, over the
// grid (0) or with every star gathered at the cursor (1).
void passwithcursor(benchmark::State& state) {
    auto w = busyworld();
    w->mousedown = 1;
    w->mousekick = 1;
    w->distance = -1;
    w->mx1 = 350;
    w->my1 = 350;
    float kicks[16];
    for (int b = 0; b < 16; b++) kicks[b] = 0.5f + 0.05f * b;
    if (state.range(0) == 1) {
        // Held long enough, every star has gathered within the radial bars.
        for (int k = 0; k < w->count(); k++) {
            w->x[k] = 0.04 * std::cos(k * 0.1) * (k % 97) / 97;
            w->y[k] = 0.04 * std::sin(k * 0.1) * (k % 97) / 97;
        }
    }
    for (auto _ : state) {
        simulate(*w, kicks);
        simulate(*w, kicks); // the field acts on every second pass
        benchmark::DoNotOptimize(w->vy[0]);
    }
    state.SetItemsProcessed(2 * state.iterations());
}
BENCHMARK(passwithcursor)->Arg(0)->Arg(1);

void block(benchmark::State& state) {
    const bool kicks = state.range(0) == 1;
    auto w = busyworld();
    auto a = std::make_unique<Analysis>();
    std::FILE* f = noisefile();
    RawSource raw(f);
    for (auto _ : state) {
        if (std::feof(f)) std::rewind(f);
        readSamples(*a, raw);
        performFFT(*a);
        if (kicks) {
            kickall(*w, a->kicks);
        }
        benchmark::DoNotOptimize(a->kicks[0]);
    }
    std::fclose(f);
}
// The levels alone (0), and with the floor kicks that follow them (1).
BENCHMARK(block)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// A minute of loud noise with a bass line, encoded by libsndfile at a rate
// and in a format; the file is removed when the benchmark ends.
std::string encodedfile(int rate, int format) {
    char name[] = "/tmp/starlume_bench_XXXXXX";
    close(mkstemp(name));
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 2;
    info.format = format;
    SNDFILE* f = sf_open(name, SFM_WRITE, &info);
    std::vector<float> second(2 * static_cast<std::size_t>(rate));
    for (int s = 0; s < 60; s++) {
        for (std::size_t i = 0; i < second.size(); i++) {
            const double t = static_cast<double>(i / 2) / rate;
            second[i] = static_cast<float>(0.4 * std::sin(2 * 3.14159265 * (55 + s) * t) +
                                           0.3 * (std::rand() % 2001 / 1000.0 - 1));
        }
        sf_writef_float(f, second.data(), rate);
    }
    sf_close(f);
    return name;
}

// One block decoded (and resampled to 44100 Hz) from a 48 kHz MP3 (0) or a
// 96 kHz 24-bit FLAC (1), analysed and kicked, at 10000 stars.
void decodedblock(benchmark::State& state) {
    const bool flac = state.range(0) == 1;
    const std::string path = flac ? encodedfile(96000, SF_FORMAT_FLAC | SF_FORMAT_PCM_24)
                                  : encodedfile(48000, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III);
    auto w = busyworld();
    auto a = std::make_unique<Analysis>();
    auto decoder = Decoder::open(path.c_str());
    int blocks = 0;
    for (auto _ : state) {
        if (++blocks == 1200) { // the minute is nearly used up: start again
            state.PauseTiming();
            decoder = Decoder::open(path.c_str());
            blocks = 0;
            state.ResumeTiming();
        }
        readSamples(*a, *decoder);
        performFFT(*a);
        kickall(*w, a->kicks);
        benchmark::DoNotOptimize(a->kicks[0]);
    }
    unlink(path.c_str());
}
BENCHMARK(decodedblock)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// A frame's data (colours and glyph vertices) without the GL calls, for a
// scheme and a star count: 100 per side (drawn as points) or 90 (the densest
// grid still drawn as outlines).
void framecolours(benchmark::State& state) {
    auto w = busyworld();
    setOrder(*w, static_cast<int>(state.range(1)));
    for (int k = 0; k < w->count(); k++) w->vx[k] = 0.001 * (k % 17);
    w->color = static_cast<int>(state.range(0));
    Palette p;
    drawsteps(p);
    Frame f;
    for (auto _ : state) {
        buildframe(f, *w, p);
        benchmark::DoNotOptimize(f.xy.data());
    }
}
BENCHMARK(framecolours)->ArgsProduct({{2, 3, 4, 8}, {100, 90}})->Unit(benchmark::kMicrosecond);

// The window's work at 100 stars, pass by pass, in its proportions: a pass
// every 0.5 ms of the analysis clock (a block every 93 or so), a frame built
// every 32 passes; idle on a WAV (0), with the button held in radial bars
// (1), the same on an MP3 (2). Two seconds of passes first, as the pacing
// bench lets the stars settle; the iterations are fixed, so that callgrind
// counts the same work on every run.
void windowpasses(benchmark::State& state) {
    const bool held = state.range(0) >= 1;
    const bool mp3 = state.range(0) == 2;
    const std::string path = encodedfile(44100, mp3 ? SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III
                                                    : SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    auto s = makeshow();
    Args args;
    args.seed = 1;
    args.stars = 100;
    startshow(*s, args);
    s->source = Decoder::open(path.c_str());
    if (held) {
        s->world.mousekick = 1;
        s->world.distance = -1;
        mouse(s->world, 0, 0, 350, 350);
    }
    double now = 0;
    int passes = 0;
    auto one = [&] {
        pass(*s, std::floor(now));
        now += 0.5;
        if (++passes % 32 == 0) buildframe(s->frame, s->world, s->palette);
    };
    for (int p = 0; p < 4000; p++) one();
    for (auto _ : state) one();
    benchmark::DoNotOptimize(s->frame.xy.data());
    unlink(path.c_str());
}
BENCHMARK(windowpasses)->Arg(0)->Arg(1)->Arg(2)->Iterations(4000)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
