#include "app/music.h"

#include <algorithm>
#include <atomic>
#include <cstdio>

#include <SDL2/SDL.h>
#include <SDL2/SDL_mixer.h>

#include "app/startup.h"

namespace starlume {

namespace {

// Loaded once and left to the system at exit. Once a tune has played out
// the music library lets go of it, so this is what keeps it reachable;
// volatile because nothing reads it after start-up and the store would
// otherwise be optimised away, and the leak checker would report it.
Mix_Music* volatile music = nullptr;

int framebytes = 4; // of the device's format

// Set just before the music starts; the frames are counted from the first
// mix that has music in it on.
std::atomic<bool> armed{false};
std::atomic<bool> started{false};

// Frames of music mixed so far, pauses left out, and when the last of them
// were mixed; written by the audio thread under a sequence count, so that
// the main thread reads the two as a pair without a lock.
std::atomic<unsigned> sequence{0};
std::atomic<std::int64_t> frames{0};
std::atomic<double> lastmix{0};

// The player's own output for the analysis. Static and never destroyed: the
// audio thread may still push into it while the process exits.
Tapring tapped;
std::atomic<bool> tapping{false};

// Runs on the audio thread after each mix: no allocation, and no lock that
// can wait (the mixer's lock is already held by this thread while it mixes,
// so Mix_PlayingMusic takes it without waiting).
void postmix(void*, Uint8* stream, int len) {
    const double now = nowms();
    if (armed.load(std::memory_order_relaxed) && Mix_PlayingMusic() != 0) {
        armed.store(false, std::memory_order_relaxed);
        started.store(true, std::memory_order_relaxed);
    }
    if (tapping.load(std::memory_order_acquire)) tapped.push(stream, static_cast<std::size_t>(len));
    if (!started.load(std::memory_order_relaxed) || Mix_PausedMusic() != 0) return;
    sequence.fetch_add(1, std::memory_order_acq_rel); // odd: being written
    frames.store(frames.load(std::memory_order_relaxed) + len / framebytes,
                 std::memory_order_relaxed);
    lastmix.store(now, std::memory_order_relaxed);
    sequence.fetch_add(1, std::memory_order_release);
}

} // namespace

bool openaudio() {
    if (Mix_OpenAudio(44100, AUDIO_S16LSB, 2, chunkframes) == -1) return false;
    int rate, channels;
    Uint16 format;
    if (Mix_QuerySpec(&rate, &format, &channels) != 0) {
        framebytes = std::max(1, channels * SDL_AUDIO_BITSIZE(format) / 8);
    }
    return true;
}

bool playmusic(const char* path) {
    music = nochannels(path) ? nullptr : Mix_LoadMUS(path);
    if (music == nullptr) std::printf("Not found\n");
    Mix_SetPostMix(postmix, nullptr);
    armed.store(true, std::memory_order_relaxed);
    const bool plays = Mix_PlayMusic(music, 1) != -1;
    if (!plays) {
        armed.store(false, std::memory_order_relaxed);
        std::printf("Mix_PlayMusic: %s\n", SDL_GetError());
    }
    return plays;
}

Mixed mixed() {
    for (;;) {
        const unsigned before = sequence.load(std::memory_order_acquire);
        const Mixed m{frames.load(std::memory_order_relaxed),
                      lastmix.load(std::memory_order_relaxed)};
        std::atomic_thread_fence(std::memory_order_acquire);
        if (before % 2 == 0 && sequence.load(std::memory_order_relaxed) == before) return m;
    }
}

Tapring& tapmusic() {
    tapping.store(true, std::memory_order_release);
    return tapped;
}

void untapmusic() { tapping.store(false, std::memory_order_release); }

Soundformat mixerformat() {
    int rate = 0, channels = 0;
    Uint16 format = 0;
    Mix_QuerySpec(&rate, &format, &channels);
    return {rate, format, channels};
}

void pausemusic() { Mix_PauseMusic(); }
void resumemusic() { Mix_ResumeMusic(); }

} // namespace starlume
