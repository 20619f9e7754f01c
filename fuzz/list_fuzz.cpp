// Arbitrary bytes as a list, M3U or PLS by the first byte. Besides the
// sanitizers' checks: every song has a path without a NUL byte in it, every
// entry that is left out names a line the list has, and no list goes in.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/app/playlist.h"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string list = data[0] % 2 == 0 ? "/music/lists/list.m3u8" : "/music/lists/x.pls";
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    const starlume::Listing listed = starlume::readlist(text, list);
    const std::size_t lines =
        static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
    for (const starlume::Song& song : listed.songs) {
        check(!song.path.empty() && song.path.find('\0') == std::string::npos);
        check(!starlume::islistname(song.path));
    }
    for (const starlume::Refusal& r : listed.refused) {
        check(r.line <= lines && !r.reason.empty());
        check(r.line > 0 || (data[0] % 2 == 1 && listed.songs.empty()));
    }
    return 0;
}
