#include "app/listen.h"

#include <csignal>
#include <cstdio>
#include <memory>
#include <string>

#include <SDL2/SDL.h>

#include "app/startup.h"
#include "app/windowrun.h"
#include "audio/capture.h"
#include "audio/devices.h"

namespace starlume {

namespace {

std::unique_ptr<Capture> capture;

void drain() { capture->drain(); }
void pause() { capture->pause(); }
void resume() { capture->resume(); }

bool start() {
    if (startcapture()) return true;
    std::fprintf(stderr, "starlume: no sound: %s\n", SDL_GetError());
    return false;
}

} // namespace

int listenrun(Args& args) {
    if (!start()) return 1;
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
            return usagestatus;
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
        return 1;
    }
    // As in the file run: Ctrl-C in the console ends the program.
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);

    std::printf("Listening to: %s\n", name.c_str());
    startworld(app::world, app::palette, args);
    printbanner(stdout);
    // What is heard is now: the clock starts here, with nothing to read ahead.
    app::analysis.startm = static_cast<double>(timeofdayms());
    app::runwindow(args, {capture.get(), drain, pause, resume});
}

int listdevices(const Args&) {
    if (!start()) return 1;
    const std::vector<std::string> names = capturedevices();
    if (names.empty()) {
        std::fprintf(stderr, "starlume: no capture devices\n");
        return 1;
    }
    const std::string fallback = defaultcapture();
    for (std::size_t i = 0; i < names.size(); i++) {
        std::printf("%zu: %s%s\n", i, names[i].c_str(),
                    !fallback.empty() && names[i] == fallback ? " (default)" : "");
    }
    return 0;
}

} // namespace starlume
