// The music: the file played by SDL_mixer on the audio device.
#pragma once

#include <cstdint>

namespace starlume {

// Frames the mixer mixes at a time.
constexpr int chunkframes = 1024;

// Opens the audio device at 44100 Hz, 16-bit stereo, 1024-frame chunks.
// Returns false, with SDL's reason in SDL_GetError, when it cannot.
bool openaudio();

// Loads path and plays it once, reporting "Not found" and "Mix_PlayMusic"
// failures on stdout. Returns whether the music plays.
bool playmusic(const char* path);

// When the first mixed samples of the music were handed to the device, in
// milliseconds since the epoch; 0 until then.
double musicstarted();

// Frames of music mixed so far, pauses left out, and when the last of them
// were handed to the device (ms since the epoch).
struct Mixed {
    std::int64_t frames;
    double atms;
};
Mixed mixed();

// The rate the device was opened at, which may not be the one asked for.
int mixerrate();

void pausemusic();
void resumemusic();

} // namespace starlume
