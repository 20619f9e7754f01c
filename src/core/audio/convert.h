// Turning sound as it comes (any sample format, channel count and rate) into
// what the analysis takes: 16-bit stereo frames at 44100 Hz. One mixdown and
// one resampler seam, shared by the file decoders and by live sound.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace starlume {

constexpr int analysisrate = 44100;

// Sample rates taken; a file or device claiming a rate outside them is not
// resampled, rather than asking the resampler for absurd ratios.
constexpr int minrate = 1000;
constexpr int maxrate = 768000;

// Where a channel goes when more than two are mixed down to stereo.
enum class Side { left, right, both };

// Side of channel c of n in the usual order for n channels where a file
// names none: Ogg's (vorbisorder: the centre second) or that of WAV and FLAC
// (the centre third, after the front pair).
Side sideof(int c, int n, bool vorbisorder);

// The channels that make each side of a stereo mixdown, and the scale that
// turns each side's sum into its mean. A side that no channel feeds takes the
// other side's.
struct Mixdown {
    std::vector<int> left, right;
    float leftscale = 1, rightscale = 1;
};
Mixdown mixdown(const std::vector<Side>& sides);

// The usual order's mixdown for n channels.
Mixdown mixdown(int n, bool vorbisorder);

// Mixes frames interleaved frames of channels samples down to stereo.
void mixstereo(const Mixdown& m, const float* in, int channels, int frames, float* stereo);

// A sample in -1..1 as a 16-bit encoder writes it: scaled, rounded, clipped.
std::int16_t tosample16(float v);

// Converts interleaved stereo float frames from one rate to 44100 Hz. The
// platform makes it (libsoxr natively; a page asks the browser for 44100 Hz
// and needs none).
class Resampler {
  public:
    virtual ~Resampler() = default;
    // Takes up to n input frames (in = nullptr: the input has ended, flush)
    // and writes at most room output frames; returns how many it wrote and
    // sets used to the input frames it took.
    virtual std::size_t process(const float* in, std::size_t n, std::size_t& used, float* out,
                                std::size_t room) = 0;
    // Forgets all input: the next frame starts afresh.
    virtual void clear() = 0;
};

} // namespace starlume
