#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <span>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/audio/analysis.h"
#include "platform/files/decoder.h"
#include "platform/files/module.h"
#include "support.h"

using namespace starlume;
using namespace testsupport;

namespace {

constexpr double pi = std::numbers::pi;

// A few seconds of something like music at any rate: a bass line and chords
// that change every 0.3 s with sharp onsets, left and right different.
std::vector<float> music(int rate, double seconds) {
    const int n = static_cast<int>(seconds * rate);
    std::vector<float> out(2 * static_cast<std::size_t>(n));
    for (int i = 0; i < n; i++) {
        const double t = static_cast<double>(i) / rate;
        const int step = static_cast<int>(t / 0.3);
        const double f = 55.0 * (1 + step % 5);
        const double env = std::exp(-(t - step * 0.3) * 6);
        const double bass = 0.4 * std::sin(2 * pi * f * t);
        double chord = 0;
        for (int h : {4, 5, 6, 9}) chord += 0.1 * env * std::sin(2 * pi * h * f * t);
        out[2 * i] = static_cast<float>(bass + chord);
        out[2 * i + 1] = static_cast<float>(bass - chord);
    }
    return out;
}

// A file written by libsndfile; removed with the test. Channel c of the file
// is the left input when even, the right when odd, unless the input holds
// all channels already (spread false).
class Soundfile {
  public:
    Soundfile(const std::vector<float>& stereo, int rate, int format, int channels = 2,
              bool spread = true) {
        char name[] = "/tmp/starlume_decoder_XXXXXX";
        close(mkstemp(name));
        path = name;
        SF_INFO info{};
        info.samplerate = rate;
        info.channels = channels;
        info.format = format;
        SNDFILE* f = sf_open(name, SFM_WRITE, &info);
        EXPECT_NE(f, nullptr) << sf_strerror(nullptr);
        const std::size_t frames = stereo.size() / (spread ? 2 : channels);
        std::vector<float> all = stereo;
        if (spread) {
            all.resize(frames * channels);
            for (std::size_t i = 0; i < frames; i++) {
                for (int c = 0; c < channels; c++) all[i * channels + c] = stereo[2 * i + c % 2];
            }
        }
        sf_writef_float(f, all.data(), static_cast<sf_count_t>(frames));
        sf_close(f);
    }
    ~Soundfile() { unlink(path.c_str()); }
    std::string path;
};

// Canonical 16-bit stereo WAV bytes of the same music, 44.1 kHz unless
// the header says another rate.
std::string canonical(const std::vector<float>& stereo, std::uint32_t rate = 44100) {
    std::string pcm;
    for (float v : stereo) pcm += le16(static_cast<std::uint16_t>(tosample16(v)));
    return "RIFF" + le32(36 + static_cast<std::uint32_t>(pcm.size())) + "WAVEfmt " + le32(16) +
           le16(1) + le16(2) + le32(rate) + le32(rate * 4) + le16(4) + le16(16) + "data" +
           le32(static_cast<std::uint32_t>(pcm.size())) + pcm;
}

// WAVE_FORMAT_EXTENSIBLE bytes, 16-bit PCM: the channels of mask, frames
// copies of one frame.
std::string extensible(std::uint32_t mask, const std::vector<std::int16_t>& frame, int frames) {
    const auto n = static_cast<std::uint16_t>(frame.size());
    std::string pcm;
    for (int i = 0; i < frames; i++) {
        for (std::int16_t v : frame) pcm += le16(static_cast<std::uint16_t>(v));
    }
    const std::string pcmguid("\x01\x00\x00\x00\x00\x00\x10\x00\x80\x00\x00\xaa\x00\x38\x9b\x71",
                              16);
    return "RIFF" + le32(60 + static_cast<std::uint32_t>(pcm.size())) + "WAVEfmt " + le32(40) +
           le16(0xfffe) + le16(n) + le32(44100) + le32(44100u * 2 * n) + le16(2 * n) + le16(16) +
           le16(22) + le16(16) + le32(mask) + pcmguid + "data" +
           le32(static_cast<std::uint32_t>(pcm.size())) + pcm;
}

// A 31-sample "M.K." module holding one note for positions times 64 rows of
// 0.12 s: a looped 128-byte sine cycle at period 127, about 218 Hz (bin 10 of
// the analysis is 215 Hz).
std::string protracker(int positions) {
    std::string song = "starlume" + std::string(12, '\0') + "sine" + std::string(18, '\0') +
                       be16(64) + std::string("\0\x40\0\0\0\x40", 6);
    for (int i = 0; i < 30; i++) song += std::string(29, '\0') + '\1'; // unused samples
    song += std::string{static_cast<char>(positions), '\x7f'} + std::string(128, '\0') + "M.K.";
    song += std::string("\0\x7f\x10\0", 4) + std::string(1020, '\0'); // the note, then nothing
    for (int i = 0; i < 128; i++)
        song += static_cast<char>(std::lround(100 * std::sin(pi * i / 64)));
    return song;
}

const unsigned char* bytesof(const std::string& s) {
    return reinterpret_cast<const unsigned char*>(s.data());
}

std::unique_ptr<Decoder> openbytes(const std::string& bytes) {
    return Decoder::open(bytesof(bytes), bytes.size());
}

// The strongest band of the block of frames that starts at second t.
int strongest(const std::vector<std::int16_t>& frames, double t) {
    Memorysource from(std::span(frames.data(), frames.size()).subspan(2 * std::lround(t * 44100)));
    Analysis a;
    readSamples(a, from);
    performFFT(a);
    return static_cast<int>(std::max_element(a.kicks, a.kicks + bands) - a.kicks);
}

// Power of frequency f in one side (0 left, 1 right) of 16-bit stereo frames.
double power(const std::vector<std::int16_t>& frames, int side, double f) {
    double re = 0, im = 0;
    for (std::size_t i = 0; i < frames.size() / 2; i++) {
        const double a = 2 * pi * f * static_cast<double>(i) / 44100;
        re += frames[2 * i + side] * std::cos(a);
        im += frames[2 * i + side] * std::sin(a);
    }
    return re * re + im * im;
}

struct Trace {
    std::vector<std::vector<float>> in, kicks;
    std::unique_ptr<Show> s;
};

// Runs passes over the blocks of from, one block each, with a row of stars
// resting on the floor and random kick strengths.
Trace analyse(Source& from, int blocks) {
    Trace r;
    r.s = show(100, from);
    World& w = r.s->world;
    w.gravity = -1; // the stars stay where they are put
    for (int k = 0; k < w.count(); k += 3) w.y[k] = -1;
    r.s->clock.startm = 1'000'000 - 200;
    seedrnd(7);
    for (int b = 0; b < blocks; b++) {
        const std::int64_t now = 1'000'000 + static_cast<std::int64_t>(b * blockperiod);
        EXPECT_TRUE(pass(*r.s, now)) << b;
        r.in.emplace_back(r.s->analysis.in, r.s->analysis.in + blocksize);
        r.kicks.emplace_back(r.s->analysis.kicks, r.s->analysis.kicks + bands);
    }
    return r;
}

// Root mean square of a - b, relative to that of b.
double rmsdiff(const std::vector<float>& a, const std::vector<float>& b) {
    double d = 0, s = 0;
    for (std::size_t i = 0; i < a.size(); i++) {
        d += (a[i] - b[i]) * (a[i] - b[i]);
        s += b[i] * b[i];
    }
    return std::sqrt(d / s);
}

} // namespace

TEST(Decoder, CanonicalWavDecodesBitForBitAsTheRawReader) {
    const std::string bytes = canonical(music(44100, 1.5)); // 32.3 blocks
    Input raw(bytes);
    std::fseek(raw.get(), 44, SEEK_SET);
    auto decoder =
        Decoder::open(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    ASSERT_NE(decoder, nullptr);
    const Trace a = analyse(raw.source(), 36);
    const Trace b = analyse(*decoder, 36);
    for (int block = 0; block < 36; block++) {
        ASSERT_EQ(a.in[block], b.in[block]) << block;
        ASSERT_EQ(a.kicks[block], b.kicks[block]) << block;
    }
    EXPECT_EQ(a.in[35], std::vector<float>(blocksize, 0.0f)); // past the end
    const World &wa = a.s->world, &wb = b.s->world;
    EXPECT_EQ(std::memcmp(wa.vy, wb.vy, sizeof wa.vy), 0);
    EXPECT_NE(std::count_if(wa.vy, wa.vy + wa.count(), [](double v) { return v != 0; }), 0);
}

TEST(Decoder, FileAt48kHzKeepsStepWithItsTwin) {
    // 12 s: a drift of 48/44.1 would put block 250 about a second late.
    const Soundfile twin(music(44100, 12), 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    const Soundfile high(music(48000, 12), 48000, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    auto a = Decoder::open(twin.path.c_str());
    auto b = Decoder::open(high.path.c_str());
    ASSERT_TRUE(a && b);
    const Trace ra = analyse(*a, 252);
    const Trace rb = analyse(*b, 252);
    // The same stretch of music, down to the resampler's rounding; a lag of a
    // single frame would already be above 1%.
    for (int block : {0, 1, 100, 250}) {
        EXPECT_LT(rmsdiff(rb.in[block], ra.in[block]), 0.001) << block;
    }
}

TEST(Decoder, LayoutsAndUnreadableFiles) {
    const std::vector<float> tone = music(44100, 0.2);
    // Mono plays on both sides; six channels mix down by position.
    for (int channels : {1, 6}) {
        const Soundfile f(tone, 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_24, channels);
        auto d = Decoder::open(f.path.c_str());
        ASSERT_NE(d, nullptr);
        std::int16_t frames[2 * 512];
        d->read(frames, 512);
        for (int i = 0; i < 512; i++) {
            // Six channels in WAV order L R C LFE L R, carrying l r l r l r:
            // each side is the mean of its own two and the two middle ones.
            const float l = tone[2 * i], r = tone[2 * i + 1];
            const float left = channels == 1 ? l : (3 * l + r) / 4;
            const float right = channels == 1 ? l : (l + 3 * r) / 4;
            ASSERT_NEAR(frames[2 * i], tosample16(left), 1) << channels << " " << i;
            ASSERT_NEAR(frames[2 * i + 1], tosample16(right), 1) << channels << " " << i;
        }
    }
    // A sample that is not a number silences its own side only.
    std::vector<float> odd = {0.25f, NAN, -0.5f, INFINITY};
    const Soundfile f(odd, 44100, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    std::int16_t frames[4];
    Decoder::open(f.path.c_str())->read(frames, 2);
    EXPECT_EQ(std::vector<std::int16_t>(frames, frames + 4),
              (std::vector<std::int16_t>{8192, 0, -16384, 32767}));

    const std::string zero = "RIFF" + le32(40) + "WAVEfmt " + le32(16) + le16(1) + le16(2) +
                             le32(0) + le32(0) + le16(4) + le16(16) + "data" + le32(4) + "abcd";
    for (const std::string& bytes : {std::string("not a sound file\n"), std::string(), zero}) {
        EXPECT_EQ(Decoder::open(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()),
                  nullptr);
    }
    EXPECT_EQ(Decoder::open("/tmp"), nullptr);
    EXPECT_EQ(Decoder::open("/nonexistent/song.flac"), nullptr);
}

TEST(Decoder, SidesAndSamples) {
    // position of channel c of n when the file names none; '-' marks both sides
    const std::pair<int, const char*> order[] = {
        {1, "-"}, {2, "LR"}, {6, "LR--LR"}, {10, "LR--LRLR--"}};
    for (const auto& [n, sides] : order) {
        for (int c = 0; c < n; c++) {
            const Side want = sides[c] == 'L'   ? Side::left
                              : sides[c] == 'R' ? Side::right
                                                : Side::both;
            EXPECT_EQ(sideof(nullptr, c, n, false), want) << n << " " << c;
        }
    }
    EXPECT_EQ(sideof(nullptr, 1, 6, true), Side::both); // Ogg puts the centre second
    EXPECT_EQ(sideof(nullptr, 2, 6, true), Side::right);
    const int map[] = {SF_CHANNEL_MAP_SIDE_RIGHT, SF_CHANNEL_MAP_TOP_REAR_LEFT, SF_CHANNEL_MAP_LFE};
    EXPECT_EQ(sideof(map, 0, 3, false), Side::right);
    EXPECT_EQ(sideof(map, 1, 3, false), Side::left);
    EXPECT_EQ(sideof(map, 2, 3, false), Side::both);

    const std::pair<float, int> samples[] = {
        {0.0f, 0},       {1.0f, 32767},         {-1.0f, -32768},       {2.5f, 32767},
        {-7.0f, -32768}, {100.4f / 32768, 100}, {100.6f / 32768, 101}, {-100.6f / 32768, -101},
        {NAN, 0},        {-INFINITY, -32768}};
    for (const auto& [v, s] : samples) EXPECT_EQ(tosample16(v), s) << v;
}

TEST(AnalysisClock, StandsStillWhileThePauseLasts) {
    Input in(std::string(60 * blocksize * 4, '\0'));
    auto s = show(1, in.source());
    const std::int64_t t0 = 1'700'000'000'000;
    s->clock.startm = static_cast<double>(t0 - 200);
    while (pass(*s, t0 + 1000)) {
    }
    const int before = s->clock.framecounter;
    pauseclock(s->clock, t0 + 1000);
    s->world.paused = 1;
    EXPECT_FALSE(pass(*s, t0 + 3000)); // no block while paused
    resumeclock(s->clock, t0 + 6000);  // five seconds paused
    s->world.paused = -1;
    EXPECT_FALSE(pass(*s, t0 + 6000));
    // one block period later exactly one more block is due, as without the pause
    int due = 0;
    while (pass(*s, t0 + 6047)) due++;
    EXPECT_EQ(due, 1);
    EXPECT_EQ(s->clock.framecounter, before + 1);
}

TEST(Decoder, MixdownByPositionAndTheGates) {
    // Channel masks as the file names them, a different value in each channel.
    struct Case {
        std::uint32_t mask;
        std::vector<std::int16_t> frame;
        std::int16_t left, right;
    };
    const Case cases[] = {
        {0x33, {1000, 2000, 3000, 4000}, 2000, 3000}, // FL FR BL BR: the rear pair keeps its sides
        {0x13, {1000, 2000, 3000}, 2000, 2000},       // FL FR BL: FR alone on the right, whole
        {0x2, {1000}, 1000, 1000},                    // front right only: on both sides
    };
    for (const Case& c : cases) {
        const std::string bytes = extensible(c.mask, c.frame, 64);
        auto d = openbytes(bytes);
        ASSERT_NE(d, nullptr) << c.mask;
        std::int16_t frames[2 * 64];
        d->read(frames, 64);
        for (int i = 0; i < 64; i++) {
            ASSERT_EQ(frames[2 * i], c.left) << c.mask << " " << i;
            ASSERT_EQ(frames[2 * i + 1], c.right) << c.mask << " " << i;
        }
    }

    // Opus in the Ogg order L C R: a tone in each, the middle one on both sides.
    const double tones[] = {300, 700, 1500};
    std::vector<float> three;
    for (int i = 0; i < 48000; i++) {
        for (double f : tones) three.push_back(0.3f * std::sin(2 * pi * f * i / 48000));
    }
    const Soundfile opus(three, 48000, SF_FORMAT_OGG | SF_FORMAT_OPUS, 3, false);
    auto d = Decoder::open(opus.path.c_str());
    ASSERT_NE(d, nullptr);
    std::vector<std::int16_t> frames(2 * 8192);
    d->read(frames.data(), 4096); // past the codec's start
    d->read(frames.data(), 8192);
    for (int side : {0, 1}) {
        const double centre = power(frames, side, tones[1]);
        EXPECT_GT(power(frames, side, tones[2 * side]), centre / 4) << side; // its own
        EXPECT_GT(centre, 1e12) << side;
        EXPECT_LT(power(frames, side, tones[2 - 2 * side]), centre / 1000) << side; // the other
    }

    // Rates the decoder takes, from 1 kHz to 768 kHz.
    const std::pair<std::uint32_t, bool> rates[] = {
        {999, false}, {1000, true}, {768000, true}, {768001, false}};
    for (const auto& [rate, takes] : rates) {
        EXPECT_EQ(openbytes(canonical(music(44100, 0.01), rate)) != nullptr, takes) << rate;
    }

    // A pipe would be read by the decoder and by the header report alike.
    char fifo[] = "/tmp/starlume_fifo_XXXXXX";
    close(mkstemp(fifo));
    unlink(fifo);
    ASSERT_EQ(mkfifo(fifo, 0600), 0);
    EXPECT_EQ(Decoder::open(fifo), nullptr);
    unlink(fifo);
}

TEST(Decoder, FileSourceDecodedElsePlayedElseRaw) {
    struct Played final : Source {
        void read(std::int16_t* frames, int count) override { std::fill_n(frames, 2 * count, 7); }
    };
    const Soundfile wav(music(44100, 0.1), 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    char text[] = "/tmp/starlume_text_XXXXXX";
    const int fd = mkstemp(text);
    ASSERT_EQ(write(fd, "not a sound file", 16), 16);
    close(fd);
    std::int16_t want[8], got[8];
    Decoder::open(wav.path.c_str())->read(want, 4);
    for (const char* path : {wav.path.c_str(), static_cast<const char*>(text)}) {
        // Read raw from the start, the stream would give the header's bytes.
        std::FILE* ptr = std::fopen(path, "rb");
        filesource(Decoder::open(path), ptr, std::make_unique<Played>())->read(got, 4);
        if (path == text) std::fill_n(want, 8, 7);
        EXPECT_EQ(std::vector<std::int16_t>(got, got + 8),
                  std::vector<std::int16_t>(want, want + 8));
        std::rewind(ptr);
        filesource(Decoder::open(path), ptr, nullptr)->read(got, 1);
        std::fclose(ptr);
    }
    EXPECT_EQ(got[0], 'n' | 'o' << 8);
    unlink(text);
}

TEST(Decoder, ModuleRendersItsToneTheSameEveryTimeOnceOrForEver) {
    const std::string bytes = protracker(1);
    char path[] = "/tmp/starlume_module_XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    close(fd);
    // Once through: the song and libopenmpt's short fade-out.
    const std::vector<std::int16_t> once = decodeall(path);
    EXPECT_NEAR(static_cast<double>(once.size()) / 2 / 44100, 7.68, 0.2);
    auto d = openbytes(bytes);
    const Soundinfo i = d->info();
    EXPECT_EQ(std::tuple(i.format, i.channels, i.rate),
              std::tuple(std::string("ProTracker MOD (M.K.)"), 4, 44100));
    EXPECT_NEAR(i.seconds, 7.68, 1e-6);
    EXPECT_EQ(d->estimate(), std::llround(7.68 * 44100));
    // Dither off: a second render, from memory and read in other steps, is
    // the same to the bit.
    std::vector<std::int16_t> again(once.size() + 2 * 777);
    for (std::size_t at = 0, got = 1; got > 0 && at < once.size(); at += 2 * got)
        got = static_cast<std::size_t>(d->decode(again.data() + at, 777));
    again.resize(once.size());
    EXPECT_EQ(again, once);
    EXPECT_EQ(d->decode(again.data(), 1), 0);

    // The window's source loops as the player does.
    std::vector<std::int16_t> looped(2 * 21 * 44100);
    filesource(Decoder::open(path, Repeat::forever), nullptr, nullptr)
        ->read(looped.data(), 21 * 44100);
    unlink(path);
    for (double t : {1.0, 5.0, 9.0, 20.0}) {
        const int band = strongest(looped, t);
        EXPECT_TRUE(band == 4 || band == 5) << t << " s: band " << band;
    }
    // The module decoder leaves other files alone.
    for (const std::string& other :
         {std::string("not a module\n"), std::string(), canonical(music(44100, 0.1))})
        EXPECT_EQ(openmodule(bytesof(other), other.size(), Repeat::once), nullptr) << other.size();
}

TEST(Decoder, InfoNamesTheFormat) {
    struct Case {
        int format, channels;
        const char* name;
        double near; // of a second
    };
    const Case cases[] = {
        {SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, "WAV", 1e-9},
        {SF_FORMAT_WAVEX | SF_FORMAT_FLOAT, 6, "WAV", 1e-9},
        {SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 1, "FLAC", 1e-9},
        {SF_FORMAT_OGG | SF_FORMAT_VORBIS, 2, "Ogg Vorbis", 1e-9},
        {SF_FORMAT_OGG | SF_FORMAT_OPUS, 2, "Ogg Opus", 0.01},
        {SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 2, "MP3", 0.1},
    };
    for (const Case& c : cases) {
        const Soundinfo i =
            Decoder::open(Soundfile(music(48000, 1), 48000, c.format, c.channels).path.c_str())
                ->info();
        EXPECT_EQ(std::tuple(i.format, i.channels, i.rate),
                  std::tuple(std::string(c.name), c.channels, 48000));
        EXPECT_NEAR(i.seconds, 1, c.near) << c.name;
    }
}
