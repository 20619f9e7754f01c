#include "core/input/events.h"

#include <algorithm>
#include <cmath>

#include "core/app/show.h"

namespace starlume {

namespace {

// A pixel as an int, whatever a hand-written fraction says.
int pixelof(double v) { return static_cast<int>(std::lround(std::clamp(v, -1e9, 1e9))); }

} // namespace

void picturepixels(const World& w, double fx, double fy, int& px, int& py) {
    px = pixelof(fx * w.screensizex);
    py = pixelof(fy * w.screensizey);
}

void picturefractions(const World& w, int px, int py, double& fx, double& fy) {
    fx = w.screensizex > 0 ? static_cast<double>(px) / w.screensizex : 0;
    fy = w.screensizey > 0 ? static_cast<double>(py) / w.screensizey : 0;
}

Event buttonevent(const World& w, int button, int state, int px, int py) {
    Event e;
    e.kind = state == 1 ? Eventkind::release : button == 0 ? Eventkind::press : Eventkind::move;
    picturefractions(w, px, py, e.x, e.y);
    return e;
}

Event motionevent(const World& w, int px, int py) {
    Event e;
    e.kind = Eventkind::move;
    picturefractions(w, px, py, e.x, e.y);
    return e;
}

Outcome apply(Show& s, const Event& e, const Io& io) {
    World& w = s.world;
    int px = 0, py = 0;
    switch (e.kind) {
    case Eventkind::key: return keycommand(w, s.palette, e.key, io);
    case Eventkind::stars:
        if (e.stars >= 1 && e.stars <= maxorder) setOrder(w, e.stars);
        return Outcome::carryon;
    case Eventkind::press:
    case Eventkind::move:
    case Eventkind::release:
        picturepixels(w, e.x, e.y, px, py);
        if (e.kind == Eventkind::move) {
            mousecor(w, px, py);
        } else {
            mouse(w, 0, e.kind == Eventkind::press ? 0 : 1, px, py);
        }
        return Outcome::carryon;
    case Eventkind::next: return Outcome::next;
    case Eventkind::previous: return Outcome::previous;
    case Eventkind::fullscreen: return Outcome::fullscreen;
    case Eventkind::leavefullscreen: return Outcome::leavefullscreen;
    }
    return Outcome::carryon;
}

std::vector<Event> timedevents(const std::vector<Timedkeys>& at) {
    std::vector<Event> events;
    for (const Timedkeys& t : at) {
        for (const char key : t.keys) {
            Event e;
            e.ms = t.seconds * 1000;
            e.key = static_cast<unsigned char>(key);
            events.push_back(e);
        }
    }
    return events;
}

std::vector<Event> mergeevents(const std::vector<Event>& a, const std::vector<Event>& b) {
    std::vector<Event> all;
    all.reserve(a.size() + b.size());
    std::merge(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(all),
               [](const Event& x, const Event& y) { return x.ms < y.ms; });
    return all;
}

} // namespace starlume
