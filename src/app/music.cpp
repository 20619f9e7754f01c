#include "app/music.h"

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

// Set just before the music starts; the first mix that has music in it
// notes the time.
std::atomic<bool> armed{false};
std::atomic<std::int64_t> started{0};

// The player's own output for the analysis. Static and never destroyed: the
// audio thread may still push into it while the process exits.
Tapring mixed;
std::atomic<bool> tapping{false};

// Runs on the audio thread after each mix: no allocation, and no lock that
// can wait (the mixer's lock is already held by this thread while it mixes,
// so Mix_PlayingMusic takes it without waiting).
void postmix(void*, Uint8* stream, int len) {
    if (armed.load(std::memory_order_relaxed) && Mix_PlayingMusic() != 0) {
        armed.store(false, std::memory_order_relaxed);
        started.store(timeofdayms(), std::memory_order_release);
    }
    if (tapping.load(std::memory_order_acquire)) mixed.push(stream, static_cast<std::size_t>(len));
}

} // namespace

bool openaudio() { return Mix_OpenAudio(44100, AUDIO_S16LSB, 2, 1024) != -1; }

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

std::int64_t musicstarted() { return started.load(std::memory_order_acquire); }

Tapring& tapmusic() {
    tapping.store(true, std::memory_order_release);
    return mixed;
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
