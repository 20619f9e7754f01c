#include "core/audio/source.h"

#include <algorithm>

namespace starlume {

void RawSource::read(std::int16_t* frames, int count) {
    unsigned char raw[8192];
    const std::size_t wanted = static_cast<std::size_t>(count) * 2; // values
    std::size_t done = 0;
    bool ended = false;
    while (done < wanted) {
        const std::size_t n = std::min(wanted - done, sizeof raw / 2);
        const std::size_t values = ended ? 0 : std::fread(raw, 1, 2 * n, ptr) / 2;
        ended = values < n;
        ended_ = ended_ || ended;
        for (std::size_t v = 0; v < n; v++) {
            frames[done + v] =
                v < values ? static_cast<std::int16_t>(raw[2 * v] | raw[2 * v + 1] << 8) : 0;
        }
        done += n;
    }
}

void Memorysource::read(std::int16_t* frames, int count) {
    const std::size_t wanted = 2 * static_cast<std::size_t>(count);
    const std::size_t have = std::min(wanted, music.size() - at);
    std::copy_n(music.begin() + static_cast<std::ptrdiff_t>(at), have, frames);
    std::fill(frames + have, frames + wanted, std::int16_t{0});
    at += have;
}

void Silence::read(std::int16_t* frames, int count) {
    std::fill_n(frames, 2 * static_cast<std::size_t>(count), std::int16_t{0});
}

} // namespace starlume
