// The listening run's pass without the window: drain the capture device,
// check the analysis clock, step the stars, and note when a block brings
// sound after silence (the kick of a click). For bench/latency.py, which plays the
// clicks and knows when they reached the device.
//
//     starlume_listenbench DEVICE SECONDS
//
// Prints "kick MS" (ms since the epoch, to the microsecond) for each click,
// then the cost of each pass's drain: "drain MEDIAN P99 P99.9 MAX" in µs.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include <unistd.h>

#include "core/app/exits.h"
#include "core/app/show.h"
#include "core/audio/devices.h"
#include "core/clock/wallclock.h"
#include "platform/sound/capture.h"

using namespace starlume;

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: starlume_listenbench DEVICE SECONDS\n");
        return exitusage;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (!startcapture()) return 1;
    const std::vector<std::string> names = capturedevices();
    const Devicepick pick = pickdevice(names, argv[1]);
    if (pick.index < 0) {
        std::fprintf(stderr, "no single device fits '%s'\n", argv[1]);
        return 1;
    }
    auto capture = Capture::open(names[static_cast<std::size_t>(pick.index)].c_str());
    if (capture == nullptr) return 1;

    // The listening pass with the drain timed on its own: the pass polls the
    // capture again, which finds nothing new.
    Capture& device = *capture;
    const auto show = makeshow();
    show->source = std::move(capture);
    setOrder(show->world, 75);
    setclock(show->clock, std::floor(wallms()), 0);
    const float* kicks = show->analysis.kicks;
    const double end = wallms() + 1000 * std::atof(argv[2]);
    std::vector<double> drains;
    bool quiet = true;
    while (wallms() < end) {
        const auto t0 = std::chrono::steady_clock::now();
        device.poll();
        drains.push_back(
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0)
                .count());
        if (pass(*show, std::floor(wallms()))) {
            const bool heard = *std::max_element(kicks, kicks + bands) > 0.2f;
            if (heard && quiet) std::printf("kick %.3f\n", wallms());
            quiet = !heard;
        }
        usleep(400);
    }
    std::sort(drains.begin(), drains.end());
    std::printf("drain %.2f %.2f %.2f %.2f\n", drains[drains.size() / 2],
                drains[drains.size() * 99 / 100], drains[drains.size() * 999 / 1000],
                drains.back());
    return 0;
}
