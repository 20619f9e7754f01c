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
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include <unistd.h>

#include "app/startup.h"
#include "audio/analysis.h"
#include "audio/capture.h"
#include "audio/devices.h"

using namespace starlume;

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: starlume_listenbench DEVICE SECONDS\n");
        return 64;
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

    auto world = std::make_unique<World>();
    auto analysis = std::make_unique<Analysis>();
    setOrder(*world, 75);
    analysis->startm = static_cast<double>(timeofdayms());
    const double end = nowms() + 1000 * std::atof(argv[2]);
    std::vector<double> drains;
    bool quiet = true;
    while (nowms() < end) {
        const auto t0 = std::chrono::steady_clock::now();
        capture->drain();
        drains.push_back(
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0)
                .count());
        if (analysisclock(*analysis, *world, *capture, static_cast<double>(timeofdayms()))) {
            const bool heard = *std::max_element(analysis->kicks, analysis->kicks + bands) > 0.2f;
            if (heard && quiet) std::printf("kick %.3f\n", nowms());
            quiet = !heard;
        }
        simulate(*world, analysis->kicks);
        usleep(400);
    }
    std::sort(drains.begin(), drains.end());
    std::printf("drain %.2f %.2f %.2f %.2f\n", drains[drains.size() / 2],
                drains[drains.size() * 99 / 100], drains[drains.size() * 999 / 1000],
                drains.back());
    return 0;
}
