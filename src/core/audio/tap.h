// The player's own output as the analysis takes it: the audio thread pushes
// every chunk the mixer hands to the device into a ring, and the main thread
// keeps the newest frames. For the files the player plays and no decoder
// reads (tracker modules, MIDI, ...).
#pragma once

#include <cstddef>

#include "core/audio/newest.h"
#include "core/audio/ring.h"

namespace starlume {

// About 1.5 s of 16-bit stereo at 44100 Hz: the main thread drains it on
// every pass, so it only fills while the window is held up (the star count
// prompt), and then what does not fit is dropped.
using Tapring = Ring<unsigned char, std::size_t{1} << 18>;

class Tap final : public Source {
  public:
    // ring carries frames in format f (as the mixer opened the device),
    // converted by resampler when f is not at 44100 Hz.
    Tap(Tapring& ring, Soundformat f, std::unique_ptr<Resampler> resampler = nullptr)
        : ring(ring), newest(f, std::move(resampler)) {}

    // Moves what the audio thread has pushed since into the newest frames.
    void poll() override {
        unsigned char chunk[8192];
        while (const std::size_t n = ring.pop(chunk, sizeof chunk)) newest.add(chunk, n);
    }

    void read(std::int16_t* frames, int count) override {
        poll();
        newest.read(frames, count);
    }

  private:
    Tapring& ring;
    Newest newest;
};

} // namespace starlume
