// Test fixtures in the compressed formats: re-encodes a WAV file as FLAC, Ogg
// Vorbis, Opus or MP3 with libsndfile. Usage: encode IN.wav OUT FORMAT
#include <cstdio>
#include <cstring>
#include <vector>

#include <sndfile.h>

int main(int argc, char** argv) {
    const struct {
        const char* name;
        int format;
    } formats[] = {{"flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
                   {"ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS},
                   {"opus", SF_FORMAT_OGG | SF_FORMAT_OPUS},
                   {"mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III},
                   {"flac24", SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
                   {"pcm16", SF_FORMAT_WAV | SF_FORMAT_PCM_16},
                   {"pcm24", SF_FORMAT_WAV | SF_FORMAT_PCM_24}};
    int format = 0;
    for (const auto& f : formats) {
        if (argc == 4 && std::strcmp(argv[3], f.name) == 0) format = f.format;
    }
    if (format == 0) {
        std::fprintf(stderr, "usage: encode IN.wav OUT flac|flac24|ogg|opus|mp3|pcm16|pcm24\n");
        return 2;
    }
    SF_INFO info{};
    SNDFILE* in = sf_open(argv[1], SFM_READ, &info);
    if (in == nullptr) {
        std::fprintf(stderr, "%s: %s\n", argv[1], sf_strerror(nullptr));
        return 1;
    }
    info.format = format;
    SNDFILE* out = sf_open(argv[2], SFM_WRITE, &info);
    if (out == nullptr) {
        std::fprintf(stderr, "%s: %s\n", argv[2], sf_strerror(nullptr));
        return 1;
    }
    // The best quality each encoder has: the fixtures test decoding, not codecs.
    double best = 0.0;
    sf_command(out, SFC_SET_COMPRESSION_LEVEL, &best, sizeof best);
    std::vector<float> buf(4096 * static_cast<std::size_t>(info.channels));
    sf_count_t n;
    while ((n = sf_readf_float(in, buf.data(), 4096)) > 0) sf_writef_float(out, buf.data(), n);
    sf_close(in);
    return sf_close(out) == 0 ? 0 : 1;
}
