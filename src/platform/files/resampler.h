// The resampler: libsoxr at high quality, stereo float frames to 44100 Hz.
// The only place one is set up, for the decoders and for live sound alike.
#pragma once

#include <memory>

#include "core/audio/convert.h"

namespace starlume {

// nullptr when libsoxr refuses the rate.
std::unique_ptr<Resampler> makeresampler(int rate);

} // namespace starlume
