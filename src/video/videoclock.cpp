#include "video/videoclock.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

#include "app/startup.h"
#include "audio/decoder.h"

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

std::int64_t musiclength(const char* path) {
    auto d = Decoder::open(path);
    if (d == nullptr) return 0;
    constexpr int chunk = 65536;
    std::vector<std::int16_t> scratch(2 * chunk);
    std::int64_t n = 0;
    for (int got = chunk; got == chunk; n += got) got = d->decode(scratch.data(), chunk);
    return n;
}

Scene::Scene(const Args& args, const Io& io) {
    setclock(*analysis, 0, clocklead(0));
    startworld(*world, *palette, args);
    world->screensizex = args.width;
    world->screensizey = args.height;
    presskeys(*world, *palette, args.keys, io);
}

void videoanalysis(Analysis& a, World& w, Source& from, double nowms) {
    if (w.paused == -1) {
        analysisclock(a, w, from, nowms);
    } else if (blockdue(a, nowms)) {
        a.framecounter++;
        readSamples(a, from);
    }
}

void Dance::runto(std::int64_t upto) {
    presstimed();
    while (pass_ < upto) {
        pass_++;
        videoanalysis(a_, w_, from_, clock_.positionms(pass_));
        simulate(w_, a_.kicks);
        presstimed();
    }
}

void Dance::presstimed() {
    for (; next_ < at_.size() && clock_.keypass(at_[next_].seconds) <= pass_; next_++) {
        presskeys(w_, p_, at_[next_].keys, io_);
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
