#include "platform/sound/player.h"

#include <algorithm>
#include <atomic>
#include <cstdio>

#include <SDL2/SDL.h>
#include <SDL2/SDL_mixer.h>

#include "core/app/startup.h"
#include "core/clock/wallclock.h"
#include "platform/sound/pulse.h"

namespace starlume {

namespace {

constexpr int mixchunk = 1024; // frames the mixer mixes at a time

// The music playing, left to the system at exit. Once a tune has played out
// the music library lets go of it, so this is what keeps it reachable;
// volatile because nothing else reads it and the store would otherwise be
// optimised away, and the leak checker would report it.
Mix_Music* volatile music = nullptr;

unsigned song = 0; // the count's number of the song playing now

int framebytes = 4; // of the device's format

Mixcount count;

// The player's own output for the analysis. Static and never destroyed: the
// audio thread may still push into it while the process exits.
Tapring tapped;
std::atomic<bool> tapping{false};

// Runs on the audio thread after each mix: no allocation, and no lock that
// can wait (the mixer's lock is already held by this thread while it mixes,
// so Mix_PlayingMusic takes it without waiting).
void postmix(void*, Uint8* stream, int len) {
    const double now = wallms();
    if (tapping.load(std::memory_order_acquire)) tapped.push(stream, static_cast<std::size_t>(len));
    count.onmix(len / framebytes, Mix_PlayingMusic() != 0, Mix_PausedMusic() != 0, now);
}

// The format the mixer opened the device with; all zero before.
Soundformat mixerformat() {
    int rate = 0, channels = 0;
    Uint16 format = 0;
    Mix_QuerySpec(&rate, &format, &channels);
    return {rate, format, channels};
}

} // namespace

bool Sdlplayer::openaudio() {
    // Ctrl-C in the console ends the program, as SDL would otherwise catch it.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (Mix_OpenAudio(44100, AUDIO_S16LSB, 2, mixchunk) == -1) return false;
    framebytes = std::max(1, mixerformat().framebytes());
    Mix_SetPostMix(postmix, nullptr);
    return true;
}

bool Sdlplayer::play(const char* path) {
    if (music != nullptr) {
        Mix_HaltMusic();
        Mix_FreeMusic(music);
    }
    music = nochannels(path) ? nullptr : Mix_LoadMUS(path);
    if (music == nullptr) std::printf("Not found\n");
    // The count starts afresh with the first mix of this music.
    song = count.mixed().song + 1;
    count.arm();
    const bool plays = Mix_PlayMusic(music, 1) != -1;
    Mix_ResumeMusic(); // a song skipped to while paused plays
    if (!plays) {
        count.disarm();
        std::printf("Mix_PlayMusic: %s\n", SDL_GetError());
    }
    return plays;
}

Mixed Sdlplayer::mixed() const {
    const Mixed m = count.mixed();
    return m.song == song ? m : Mixed{};
}

bool Sdlplayer::playing() const { return Mix_PlayingMusic() != 0; }

std::optional<double> Sdlplayer::duration() const {
    const double s = music != nullptr ? Mix_MusicDuration(music) : -1;
    if (s > 0) return s;
    return std::nullopt;
}

int Sdlplayer::chunkframes() const { return mixchunk; }

std::optional<double> Sdlplayer::serverlatency() { return starlume::serverlatency(); }

Tapring& Sdlplayer::tap() {
    tapping.store(true, std::memory_order_release);
    return tapped;
}

void Sdlplayer::untap() { tapping.store(false, std::memory_order_release); }

Soundformat Sdlplayer::format() const { return mixerformat(); }

void Sdlplayer::pause() { Mix_PauseMusic(); }
void Sdlplayer::resume() { Mix_ResumeMusic(); }

} // namespace starlume
