// Presses keys as the help names them, each on a fresh show whose stars are
// on the move, as events through the key handling, and prints what each one
// changed: one line per key ("r: reverse 1 -> -1"). The package test checks
// the lines against what the help says the keys do.
//
//   starlume_keys NAME...     e.g. starlume_keys P 0-9 F11 Right/PgDn
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/app/show.h"
#include "core/input/events.h"
#include "core/world/random.h"

using namespace starlume;

namespace {

std::string hooks; // what the keys did to the music
void pausehook() { hooks += ", music paused"; }
void resumehook() { hooks += ", music resumed"; }
int elapsed() { return 1234; }

// The window's own keys, as its callbacks turn them into events.
bool windowkey(const std::string& name, Eventkind& kind) {
    const std::pair<const char*, Eventkind> keys[] = {{"F11", Eventkind::fullscreen},
                                                      {"Esc", Eventkind::leavefullscreen},
                                                      {"Right/PgDn", Eventkind::next},
                                                      {"Left/PgUp", Eventkind::previous}};
    for (const auto& [n, k] : keys) {
        if (name == n) {
            kind = k;
            return true;
        }
    }
    return false;
}

const char* asks(Outcome o) {
    switch (o) {
    case Outcome::quit: return ", asks to quit";
    case Outcome::next: return ", asks for the next song";
    case Outcome::previous: return ", asks for the song before";
    case Outcome::fullscreen: return ", asks for fullscreen on or off";
    case Outcome::leavefullscreen: return ", asks to leave fullscreen";
    case Outcome::stars: return ", a new count";
    case Outcome::carryon: break;
    }
    return "";
}

bool samestars(const World& a, const World& b) {
    const int n = a.count();
    return n == b.count() && std::equal(a.x, a.x + n, b.x) && std::equal(a.y, a.y + n, b.y);
}

// The show a key meets: stars falling and flying, a few hundred passes in.
std::unique_ptr<Show> moving() {
    auto s = makeshow();
    Args args;
    args.seed = 11;
    startshow(*s, args);
    s->world.x[0] = 0.3; // off the grid
    s->world.color = 10; // none of the schemes, so that each digit shows
    for (int p = 0; p < 300; p++) pass(*s, p);
    return s;
}

// What one event changed, as a line's text.
std::string effect(const Event& e) {
    auto s = moving();
    const auto before = std::make_unique<World>(s->world);
    const Random drawn = randomstream;
    char typed[] = "40\n";
    std::FILE* in = fmemopen(typed, std::strlen(typed), "r");
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&text, &size);
    const Io io{in, out, elapsed, pausehook, resumehook};
    hooks.clear();
    const Outcome o = apply(*s, e, io);
    std::fclose(out);
    std::fclose(in);
    const std::string printed(text, size);
    std::free(text);

    const World& w = s->world;
    std::string said;
    const std::pair<const char*, int World::*> fields[] = {
        {"gravity", &World::gravity},     {"looper", &World::looper},
        {"viscous", &World::viscous},     {"blackhole", &World::blackhole},
        {"distance", &World::distance},   {"reverse", &World::reverse},
        {"mousekick", &World::mousekick}, {"bar", &World::bar},
        {"paused", &World::paused},       {"color", &World::color},
        {"order", &World::order}};
    for (const auto& [name, f] : fields) {
        if (w.*f == before.get()->*f) continue;
        said.append(", ").append(name).append(" ");
        said.append(std::to_string(before.get()->*f)).append(" -> ").append(std::to_string(w.*f));
    }
    if (!samestars(w, *before)) {
        auto grid = std::make_unique<World>(w);
        resetGrid(*grid);
        auto spun = std::make_unique<World>(w);
        spiral(*spun);
        said += samestars(w, *grid)   ? ", stars on the grid"
                : samestars(w, *spun) ? ", stars in a spiral"
                                      : ", stars moved";
    }
    const int n = w.count();
    const bool rest = std::all_of(w.vx, w.vx + n, [](double v) { return v == 0; }) &&
                      std::all_of(w.vy, w.vy + n, [](double v) { return v == 0; });
    if (rest) {
        said += ", at rest";
    } else if (!std::equal(w.vx, w.vx + n, before->vx) || !std::equal(w.vy, w.vy + n, before->vy)) {
        said += ", velocities changed";
    }
    if (std::memcmp(&drawn, &randomstream, sizeof drawn) != 0) said += ", draws random numbers";
    said += hooks;
    if (!printed.empty()) {
        const auto lines = std::count(printed.begin(), printed.end(), '\n');
        said.append(", prints ").append(std::to_string(lines));
        said.append(lines == 1 ? " line: \"" : " lines from \"");
        said.append(printed.substr(0, printed.find('\n'))).append("\"");
    }
    said += asks(o);
    return said.empty() ? "nothing" : said.substr(2);
}

} // namespace

int main(int argc, char** argv) {
    int status = 0;
    for (int i = 1; i < argc; i++) {
        const std::string name = argv[i];
        Event e;
        std::vector<Event> events;
        if (windowkey(name, e.kind)) {
            events.push_back(e);
        } else {
            for (const char c : keychars(name)) {
                e.key = static_cast<unsigned char>(c);
                events.push_back(e);
            }
        }
        if (events.empty()) {
            std::printf("%s: no such key\n", name.c_str());
            status = 1;
        }
        for (const Event& k : events) {
            const char which[] = {' ', static_cast<char>(k.key), '\0'};
            std::printf("%s%s: %s\n", name.c_str(), events.size() > 1 ? which : "",
                        effect(k).c_str());
        }
    }
    return status;
}
