#include "audio/decoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include <sndfile.h>
#include <soxr.h>
#include <sys/stat.h>

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

// The usual speaker order where a file names none: Ogg Vorbis and Opus put
// the centre second, WAV and FLAC third, after the front pair.
const char* const wavorder[] = {"",      "B",      "LR",      "LRB",     "LRLR",
                                "LRBLR", "LRBBLR", "LRBBBLR", "LRBBLRLR"};
const char* const vorbisorder[] = {"",      "B",      "LR",      "LBR",     "LRLR",
                                   "LBRLR", "LBRLRB", "LBRLRBB", "LBRLRLRB"};

} // namespace

struct Decoder::State {
    SNDFILE* sf = nullptr;
    SF_INFO info{};
    Memory memory{nullptr, 0};
    int channels = 0;
    Mixdown mix;                // each output side is the mean of its channels
    std::vector<float> decoded; // one read, all channels
    std::vector<float> stereo;  // the same mixed down
    soxr_t soxr = nullptr;      // none when the file is at 44100 Hz already
    std::vector<float> resampled;
    bool ended = false;

    ~State() {
        if (soxr != nullptr) soxr_delete(soxr);
        if (sf != nullptr) sf_close(sf);
    }

    int chunkframes() const { return std::max(1, chunksamples / channels); }

    // Decodes and mixes down up to max frames into stereo; 0 at the end.
    int pull(int max) {
        const sf_count_t got = sf_readf_float(sf, decoded.data(), std::min(max, chunkframes()));
        const int n = got > 0 ? static_cast<int>(got) : 0;
        for (int i = 0; i < n; i++) {
            const float* frame = &decoded[static_cast<std::size_t>(i) * channels];
            float l = 0, r = 0;
            for (int c : mix.left) l += frame[c];
            for (int c : mix.right) r += frame[c];
            stereo[2 * i] = l * mix.leftscale;
            stereo[2 * i + 1] = r * mix.rightscale;
        }
        return n;
    }

    static std::size_t supply(void* state, soxr_in_t* data, std::size_t requested) {
        auto* s = static_cast<State*>(state);
        *data = s->stereo.data(); // with a length of 0: the end of the input
        return static_cast<std::size_t>(s->pull(static_cast<int>(requested)));
    }
};

Side sideof(const int* map, int c, int n, bool vorbis) {
    if (map != nullptr) {
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
    const char* order = (vorbis ? vorbisorder : wavorder)[n < 8 ? n : 8];
    if (c >= static_cast<int>(std::strlen(order))) return Side::both;
    return order[c] == 'L' ? Side::left : order[c] == 'R' ? Side::right : Side::both;
}

Mixdown mixdown(const int* map, int n, bool vorbisorder) {
    Mixdown m;
    for (int c = 0; c < n; c++) {
        const Side side = sideof(map, c, n, vorbisorder);
        if (side != Side::right) m.left.push_back(c);
        if (side != Side::left) m.right.push_back(c);
    }
    if (m.left.empty()) m.left = m.right;
    if (m.right.empty()) m.right = m.left;
    m.leftscale = 1.0f / static_cast<float>(m.left.size());
    m.rightscale = 1.0f / static_cast<float>(m.right.size());
    return m;
}

std::int16_t tosample16(float v) {
    const float scaled = v * 32768.0f;
    if (std::isnan(scaled)) return 0;
    if (scaled <= -32768.0f) return -32768;
    if (scaled >= 32767.0f) return 32767;
    return static_cast<std::int16_t>(std::lrintf(scaled));
}

namespace {

// Takes over an open file; nullptr when its rate or channels are unusable.
std::unique_ptr<Decoder::State> prepare(std::unique_ptr<Decoder::State> s) {
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
    s->mix = mixdown(named ? map.data() : nullptr, n, vorbis);
    s->decoded.resize(static_cast<std::size_t>(s->chunkframes()) * n);
    s->stereo.resize(static_cast<std::size_t>(s->chunkframes()) * 2);

    if (info.samplerate != analysisrate) {
        const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
        const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
        soxr_error_t error = nullptr;
        s->soxr = soxr_create(info.samplerate, analysisrate, 2, &error, &io, &quality, nullptr);
        if (error != nullptr || s->soxr == nullptr ||
            soxr_set_input_fn(s->soxr, Decoder::State::supply, s.get(),
                              static_cast<std::size_t>(s->chunkframes())) != nullptr) {
            return nullptr;
        }
        s->resampled.resize(2 * outchunk);
    }
    return s;
}

} // namespace

Decoder::Decoder(std::unique_ptr<State> state) : s(std::move(state)) {}

Decoder::~Decoder() = default;

std::unique_ptr<Decoder> Decoder::wrap(std::unique_ptr<State> s) {
    s = prepare(std::move(s));
    return s == nullptr ? nullptr : std::unique_ptr<Decoder>(new Decoder(std::move(s)));
}

std::unique_ptr<Decoder> Decoder::open(const char* path) {
    // A pipe or a device would be read by the decoder as well as by the
    // header report; only plain files are tried.
    struct stat st;
    if (stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
    auto s = std::make_unique<State>();
    s->sf = sf_open(path, SFM_READ, &s->info);
    return wrap(std::move(s));
}

std::unique_ptr<Decoder> Decoder::open(const unsigned char* data, std::size_t size) {
    auto s = std::make_unique<State>();
    s->memory = Memory{data, static_cast<sf_count_t>(size)};
    s->sf = sf_open_virtual(&memoryio, SFM_READ, &s->info, &s->memory);
    return wrap(std::move(s));
}

int Decoder::decode(std::int16_t* frames, int count) {
    int done = 0;
    while (!s->ended && done < count) {
        const float* from;
        int got;
        if (s->soxr != nullptr) {
            const int want = std::min(count - done, outchunk);
            got = static_cast<int>(
                soxr_output(s->soxr, s->resampled.data(), static_cast<std::size_t>(want)));
            from = s->resampled.data();
        } else {
            got = s->pull(count - done);
            from = s->stereo.data();
        }
        if (got == 0) s->ended = true;
        for (int i = 0; i < 2 * got; i++) frames[2 * done + i] = tosample16(from[i]);
        done += got;
    }
    std::fill(frames + 2 * done, frames + 2 * count, std::int16_t{0});
    return done;
}

std::unique_ptr<Source> filesource(const char* path, std::FILE* ptr,
                                   std::unique_ptr<Source> played) {
    if (auto decoded = Decoder::open(path)) return decoded;
    if (played != nullptr) return played;
    return std::make_unique<RawSource>(ptr);
}

} // namespace starlume
