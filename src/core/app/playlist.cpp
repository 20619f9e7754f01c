#include "core/app/playlist.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <fstream>
#include <sstream>

#include <dirent.h>
#include <sys/stat.h>

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

} // namespace

std::vector<std::string> m3uentries(std::string_view text, const std::string& folder) {
    std::vector<std::string> out;
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        // A byte-order mark may open an M3U8 list.
        if (out.empty() && line.substr(0, 3) == "\xef\xbb\xbf") line.remove_prefix(3);
        if (line.empty() || line[0] == '#') continue;
        out.push_back(joined(folder, std::string(line)));
    }
    return out;
}

bool isaudioname(std::string_view name) {
    return std::any_of(audioextensions.begin(), audioextensions.end(),
                       [&](std::string_view ext) { return endswith(name, ext); });
}

bool ism3uname(std::string_view name) { return endswith(name, ".m3u") || endswith(name, ".m3u8"); }

std::vector<std::string> songs(const std::vector<std::string>& given) {
    std::vector<std::string> out;
    for (const std::string& path : given) {
        if (isfolder(path)) {
            if (!folderentries(path, out)) out.push_back(path);
        } else if (ism3uname(path)) {
            std::ifstream list(path, std::ios::binary);
            std::ostringstream text;
            text << list.rdbuf();
            if (!list) {
                out.push_back(path);
                continue;
            }
            for (std::string& song : m3uentries(text.str(), folderof(path))) out.push_back(song);
        } else {
            out.push_back(path);
        }
    }
    return out;
}

void shuffle(std::vector<std::string>& songs, unsigned seed) {
    // A stream of its own: the stars' random numbers stay as they are.
    Random r;
    r.seed(seed);
    for (std::size_t i = songs.size(); i > 1; i--) {
        std::swap(songs[i - 1], songs[static_cast<std::size_t>(r.next()) % i]);
    }
}

std::string songname(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace starlume
