#include "platform/files/decoder.h"

#include <algorithm>
#include <cstring>

#include <sndfile.h>
#include <sys/stat.h>

#include "platform/files/module.h"
#include "platform/files/resampler.h"

namespace starlume {

namespace {

constexpr int chunksamples = 4096; // samples of all channels per decoder read
constexpr int outchunk = 1024;     // frames per resampler call

// Bytes in memory as a file for libsndfile.
struct Memory {
    const unsigned char* data;
    sf_count_t size;
    sf_count_t pos = 0;
};

sf_count_t memlength(void* m) { return static_cast<Memory*>(m)->size; }

sf_count_t memseek(sf_count_t offset, int whence, void* user) {
    auto* m = static_cast<Memory*>(user);
    const sf_count_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? m->pos : m->size;
    if (offset < -base || offset > m->size - base) return -1;
    m->pos = base + offset;
    return m->pos;
}

sf_count_t memread(void* dst, sf_count_t count, void* user) {
    auto* m = static_cast<Memory*>(user);
    const sf_count_t n = std::clamp<sf_count_t>(count, 0, m->size - m->pos);
    std::memcpy(dst, m->data + m->pos, static_cast<std::size_t>(n));
    m->pos += n;
    return n;
}

sf_count_t memwrite(const void*, sf_count_t, void*) { return 0; }

sf_count_t memtell(void* m) { return static_cast<Memory*>(m)->pos; }

SF_VIRTUAL_IO memoryio = {memlength, memseek, memread, memwrite, memtell};

// Names people know a file by where libsndfile's name of its major format
// would not do; subtype 0 stands for any.
struct Knownname {
    int major, subtype;
    const char* name;
};
constexpr Knownname knownnames[] = {
    {SF_FORMAT_OGG, SF_FORMAT_VORBIS, "Ogg Vorbis"},
    {SF_FORMAT_OGG, SF_FORMAT_OPUS, "Ogg Opus"},
    {SF_FORMAT_OGG, 0, "Ogg"},
    {SF_FORMAT_MPEG, SF_FORMAT_MPEG_LAYER_III, "MP3"},
    {SF_FORMAT_MPEG, SF_FORMAT_MPEG_LAYER_II, "MP2"},
    {SF_FORMAT_MPEG, SF_FORMAT_MPEG_LAYER_I, "MP1"},
    {SF_FORMAT_WAVEX, 0, "WAV"},
    {SF_FORMAT_NIST, 0, "NIST Sphere"},
};

// "FLAC" for libsndfile's "FLAC (Free Lossless Audio Codec)", and the like.
std::string formatname(int format) {
    const int major = format & SF_FORMAT_TYPEMASK, subtype = format & SF_FORMAT_SUBMASK;
    for (const Knownname& k : knownnames) {
        if (k.major == major && (k.subtype == 0 || k.subtype == subtype)) return k.name;
    }
    SF_FORMAT_INFO info{};
    info.format = major;
    if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) != 0) return "?";
    const std::string name = info.name;
    return name.substr(0, name.find(" ("));
}

struct State {
    SNDFILE* sf = nullptr;
    SF_INFO info{};
    Memory memory{nullptr, 0};
    int channels = 0;
    Mixdown mix;
    std::vector<float> decoded;           // one read, all channels
    std::vector<float> stereo;            // the same mixed down
    std::unique_ptr<Resampler> resampler; // none when the file is at 44100 Hz already
    std::vector<float> resampled;
    std::size_t taken = 0, pulled = 0; // frames of stereo the resampler has, of those there
    bool drained = false;              // the file has no more frames
    bool ended = false;                // nor the resampler

    ~State() {
        if (sf != nullptr) sf_close(sf);
    }

    int chunkframes() const { return std::max(1, chunksamples / channels); }

    // Decodes and mixes down up to max frames into stereo; 0 at the end.
    int pull(int max) {
        const sf_count_t got = sf_readf_float(sf, decoded.data(), std::min(max, chunkframes()));
        const int n = got > 0 ? static_cast<int>(got) : 0;
        mixstereo(mix, decoded.data(), channels, n, stereo.data());
        return n;
    }

    // Up to max frames at 44100 Hz into resampled; 0 at the end.
    int resample(int max) {
        for (;;) {
            if (taken == pulled && !drained) {
                pulled = static_cast<std::size_t>(pull(chunkframes()));
                taken = 0;
                drained = pulled == 0;
            }
            std::size_t used = 0;
            const float* in = drained ? nullptr : stereo.data() + 2 * taken;
            const std::size_t made = resampler->process(in, pulled - taken, used, resampled.data(),
                                                        static_cast<std::size_t>(max));
            taken += used;
            // The filter may take input before it gives any back.
            if (made > 0 || drained) return static_cast<int>(made);
        }
    }
};

} // namespace

Side sideof(const int* map, int c, int n, bool vorbis) {
    if (map == nullptr) return sideof(c, n, vorbis);
    switch (map[c]) {
    case SF_CHANNEL_MAP_LEFT:
    case SF_CHANNEL_MAP_FRONT_LEFT:
    case SF_CHANNEL_MAP_REAR_LEFT:
    case SF_CHANNEL_MAP_FRONT_LEFT_OF_CENTER:
    case SF_CHANNEL_MAP_SIDE_LEFT:
    case SF_CHANNEL_MAP_TOP_FRONT_LEFT:
    case SF_CHANNEL_MAP_TOP_REAR_LEFT: return Side::left;
    case SF_CHANNEL_MAP_RIGHT:
    case SF_CHANNEL_MAP_FRONT_RIGHT:
    case SF_CHANNEL_MAP_REAR_RIGHT:
    case SF_CHANNEL_MAP_FRONT_RIGHT_OF_CENTER:
    case SF_CHANNEL_MAP_SIDE_RIGHT:
    case SF_CHANNEL_MAP_TOP_FRONT_RIGHT:
    case SF_CHANNEL_MAP_TOP_REAR_RIGHT: return Side::right;
    default: return Side::both;
    }
}

namespace {

// Takes over an open file; nullptr when its rate or channels are unusable.
std::unique_ptr<State> prepare(std::unique_ptr<State> s) {
    const SF_INFO& info = s->info;
    if (s->sf == nullptr || info.channels < 1 || info.samplerate < minrate ||
        info.samplerate > maxrate) {
        return nullptr;
    }
    const int n = info.channels;
    s->channels = n;
    std::vector<int> map(static_cast<std::size_t>(n));
    const bool named = sf_command(s->sf, SFC_GET_CHANNEL_MAP_INFO, map.data(),
                                  static_cast<int>(sizeof(int) * map.size())) == SF_TRUE;
    const bool vorbis = (info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_OGG;
    std::vector<Side> sides(static_cast<std::size_t>(n));
    for (int c = 0; c < n; c++) sides[c] = sideof(named ? map.data() : nullptr, c, n, vorbis);
    s->mix = mixdown(sides);
    s->decoded.resize(static_cast<std::size_t>(s->chunkframes()) * n);
    s->stereo.resize(static_cast<std::size_t>(s->chunkframes()) * 2);
    if (info.samplerate != analysisrate) {
        s->resampler = makeresampler(info.samplerate);
        if (s->resampler == nullptr) return nullptr;
        s->resampled.resize(2 * outchunk);
    }
    return s;
}

class Sndfile final : public Decoder {
  public:
    explicit Sndfile(std::unique_ptr<State> state) : s(std::move(state)) {}

    int produce(std::int16_t* frames, int count) override {
        int done = 0;
        while (!s->ended && done < count) {
            const int want = std::min(count - done, outchunk);
            const int got = s->resampler != nullptr ? s->resample(want) : s->pull(want);
            const float* from = s->resampler != nullptr ? s->resampled.data() : s->stereo.data();
            if (got == 0) s->ended = true;
            for (int i = 0; i < 2 * got; i++) frames[2 * done + i] = tosample16(from[i]);
            done += got;
        }
        std::fill(frames + 2 * done, frames + 2 * count, std::int16_t{0});
        return done;
    }

    std::int64_t estimate() const override {
        return knownframes() * analysisrate / s->info.samplerate;
    }

    bool ended() const override { return s->ended; }

    Soundinfo info() const override {
        const SF_INFO& f = s->info;
        return {formatname(f.format), f.channels, f.samplerate,
                static_cast<double>(knownframes()) / f.samplerate};
    }

  private:
    // The file's length in its own frames; 0 when libsndfile does not know it.
    std::int64_t knownframes() const {
        const sf_count_t n = s->info.frames;
        return n > 0 && n != SF_COUNT_MAX ? n : 0;
    }

    std::unique_ptr<State> s;
};

// A decoder over a file libsndfile opened, or nullptr when it cannot be used.
std::unique_ptr<Decoder> wrap(std::unique_ptr<State> s) {
    s = prepare(std::move(s));
    return s == nullptr ? nullptr : std::make_unique<Sndfile>(std::move(s));
}

} // namespace

std::unique_ptr<Decoder> Decoder::open(const char* path, Repeat repeat) {
    // A pipe or a device would be read by the decoder as well as by the
    // header report; only plain files are tried.
    struct stat st;
    if (stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
    auto s = std::make_unique<State>();
    s->sf = sf_open(path, SFM_READ, &s->info);
    if (auto d = wrap(std::move(s))) return d;
    return openmodule(path, repeat);
}

std::unique_ptr<Decoder> Decoder::open(const unsigned char* data, std::size_t size, Repeat repeat) {
    auto s = std::make_unique<State>();
    s->memory = Memory{data, static_cast<sf_count_t>(size)};
    s->sf = sf_open_virtual(&memoryio, SFM_READ, &s->info, &s->memory);
    if (auto d = wrap(std::move(s))) return d;
    return openmodule(data, size, repeat);
}

std::vector<std::int16_t> decodeall(const char* path, std::int64_t* announced) {
    std::vector<std::int16_t> music;
    if (announced != nullptr) *announced = 0;
    auto d = Decoder::open(path);
    if (d == nullptr) return music;
    if (announced != nullptr) *announced = d->estimate();
    constexpr int chunk = 65536;
    music.reserve(2 * static_cast<std::size_t>(d->estimate() + chunk));
    for (int got = chunk; got == chunk;) {
        const std::size_t at = music.size();
        music.resize(at + 2 * chunk);
        got = d->decode(music.data() + at, chunk);
        music.resize(at + 2 * static_cast<std::size_t>(got));
    }
    return music;
}

std::unique_ptr<Source> filesource(std::unique_ptr<Decoder> decoded, std::FILE* ptr,
                                   std::unique_ptr<Source> played) {
    if (decoded != nullptr) return decoded;
    if (played != nullptr) return played;
    return std::make_unique<RawSource>(ptr);
}

} // namespace starlume
