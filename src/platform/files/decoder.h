// The audio of a file as the analysis takes it: 16-bit stereo frames at
// 44100 Hz, decoded by libsndfile (WAV in any layout, AIFF, FLAC, Ogg Vorbis,
// Opus, MP3, ...), mixed down to stereo and resampled. Frames are decoded
// only as they are asked for, in constant memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "core/audio/convert.h"
#include "core/audio/source.h"

namespace starlume {

class Decoder final : public Source {
  public:
    // nullptr when no decoder recognises the file.
    static std::unique_ptr<Decoder> open(const char* path);
    // The same over bytes in memory, which must outlive the decoder.
    static std::unique_ptr<Decoder> open(const unsigned char* data, std::size_t size);

    ~Decoder() override;
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    // Fills count interleaved frames, left first; silence after the end.
    void read(std::int16_t* frames, int count) override { decode(frames, count); }

    // The same, returning how many frames came from the file: fewer than
    // count only at its end.
    int decode(std::int16_t* frames, int count);

    // About how many frames at 44100 Hz the file holds, from its header; 0
    // when it does not say.
    std::int64_t estimate() const;

    struct State;

  private:
    explicit Decoder(std::unique_ptr<State> state);
    // A decoder over an opened file, or nullptr when it cannot be used.
    static std::unique_ptr<Decoder> wrap(std::unique_ptr<State> s);
    std::unique_ptr<State> s;
};

// Side of channel c of n, from the file's channel map (libsndfile's
// SF_CHANNEL_MAP_* values) when it has one (map != nullptr), else from the
// usual order for n channels.
Side sideof(const int* map, int c, int n, bool vorbisorder);

// The whole of a file's music, decoded once: interleaved frames. Empty when
// no decoder reads it.
std::vector<std::int16_t> decodeall(const char* path);

// The sound of a file for the analysis: its decoded audio when a decoder
// reads the file at path; otherwise what the player makes of it (played,
// when the player plays it); otherwise the bytes of ptr from where it stands.
std::unique_ptr<Source> filesource(const char* path, std::FILE* ptr,
                                   std::unique_ptr<Source> played);

} // namespace starlume
