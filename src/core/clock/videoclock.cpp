#include "core/clock/videoclock.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "core/audio/convert.h"

namespace starlume {

Videoclock::Videoclock(int passes, int fps, std::int64_t musicframes)
    : passes_(passes), fps_(fps), music_(musicframes),
      frames_((musicframes * fps + analysisrate - 1) / analysisrate) {}

std::int64_t Videoclock::musicthrough(std::int64_t k) const {
    const std::int64_t through = (k + 1) * analysisrate / fps_;
    return through < music_ ? through : music_;
}

std::int64_t Videoclock::keypass(double seconds) const {
    const double pass = seconds * passes_;
    if (!(pass < 9e18)) return std::numeric_limits<std::int64_t>::max();
    // A time written in decimals lands a hair off the pass it names.
    const double nearest = std::round(pass);
    return static_cast<std::int64_t>(std::abs(pass - nearest) < 1e-6 ? nearest : std::ceil(pass));
}

std::string clocktext(double seconds) {
    const long s = std::lround(seconds > 0 ? seconds : 0);
    char text[32];
    if (s >= 3600) {
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    } else {
        std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    }
    return text;
}

std::string progressline(std::int64_t done, std::int64_t total, double videoseconds,
                         double wallseconds) {
    const double speed = wallseconds > 0 ? videoseconds / wallseconds : 0;
    const double left = done > 0 ? wallseconds * static_cast<double>(total - done) / done : 0;
    char text[160];
    std::snprintf(text, sizeof text, "%3d%%  frame %lld of %lld  %.2fx real time  %s left",
                  static_cast<int>(total > 0 ? 100 * done / total : 100),
                  static_cast<long long>(done), static_cast<long long>(total), speed,
                  done > 0 ? clocktext(left).c_str() : "-:--");
    return text;
}

} // namespace starlume
