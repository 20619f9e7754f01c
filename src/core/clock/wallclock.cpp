#include "core/clock/wallclock.h"

#include <ctime>

namespace starlume {

double wallms() {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<double>(now.tv_sec) * 1000 + static_cast<double>(now.tv_nsec) / 1e6;
}

void Wallclock::sleep(double ms) {
    const auto ns = static_cast<long long>(ms * 1e6);
    const timespec wait{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    nanosleep(&wait, nullptr);
}

} // namespace starlume
