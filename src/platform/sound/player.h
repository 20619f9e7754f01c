// The music player: SDL_mixer on the audio device, with a post-mix hook that
// counts the music mixed (for the window's clock) and can hand each mixed
// chunk to the analysis (for what only the player plays).
#pragma once

#include <optional>

#include "core/audio/newest.h"
#include "core/audio/tap.h"
#include "core/clock/heard.h"

namespace starlume {

class Sdlplayer final : public Player {
  public:
    // Opens the audio device at 44100 Hz, 16-bit stereo, 1024-frame chunks.
    // Returns false, with SDL's reason in SDL_GetError, when it cannot.
    static bool openaudio();

    // Loads path and plays it once, reporting "Not found" and
    // "Mix_PlayMusic" failures on stdout; the music before it stops. Returns
    // whether the music plays.
    bool play(const char* path);

    // Whether the music is still playing (or paused): false once it has
    // played out.
    bool playing() const;

    // The music's length in seconds, when the player knows it.
    std::optional<double> duration() const;

    // From now on every chunk the mixer hands to the device is also pushed
    // into the ring returned, until untap. Arm it before the music starts so
    // that none of it is missed.
    Tapring& tap();
    void untap();

    // The format the mixer opened the device with.
    Soundformat format() const;

    // The music mixed of the song playing now: none before its first mix.
    Mixed mixed() const override;
    int rate() const override { return format().rate; }
    int chunkframes() const override;
    std::optional<double> serverlatency() override;
    void pause() override;
    void resume() override;
};

} // namespace starlume
