// The songs of an evening: files, the audio files of a folder, the entries
// of an M3U list, one after another.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace starlume {

// The entries of an M3U or M3U8 list (its text), each as a path: relative
// ones against folder, the list's own; comments, #EXT lines and empty lines
// left out; line ends LF or CRLF.
std::vector<std::string> m3uentries(std::string_view text, const std::string& folder);

// Whether a file's name says it holds sound the program reads (by its
// extension, in any letter case).
bool isaudioname(std::string_view name);

// Whether a name is that of an M3U list.
bool ism3uname(std::string_view name);

// The songs that the command line's FILEs name, in order: a folder stands
// for its audio files in name order (not those of its folders), a list for
// its entries, anything else for itself. A folder or list that cannot be
// read stands for itself too, and fails as a song would.
std::vector<std::string> songs(const std::vector<std::string>& given);

// The songs in a random order, the same for the same seed.
void shuffle(std::vector<std::string>& songs, unsigned seed);

// The last part of a path, for "Now playing".
std::string songname(const std::string& path);

} // namespace starlume
