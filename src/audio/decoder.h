// The audio of a file as the analysis takes it: 16-bit stereo frames at
// 44100 Hz, decoded by libsndfile (WAV in any layout, AIFF, FLAC, Ogg Vorbis,
// Opus, MP3, ...), mixed down to stereo and resampled with libsoxr. Frames are
// decoded only as they are asked for, in constant memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "audio/source.h"

namespace starlume {

constexpr int analysisrate = 44100;

// Sample rates the decoder takes; a file claiming a rate outside them is left
// to the raw reader rather than asking the resampler for absurd ratios.
constexpr int minrate = 1000;
constexpr int maxrate = 768000;

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

    struct State;

  private:
    explicit Decoder(std::unique_ptr<State> state);
    // A decoder over an opened file, or nullptr when it cannot be used.
    static std::unique_ptr<Decoder> wrap(std::unique_ptr<State> s);
    std::unique_ptr<State> s;
};

// Where a channel goes when more than two are mixed down to stereo.
enum class Side { left, right, both };

// Side of channel c of n, from the file's channel map (libsndfile's
// SF_CHANNEL_MAP_* values) when it has one (map != nullptr), else from the
// usual order for n channels: Ogg's (vorbisorder) or that of WAV and FLAC.
Side sideof(const int* map, int c, int n, bool vorbisorder);

// The channels of n that make each side of a stereo mixdown, and the scale
// that turns each side's sum into its mean. A side that no channel feeds takes
// the other side's.
struct Mixdown {
    std::vector<int> left, right;
    float leftscale = 1, rightscale = 1;
};
Mixdown mixdown(const int* map, int n, bool vorbisorder);

// A sample in -1..1 as a 16-bit encoder writes it: scaled, rounded, clipped.
std::int16_t tosample16(float v);

// The sound of a file for the analysis: its decoded audio when a decoder
// reads the file at path; otherwise what the player makes of it (played,
// when the player plays it); otherwise the bytes of ptr from where it stands.
std::unique_ptr<Source> filesource(const char* path, std::FILE* ptr,
                                   std::unique_ptr<Source> played);

} // namespace starlume
