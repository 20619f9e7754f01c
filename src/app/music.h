// The music: the file played by SDL_mixer on the audio device.
#pragma once

#include <cstdint>

#include "audio/newest.h"
#include "audio/tap.h"

namespace starlume {

// Frames the mixer mixes at a time.
constexpr int chunkframes = 1024;

// Opens the audio device at 44100 Hz, 16-bit stereo, 1024-frame chunks.
// Returns false, with SDL's reason in SDL_GetError, when it cannot.
bool openaudio();

// Loads path and plays it once, reporting "Not found" and "Mix_PlayMusic"
// failures on stdout. Returns whether the music plays.
bool playmusic(const char* path);

// Frames of music mixed so far, pauses left out, and when the last of them
// were handed to the device (ms since the epoch).
struct Mixed {
    std::int64_t frames;
    double atms;
};
Mixed mixed();

// From now on every chunk the mixer hands to the device is also pushed into
// the ring returned, until untapmusic. Arm it before the music starts so
// that none of it is missed.
Tapring& tapmusic();
void untapmusic();

// The format the mixer opened the device with.
Soundformat mixerformat();

void pausemusic();
void resumemusic();

} // namespace starlume
