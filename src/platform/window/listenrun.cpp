#include "platform/window/listenrun.h"

#include <cstdio>
#include <memory>
#include <string>

#include <SDL2/SDL.h>

#include "core/app/exits.h"
#include "core/audio/convert.h"
#include "core/audio/devices.h"
#include "platform/sound/capture.h"
#include "platform/window/record.h"
#include "platform/window/stage.h"

namespace starlume {

namespace {

// P stops listening; what is heard after it is news again.
class Listening final : public Stillclock {
  public:
    explicit Listening(Capture& capture) : capture(capture) {}
    void pause(Clock& c) override {
        capture.pause();
        Stillclock::pause(c);
    }
    void resume(Clock& c, double picturems) override {
        Stillclock::resume(c, picturems);
        capture.resume();
    }
    // With the sound kept, what has been heard is what it holds: the take's
    // times then land on the sound a video plays, however the device's
    // clock drifts from the wall clock.
    double heard(const Clock& c, double nowms, bool paused) override {
        if (recordedsound() == nullptr) return Stillclock::heard(c, nowms, paused);
        return 1000.0 * static_cast<double>(capture.kept()) / analysisrate;
    }

  private:
    Capture& capture;
};

bool start() {
    if (startcapture()) return true;
    std::fprintf(stderr, "starlume: no sound: %s\n", SDL_GetError());
    return false;
}

} // namespace

int listenrun(Args& args) {
    if (!start()) return exitnofile;
    std::unique_ptr<Capture> capture;
    // The device as SDL names it: the one picked from the list, else what
    // was typed, for SDL to try and say why not; or the system's default.
    std::string device;
    if (args.device != nullptr) {
        const std::vector<std::string> names = capturedevices();
        const Devicepick pick = pickdevice(names, args.device);
        if (pick.index < 0 && pick.matches.size() > 1) {
            std::fprintf(stderr, "starlume: '%s' fits several capture devices:\n", args.device);
            for (int i : pick.matches) {
                std::fprintf(stderr, "%d: %s\n", i, names[static_cast<std::size_t>(i)].c_str());
            }
            return exitusage;
        }
        device = pick.index >= 0 ? names[static_cast<std::size_t>(pick.index)] : args.device;
        capture = Capture::open(device.c_str());
    } else {
        device = defaultcapture();
        capture = Capture::open(nullptr);
    }
    const std::string name = device.empty() ? "default" : device;
    if (capture == nullptr) {
        std::fprintf(stderr, "starlume: cannot open capture device '%s': %s\n", name.c_str(),
                     SDL_GetError());
        return exitnofile;
    }

    if (const int status = startrecording(args, true); status != 0) return status;
    std::printf("Listening to: %s\n", name.c_str());
    Show& show = windowshow(args);
    recordsong(recordedsoundname(), std::nullopt);
    static Listening listening(*capture);
    Capture& live = *capture;
    show.source = std::move(capture);
    // What is heard is now: the clock starts here, with nothing to read ahead,
    // and the sound kept with --record starts with it.
    setclock(show.clock, clockms(), 0);
    live.keep(recordedsound());
    const int status = runwindow(args, show, listening);
    live.keep(nullptr);
    return status;
}

int listdevices(const Args&) {
    if (!start()) return exitnofile;
    const std::vector<std::string> names = capturedevices();
    if (names.empty()) {
        std::fprintf(stderr, "starlume: no capture devices\n");
        return exitnofile;
    }
    const std::string fallback = defaultcapture();
    for (std::size_t i = 0; i < names.size(); i++) {
        std::printf("%zu: %s%s\n", i, names[i].c_str(),
                    !fallback.empty() && names[i] == fallback ? " (default)" : "");
    }
    return 0;
}

} // namespace starlume
