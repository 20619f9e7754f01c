#include "platform/window/filerun.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

#include <SDL2/SDL.h>

#include "core/app/exits.h"
#include "core/app/header.h"
#include "core/app/startup.h"
#include "core/audio/tap.h"
#include "core/clock/heard.h"
#include "platform/files/decoder.h"
#include "platform/files/resampler.h"
#include "platform/sound/player.h"
#include "platform/window/stage.h"

namespace starlume {

namespace {

// P on music the player plays: the clock in step with what is heard.
class Heardsound final : public Windowsound {
  public:
    explicit Heardsound(Heardclock& heard) : heard(heard) {}
    void pause(Clock& c) override { heard.pause(c); }
    void resume(Clock& c, double picturems) override { heard.resume(c, picturems); }
    void follow(Clock& c, double picturems) override { heard.follow(c, picturems); }

  private:
    Heardclock& heard;
};

// The player's own output, for what only the player plays; nullptr when it
// does not play or mixes a format the analysis cannot take.
std::unique_ptr<Source> played(Sdlplayer& player, Tapring& ring, bool plays) {
    const Soundformat mixer = player.format();
    if (!plays || !mixer.usable()) return nullptr;
    return std::make_unique<Tap>(ring, mixer,
                                 mixer.rate != analysisrate ? makeresampler(mixer.rate) : nullptr);
}

} // namespace

void filerun(Args& args) {
    static char path[pathcapacity + 1];
    std::FILE* ptr = openaudiofile(stdin, stdout, path, args.path);
    if (ptr == nullptr) std::exit(exitnofile);
    static WavHeader header;
    reportHeader(header, ptr, stdout);

    Show& show = windowshow(args);

    if (!Sdlplayer::openaudio()) {
        std::printf("Mix_OpenAudio: %s\n", SDL_GetError());
        std::exit(exitnoaudio);
    }
    static Sdlplayer player;
    Tapring& ring = player.tap();
    const bool plays = player.play(path);
    std::unique_ptr<Source> tap = played(player, ring, plays);
    const Source* offered = tap.get();
    show.source = filesource(path, ptr, std::move(tap));
    if (offered == nullptr || show.source.get() != offered) player.untap();

    if (!plays) {
        static Stillclock still;
        setclock(show.clock, wallms(), clocklead(picturems()));
        runwindow(args, show, still);
    }
    static Wallclock wall;
    static Heardclock heard(player, wall, args.latency, args.verbose ? stderr : nullptr);
    static Heardsound sound(heard);
    heard.start(show.clock, picturems());
    runwindow(args, show, sound);
}

} // namespace starlume
