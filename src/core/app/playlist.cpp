#include "core/app/playlist.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <fstream>
#include <map>
#include <sstream>

#include <dirent.h>
#include <sys/stat.h>

#include "core/app/showntext.h"
#include "core/world/random.h"

namespace starlume {

namespace {

bool endswith(std::string_view name, std::string_view ext) {
    if (name.size() <= ext.size()) return false;
    const std::string_view tail = name.substr(name.size() - ext.size());
    return std::equal(tail.begin(), tail.end(), ext.begin(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == b;
    });
}

// What libsndfile decodes, what the module library reads, what the player
// plays besides.
constexpr std::array<std::string_view, 27> audioextensions = {
    ".wav",  ".wave", ".flac", ".ogg",  ".oga", ".opus", ".mp3", ".aif", ".aiff",
    ".aifc", ".caf",  ".w64",  ".rf64", ".au",  ".snd",  ".mod", ".xm",  ".s3m",
    ".it",   ".mptm", ".mtm",  ".669",  ".stm", ".med",  ".okt", ".mid", ".midi"};

// Whether two words are the same in any letter case.
bool sameword(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

bool isfolder(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string folderof(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string joined(const std::string& folder, const std::string& name) {
    if (!name.empty() && name[0] == '/') return name;
    return folder == "." ? name : folder + (folder.back() == '/' ? "" : "/") + name;
}

// The audio files of a folder, in name order; false when it cannot be read.
bool folderentries(const std::string& folder, std::vector<std::string>& out) {
    DIR* d = opendir(folder.c_str());
    if (d == nullptr) return false;
    std::vector<std::string> names;
    while (const dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        if (name[0] != '.' && isaudioname(name) && !isfolder(joined(folder, name))) {
            names.push_back(name);
        }
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) out.push_back(joined(folder, name));
    return true;
}

// A path with its "." parts and doubled slashes gone and each ".." taking
// the part before it, to tell whether two names are the same file.
std::string lexical(const std::string& path) {
    std::vector<std::string_view> parts;
    std::string_view rest = path;
    while (!rest.empty()) {
        const auto slash = rest.find('/');
        const std::string_view part = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        if (part.empty() || part == ".") continue;
        if (part == ".." && !parts.empty() && parts.back() != "..") {
            parts.pop_back();
        } else {
            parts.push_back(part);
        }
    }
    std::string out = !path.empty() && path[0] == '/' ? "/" : "";
    for (std::size_t i = 0; i < parts.size(); i++) {
        if (i > 0) out += '/';
        out += parts[i];
    }
    return out;
}

int hexdigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The length of a URI's scheme and its "://", 0 when there is none. A
// Windows drive ("C:\\") is one letter, no scheme.
std::size_t schemelength(std::string_view entry) {
    std::size_t n = 0;
    while (n < entry.size() &&
           (std::isalnum(static_cast<unsigned char>(entry[n])) ||
            (n > 0 && (entry[n] == '+' || entry[n] == '-' || entry[n] == '.')))) {
        n++;
    }
    return n >= 2 && std::isalpha(static_cast<unsigned char>(entry[0])) &&
                   entry.substr(n, 3) == "://"
               ? n + 3
               : 0;
}

// An entry of a list as the path of its song, or why it cannot be played:
// file:// addresses percent-decoded, other paths with Windows' backslashes
// read as slashes and, when relative, against the list's folder.
std::string entrypath(std::string_view entry, const std::string& folder, const std::string& self,
                      std::string& path) {
    const std::size_t scheme = schemelength(entry);
    if (scheme == 0) {
        std::string written(entry);
        std::replace(written.begin(), written.end(), '\\', '/');
        path = joined(folder, written);
    } else if (!sameword(entry.substr(0, scheme), "file://")) {
        return quoted(entry) + " is not a file on this machine";
    } else {
        std::string_view rest = entry.substr(scheme);
        const std::string_view host = rest.substr(0, rest.find('/'));
        if (!host.empty() && !sameword(host, "localhost")) {
            return quoted(entry) + " is not a file on this machine";
        }
        rest.remove_prefix(host.size());
        if (rest.empty()) return quoted(entry) + " names no file";
        path.clear();
        for (std::size_t i = 0; i < rest.size(); i++) {
            if (rest[i] != '%') {
                path += rest[i];
                continue;
            }
            const int hi = i + 1 < rest.size() ? hexdigit(rest[i + 1]) : -1;
            const int lo = i + 2 < rest.size() ? hexdigit(rest[i + 2]) : -1;
            if (hi < 0 || lo < 0) {
                return quoted(rest.substr(i, 3)) + " in " + quoted(entry) +
                       " is not a percent escape";
            }
            if (hi == 0 && lo == 0) {
                return "'%00' in " + quoted(entry) + " cannot be part of a path";
            }
            path += static_cast<char>(hi * 16 + lo);
            i += 2;
        }
    }
    // The file's name would end there, and another file play.
    if (path.find('\0') != std::string::npos) return "a NUL byte cannot be part of a path";
    if (islistname(path)) {
        if (!self.empty() && lexical(path) == lexical(self)) return "the list names itself";
        return quoted(entry) + " is a list inside a list, which is not played";
    }
    return "";
}

// The line's text without its end, and the rest after it; the first line
// may open with a byte-order mark.
std::string_view nextline(std::string_view& text, std::size_t& number) {
    const auto end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (++number == 1 && line.substr(0, 3) == "\xef\xbb\xbf") line.remove_prefix(3);
    return line;
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

// Comments, #EXT lines and empty lines are no songs; an #EXTINF line's
// title ("#EXTINF:SECONDS,TITLE") goes with the entry after it.
Listing m3ulist(std::string_view text, const std::string& folder, const std::string& self) {
    Listing out;
    std::string title;
    for (std::size_t number = 0; !text.empty();) {
        const std::string_view line = nextline(text, number);
        if (line.substr(0, 8) == "#EXTINF:") {
            // The first comma outside the quotes of attributes (tvg-name="a, b").
            bool inquotes = false;
            std::size_t comma = 8;
            while (comma < line.size() && (inquotes || line[comma] != ',')) {
                inquotes = inquotes != (line[comma++] == '"');
            }
            title = comma < line.size() ? trimmed(line.substr(comma + 1)) : "";
        }
        if (line.empty() || line[0] == '#') continue;
        std::string path;
        if (std::string why = entrypath(line, folder, self, path); !why.empty()) {
            out.refused.push_back({number, std::move(why)});
        } else {
            out.songs.push_back({std::move(path), std::move(title)});
        }
        title.clear();
    }
    return out;
}

// The number after a PLS key's name ("File12" is 12 for "file"), 0 when the
// key is not one of that name.
std::size_t keynumber(std::string_view key, std::string_view name) {
    if (key.size() <= name.size() || !sameword(key.substr(0, name.size()), name)) return 0;
    std::size_t n = 0;
    for (const char c : key.substr(name.size())) {
        if (!std::isdigit(static_cast<unsigned char>(c)) || n > 100000) return 0;
        n = n * 10 + static_cast<std::size_t>(c - '0');
    }
    return n;
}

Listing plslist(std::string_view text, const std::string& list) {
    struct Entry {
        std::string file, title;
        std::size_t line = 0;
    };
    std::map<std::size_t, Entry> entries; // by their number, whatever the lines' order
    for (std::size_t number = 0; !text.empty();) {
        const std::string_view line = nextline(text, number);
        const auto equals = line.find('=');
        if (equals == std::string_view::npos) continue; // [playlist], blanks, notes
        const std::string_view key = trimmed(line.substr(0, equals));
        const std::string_view value = trimmed(line.substr(equals + 1));
        if (const std::size_t n = keynumber(key, "file"); n > 0) {
            entries[n].file = value;
            entries[n].line = number;
        } else if (const std::size_t t = keynumber(key, "title"); t > 0) {
            entries[t].title = value;
        }
    }
    Listing out;
    if (entries.count(1) == 0 || entries[1].line == 0) {
        out.refused.push_back({0, "a PLS list needs a File1 entry, and this one has none"});
        return out;
    }
    for (auto& [n, e] : entries) {
        if (e.line == 0) continue; // a title without its file
        std::string path;
        if (std::string why = entrypath(e.file, folderof(list), list, path); !why.empty()) {
            out.refused.push_back({e.line, std::move(why)});
        } else {
            out.songs.push_back({std::move(path), std::move(e.title)});
        }
    }
    return out;
}
} // namespace

Listing readlist(std::string_view text, const std::string& list) {
    return endswith(list, ".pls") ? plslist(text, list) : m3ulist(text, folderof(list), list);
}

std::vector<std::string> m3uentries(std::string_view text, const std::string& folder) {
    std::vector<std::string> out;
    for (Song& song : m3ulist(text, folder, "").songs) out.push_back(std::move(song.path));
    return out;
}

bool isaudioname(std::string_view name) {
    return std::any_of(audioextensions.begin(), audioextensions.end(),
                       [&](std::string_view ext) { return endswith(name, ext); });
}

bool ism3uname(std::string_view name) { return endswith(name, ".m3u") || endswith(name, ".m3u8"); }

bool islistname(std::string_view name) { return ism3uname(name) || endswith(name, ".pls"); }

std::vector<Song> playlist(const std::vector<std::string>& given, std::FILE* err) {
    std::vector<Song> out;
    for (const std::string& path : given) {
        if (isfolder(path)) {
            std::vector<std::string> files;
            if (!folderentries(path, files)) files.push_back(path);
            for (std::string& file : files) out.push_back({std::move(file), ""});
        } else if (islistname(path)) {
            std::ifstream list(path, std::ios::binary);
            std::ostringstream text;
            text << list.rdbuf();
            if (!list) {
                out.push_back({path, ""});
                continue;
            }
            Listing listed = readlist(text.str(), path);
            for (const Refusal& r : listed.refused) {
                if (err == nullptr) continue;
                if (r.line == 0) {
                    std::fprintf(err, "starlume: '%s': %s\n", path.c_str(), r.reason.c_str());
                } else {
                    std::fprintf(err, "starlume: '%s' line %zu: %s\n", path.c_str(), r.line,
                                 r.reason.c_str());
                }
            }
            for (Song& song : listed.songs) out.push_back(std::move(song));
        } else {
            out.push_back({path, ""});
        }
    }
    return out;
}

std::vector<std::string> songs(const std::vector<std::string>& given) {
    std::vector<std::string> out;
    for (Song& song : playlist(given, nullptr)) out.push_back(std::move(song.path));
    return out;
}

namespace {

template <typename T> void shuffled(std::vector<T>& songs, unsigned seed) {
    // A stream of its own: the stars' random numbers stay as they are.
    Random r;
    r.seed(seed);
    for (std::size_t i = songs.size(); i > 1; i--) {
        std::swap(songs[i - 1], songs[static_cast<std::size_t>(r.next()) % i]);
    }
}

} // namespace

void shuffle(std::vector<std::string>& songs, unsigned seed) { shuffled(songs, seed); }

void shuffle(std::vector<Song>& songs, unsigned seed) { shuffled(songs, seed); }

std::string songname(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string songname(const Song& song) {
    return song.title.empty() ? songname(song.path) : song.title;
}

} // namespace starlume
