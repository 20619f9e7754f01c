// Sound that arrives as it plays (a capture device, the player's own output):
// the newest frames are kept in the device's format, and a block is the
// newest of them converted to 16-bit stereo at 44100 Hz.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/audio/convert.h"
#include "core/audio/source.h"

namespace starlume {

// SDL's encoding of a sample format: bits 0-7 the bits per sample, bit 8
// float, bit 12 big-endian, bit 15 signed.
constexpr std::uint16_t s16le = 0x8010;
constexpr std::uint16_t f32le = 0x8120;

// How a device hands out frames: its rate, sample format and channels,
// interleaved.
struct Soundformat {
    int rate = analysisrate;
    std::uint16_t format = s16le;
    int channels = 2;

    int samplebytes() const { return (format & 0xff) / 8; }
    int framebytes() const { return samplebytes() * channels; }
    // Whether the analysis can take it: 8, 16 or 32-bit samples (float only
    // as 32), at least one channel, a rate the resampler takes.
    bool usable() const;
};

class Newest final : public Source {
  public:
    // Room for a block's worth of the newest frames in format f, which must
    // be usable; a format at another rate than 44100 Hz needs resampler.
    explicit Newest(Soundformat f, std::unique_ptr<Resampler> resampler = nullptr);
    Newest(const Newest&) = delete;
    Newest& operator=(const Newest&) = delete;

    // Appends n bytes of frames in the device's format; a frame may arrive
    // split over two calls. Only the newest are kept.
    void add(const unsigned char* bytes, std::size_t n);

    // Forgets what has arrived: silence until more does.
    void clear();

    // The newest count frames (at most a block), zeros before the first.
    void read(std::int16_t* frames, int count) override;

  private:
    // Device frames that make count frames at 44100 Hz, with some to spare
    // for the resampler to settle.
    int inputframes(int count) const;

    Soundformat fmt;
    Mixdown mix;
    std::vector<unsigned char> history;   // a circle of whole frames
    std::uint64_t total = 0;              // bytes ever added
    std::unique_ptr<Resampler> resampler; // none at 44100 Hz
    std::vector<float> stereo, resampled;
};

} // namespace starlume
