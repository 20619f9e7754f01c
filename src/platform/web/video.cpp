#include "platform/web/video.h"

#include <emscripten/html5.h>

#include <cstdio>

#include "core/audio/source.h"

namespace starlume {

namespace {

// The keys see the music position of the video's dance; its soundtrack
// plays on whatever P does, and 'n' has no console to read from.
const Pagevideo* current = nullptr;
int musicelapsed() { return current != nullptr ? static_cast<int>(current->positionms()) : 0; }
void soundstays() {}
std::FILE* noinput() {
    static std::FILE* f = std::fopen("/dev/null", "r");
    return f;
}
const Io io{noinput(), stdout, musicelapsed, soundstays, soundstays};

} // namespace

bool Pagevideo::begin(const char* canvas, bool multisample, const Args& args,
                      std::span<const std::int16_t> music, std::vector<Event> events,
                      bool transparent) {
    end();
    emscripten_set_canvas_element_size(canvas, args.width, args.height);
    if (!opened) {
        opened = gl.open(canvas, multisample, true);
        if (!opened) return false;
    }
    gl.resize(args.width, args.height, 1);
    const Square square = starsquare(args.width, args.height, args.stretch);
    gl.place(square.x, square.y, square.width, square.height);
    gl.clearalpha(transparent ? 0 : 1);
    band_ = args.height - square.y - square.height;
    width = args.width;
    height = args.height;
    const std::size_t bytes = 4 * static_cast<std::size_t>(width) * height;
    stars.resize(bytes);
    laid.resize(bytes);
    i420.resize(bytes * 3 / 8);
    layers(nullptr, nullptr);
    show = makeshow();
    clock = std::make_unique<Videoclock>(args.passes, args.fps,
                                         static_cast<std::int64_t>(music.size() / 2));
    current = this;
    startvideo(*show, args, music, io);
    dance = std::make_unique<Dance>(*clock, *show, mergeevents(events, timedevents(args.at)), io);
    dance->runto(0);
    return true;
}

void Pagevideo::layers(const std::uint8_t* u, const std::uint8_t* o) {
    const std::size_t bytes = 4 * static_cast<std::size_t>(width) * height;
    under.assign(u, u != nullptr ? u + bytes : u);
    over.assign(o, o != nullptr ? o + bytes : o);
    const Rows text = opaquerows(over, width, height);
    lays = {width, height, under, over, text.from, text.to};
}

const std::uint8_t* Pagevideo::draw(std::int64_t k) {
    dance->toframe(k);
    buildframe(show->frame, show->world, show->palette);
    gl.draw(show->frame);
    gl.read(stars.data());
    lay(lays, stars.data(), laid.data());
    toi420(laid.data(), width, height, i420.data());
    return i420.data();
}

void Pagevideo::end() {
    for (auto* v : {&under, &over, &stars, &laid, &i420}) std::vector<std::uint8_t>().swap(*v);
    lays = {};
    dance.reset();
    clock.reset();
    show.reset();
    if (current == this) current = nullptr;
}

} // namespace starlume
