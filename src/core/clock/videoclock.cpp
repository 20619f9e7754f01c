#include "core/clock/videoclock.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <numbers>

#include "core/audio/convert.h"

namespace starlume {

Videoclock::Videoclock(int passes, int fps, std::int64_t musicframes)
    : passes_(passes), fps_(fps), music_(musicframes),
      frames_((musicframes * fps + analysisrate - 1) / analysisrate) {}

std::int64_t Videoclock::musicthrough(std::int64_t k) const {
    const std::int64_t through = (k + 1) * analysisrate / fps_;
    return through < music_ ? through : music_;
}

std::int64_t Videoclock::firstframe(std::int64_t m) const {
    return (m * fps_ + analysisrate - 1) / analysisrate;
}

std::vector<Span> partspans(const std::vector<std::int64_t>& starts, std::int64_t musicend,
                            const Cut& part) {
    std::vector<Span> kept;
    for (std::size_t i = 0; i < starts.size(); i++) {
        const std::int64_t end = i + 1 < starts.size() ? starts[i + 1] : musicend;
        const std::int64_t from = std::max(starts[i], part.from), to = std::min(end, part.to);
        if (from < to) kept.push_back({i, from - part.from, to - part.from});
    }
    return kept;
}

std::int64_t Videoclock::keypass(double seconds) const {
    const double pass = seconds * passes_;
    if (!(pass < 9e18)) return std::numeric_limits<std::int64_t>::max();
    // A time written in decimals lands a hair off the pass it names.
    const double nearest = std::round(pass);
    return static_cast<std::int64_t>(std::abs(pass - nearest) < 1e-6 ? nearest : std::ceil(pass));
}

std::string cutvideo(const Videoclock& c, std::optional<double> from, std::optional<double> to,
                     Cut& cut) {
    const std::int64_t music = c.musicframes();
    const double length = static_cast<double>(music) / analysisrate;
    char text[160];
    if (from && *from >= length) {
        std::snprintf(text, sizeof text, "--from %g is past the end of the music (%s)", *from,
                      clocktext(length).c_str());
        return text;
    }
    // Frame k starts at k / fps seconds: the part keeps those that start
    // in it, and its sound runs from the first one's start.
    const double fps = c.fps();
    const auto firstat = [&](double seconds) {
        const double k = seconds * fps;
        const double nearest = std::round(k);
        return static_cast<std::int64_t>(std::abs(k - nearest) < 1e-6 ? nearest : std::ceil(k));
    };
    cut.to = to && *to < length ? std::llround(*to * analysisrate) : music;
    cut.first = from ? firstat(*from) : 0;
    cut.end = std::min(c.frames(), (cut.to * c.fps() + analysisrate - 1) / analysisrate);
    cut.from = std::min(cut.to, cut.first * analysisrate / c.fps());
    if (cut.first >= cut.end) {
        std::snprintf(text, sizeof text, "--from %g to --to %g keeps no frame at %d fps",
                      from.value_or(0), to.value_or(length), c.fps());
        return text;
    }
    return "";
}

void fadeends(std::int16_t* frames, std::int64_t length, std::int64_t count, bool in, bool out) {
    count = std::min(count, length / 2);
    for (std::int64_t i = 0; i < count; i++) {
        // Half a cosine: no corner where the fade starts or ends.
        const double gain = 0.5 - 0.5 * std::cos(std::numbers::pi * static_cast<double>(i) / count);
        for (int side = 0; side < 2; side++) {
            if (in) {
                auto& v = frames[2 * i + side];
                v = static_cast<std::int16_t>(std::lround(v * gain));
            }
            if (out) {
                auto& v = frames[2 * (length - 1 - i) + side];
                v = static_cast<std::int16_t>(std::lround(v * gain));
            }
        }
    }
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
