// What the sound server (PulseAudio, or PipeWire through its PulseAudio
// service) says about the way from this process's sound to the ear.
#pragma once

#include <optional>

namespace starlume {

// The latency, in ms, that the sound server reports for this process's
// playback streams and the sinks they play on, or nothing when no server
// answers within a short time (ALSA, the dummy driver, no stream yet).
// Blocks for at most about half a second; never call it in a pass.
std::optional<double> serverlatency();

} // namespace starlume
