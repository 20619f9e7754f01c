#include "core/app/startup.h"

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

#include "core/input/commands.h"

namespace starlume {

bool readtoken(std::FILE* in, char* buf, std::size_t capacity) {
    int c = skipspace(in);
    std::size_t n = 0;
    bool fits = true;
    while (c != EOF && !std::isspace(c)) {
        if (n + 1 < capacity) {
            buf[n++] = static_cast<char>(c);
        } else {
            fits = false;
        }
        c = std::fgetc(in);
    }
    buf[n] = '\0';
    return n > 0 && fits;
}

void printprompt(std::FILE* out) {
    std::fprintf(out, "Opening  file..\n");
    std::fprintf(out, "Enter your filename(Absolute Filepath):\t");
}

std::FILE* openmusic(const char* path) {
    std::FILE* f = std::fopen(path, "rb");
    struct stat st;
    if (f != nullptr && fstat(fileno(f), &st) == 0 && S_ISDIR(st.st_mode)) {
        // A folder opens on this system but holds no audio.
        std::fclose(f);
        f = nullptr;
        errno = EISDIR;
    }
    return f;
}

std::string typedpath(std::string_view line, const char* home) {
    const auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!line.empty() && blank(line.front())) line.remove_prefix(1);
    while (!line.empty() && blank(line.back())) line.remove_suffix(1);
    // A terminal quotes a file dropped on it; what is inside stays as it is.
    if (line.size() >= 2 && (line.front() == '\'' || line.front() == '"') &&
        line.back() == line.front()) {
        line = line.substr(1, line.size() - 2);
    }
    if (line.substr(0, 2) == "~/" && home != nullptr && home[0] != '\0') {
        std::string path = home;
        if (path.back() != '/') path += '/';
        return path.append(line.substr(2));
    }
    return std::string(line);
}

std::optional<std::string> askpath(std::FILE* in, std::FILE* out, std::FILE* err) {
    printprompt(out);
    std::fflush(out);
    // The whole line, up to a few paths' worth: a longer one is kept long
    // enough to fail as a name too long.
    std::string line;
    int c;
    while ((c = std::fgetc(in)) != EOF && c != '\n') {
        if (line.size() < 4 * pathcapacity) line += static_cast<char>(c);
    }
    std::string path = typedpath(line, std::getenv("HOME"));
    if (path.empty()) {
        std::fprintf(out, "Error opening file\n");
        if (err != nullptr) std::fprintf(err, "starlume: no file was named\n");
        return std::nullopt;
    }
    return path;
}

std::FILE* openaudiofile(std::FILE* in, std::FILE* out, char (&path)[pathcapacity + 1],
                         const char* given, std::FILE* err, bool asked) {
    if (given == nullptr) {
        const std::optional<std::string> typed = askpath(in, out, err);
        path[0] = '\0';
        return typed ? openaudiofile(in, out, path, typed->c_str(), err, true) : nullptr;
    }
    if (!asked) {
        printprompt(out);
        // On a terminal the answer shows as if it had been typed.
        if (isatty(fileno(out))) std::fprintf(out, "%s\n", given);
    }
    // A path longer than any the system can open is a file that cannot be
    // opened.
    const bool ok = std::strlen(given) < sizeof path;
    std::snprintf(path, sizeof path, "%s", ok ? given : "");
    errno = ok ? 0 : ENAMETOOLONG;
    std::FILE* ptr = ok ? openmusic(path) : nullptr;
    if (ptr == nullptr) {
        const int why = errno;
        std::fprintf(out, "Error opening file\n");
        if (err != nullptr) {
            std::fprintf(err, "starlume: cannot open '%s': %s\n", given, std::strerror(why));
        }
        return nullptr;
    }
    std::fprintf(out, "Successfully opened file\n");
    return ptr;
}

bool nochannels(const char* path) {
    std::FILE* f = std::fopen(path, "rb");
    if (f == nullptr) return false;
    unsigned char b[8];
    bool none = false;
    if (std::fread(b, 1, 4, f) == 4 && std::fseek(f, 12, SEEK_SET) == 0) {
        // The music library reads "RIFF" and "WAVE" files as little-endian
        // WAV with the count at byte 2 of "fmt ", "FORM" files as big-endian
        // AIFF with the count at byte 0 of "COMM".
        const bool wav = std::memcmp(b, "RIFF", 4) == 0 || std::memcmp(b, "WAVE", 4) == 0;
        const bool aiff = std::memcmp(b, "FORM", 4) == 0;
        const char* want = wav ? "fmt " : "COMM";
        const off_t at = wav ? 2 : 0;
        while ((wav || aiff) && !none && std::fread(b, 1, 8, f) == 8) {
            const std::uint32_t len =
                wav ? b[4] | b[5] << 8 | b[6] << 16 | std::uint32_t{b[7]} << 24
                    : std::uint32_t{b[4]} << 24 | b[5] << 16 | b[6] << 8 | b[7];
            off_t skip = static_cast<off_t>(len) + (len & 1); // chunks are padded to even
            if (std::memcmp(b, want, 4) == 0) {
                if (fseeko(f, at, SEEK_CUR) != 0 || std::fread(b, 1, 2, f) != 2) break;
                none = b[0] == 0 && b[1] == 0;
                skip -= at + 2;
            }
            if (skip != 0 && fseeko(f, skip, SEEK_CUR) != 0) break;
        }
    }
    std::fclose(f);
    return none;
}

void printbanner(std::FILE* out) {
    std::fprintf(out, "\n\n==========================Starlume=============================\n");
    std::fprintf(out, "Starlume By Orvalde\n");
    std::fprintf(out, "Ver 1.0\n");
    printinstructions(out, true);
}

} // namespace starlume
