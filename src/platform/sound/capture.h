// Live sound from a capture device (a microphone, the monitor of an output),
// read through SDL's queue: no callback, so no thread of ours.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/audio/newest.h"

namespace starlume {

// Starts SDL's audio with the monitors of outputs among the capture devices.
// Returns false, with SDL's reason in SDL_GetError, when it cannot.
bool startcapture();

// The capture devices in SDL's order, and the default's name where SDL can
// tell ("" where it cannot).
std::vector<std::string> capturedevices();
std::string defaultcapture();

class Capture final : public Source {
  public:
    // Opens device (nullptr: the system's default) at 44100 Hz, 16-bit
    // stereo, converted by SDL or the sound server, and starts it. nullptr,
    // with SDL's reason in SDL_GetError, when it cannot.
    static std::unique_ptr<Capture> open(const char* device);
    ~Capture() override;
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

    // Moves everything queued into the newest frames. The first time the
    // device is found stopped (unplugged, its server gone) says so on
    // stderr; from then on it is silent.
    void poll() override;

    // From now on, what is captured also goes to sink (nullptr: nowhere),
    // in the order heard; what was captured before is not.
    void keep(Soundsink* sink);
    // Frames handed to the sink so far.
    std::int64_t kept() const { return keptframes; }

    // P: the device stops, what it had captured drained first; on resume
    // what arrives is news again.
    void pause();
    void resume();

    // The newest frames drained.
    void read(std::int16_t* frames, int count) override { newest.read(frames, count); }

  private:
    explicit Capture(std::uint32_t id) : id(id), newest(Soundformat{}) {}
    void drain();

    std::uint32_t id;
    Newest newest;
    bool stopped = false;
    Soundsink* sink = nullptr;
    std::uint32_t skip = 0; // bytes captured before keep, not kept
    std::int64_t keptframes = 0;
};

} // namespace starlume
