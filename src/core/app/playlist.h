// The songs of an evening: files, the audio files of a folder, the entries
// of an M3U or PLS list, one after another.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace starlume {

// A song to play: its file, and the title a list gives it (empty when none).
struct Song {
    std::string path;
    std::string title;
    bool operator==(const Song&) const = default;
};

// An entry of a list that cannot be played, and why; line 0 is the whole
// list.
struct Refusal {
    std::size_t line;
    std::string reason;
    bool operator==(const Refusal&) const = default;
};

// What a list holds, as players write lists.
struct Listing {
    std::vector<Song> songs;
    std::vector<Refusal> refused;
};

// The songs of a list's text; list is the list's own path, which relative
// entries are read against. By its name an M3U or M3U8 list (#EXTINF titles,
// file:// addresses, Windows' backslashes) or a PLS list ([playlist] with
// FileN= and TitleN=, File1 at least). A list inside a list is refused.
Listing readlist(std::string_view text, const std::string& list);

// The entries of an M3U or M3U8 list (its text), each as a path: relative
// ones against folder, the list's own; comments, #EXT lines and empty lines
// left out; line ends LF or CRLF.
std::vector<std::string> m3uentries(std::string_view text, const std::string& folder);

// Whether a file's name says it holds sound the program reads (by its
// extension, in any letter case).
bool isaudioname(std::string_view name);

// Whether a name is that of an M3U list.
bool ism3uname(std::string_view name);

// Whether a name is that of a list: M3U, M3U8 or PLS.
bool islistname(std::string_view name);

// The songs that the command line's FILEs name, in order: a folder stands
// for its audio files in name order (not those of its folders), a list for
// its entries, anything else for itself. A folder or list that cannot be
// read stands for itself too, and fails as a song would.
// The entries of a list that cannot be played are left out, each with a
// line on err (when given) saying why.
std::vector<Song> playlist(const std::vector<std::string>& given, std::FILE* err);

// The paths of playlist(given), nothing said of what is left out.
std::vector<std::string> songs(const std::vector<std::string>& given);

// The songs in a random order, the same for the same seed.
void shuffle(std::vector<std::string>& songs, unsigned seed);
void shuffle(std::vector<Song>& songs, unsigned seed);

// The last part of a path, for "Now playing".
std::string songname(const std::string& path);

// A song's name for "Now playing": its title from the list, else its file's.
std::string songname(const Song& song);

} // namespace starlume
