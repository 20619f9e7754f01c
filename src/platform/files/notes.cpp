#include "platform/files/notes.h"

#include <algorithm>

#include <unistd.h>

namespace starlume {

namespace {

// A file, not a pipe: a library that says a great deal cannot fill it and
// stall. Made once and emptied after each hold, as a song switch holds twice.
int heldfile() {
    static std::FILE* const f = std::tmpfile();
    return f != nullptr ? fileno(f) : -1;
}

} // namespace

Heldnotes::Heldnotes() {
    const int fd = heldfile();
    if (fd < 0) return;
    std::fflush(stderr);
    saved = dup(STDERR_FILENO);
    if (saved >= 0 && dup2(fd, STDERR_FILENO) < 0) {
        close(saved);
        saved = -1;
    }
}

std::string Heldnotes::release() {
    if (saved < 0) return "";
    std::fflush(stderr);
    dup2(saved, STDERR_FILENO);
    close(saved);
    saved = -1;
    const int fd = heldfile();
    std::string notes;
    char buf[4096];
    for (ssize_t n; (n = pread(fd, buf, sizeof buf, static_cast<off_t>(notes.size()))) > 0;) {
        notes.append(buf, static_cast<std::size_t>(n));
    }
    // Emptied for the next hold; should that fail, the next one reads these
    // notes again, which only --verbose shows.
    if (ftruncate(fd, 0) == 0) lseek(fd, 0, SEEK_SET);
    return notes;
}

std::string notesline(const std::string& path, const std::string& notes) {
    std::string first;
    std::size_t lines = 0;
    for (std::size_t at = 0; at < notes.size();) {
        const std::size_t end = std::min(notes.find('\n', at), notes.size());
        const std::string line = notes.substr(at, end - at);
        const std::size_t last = line.find_last_not_of(" \t\r");
        if (last != std::string::npos && lines++ == 0) first = line.substr(0, last + 1);
        at = end + 1;
    }
    if (lines == 0) return "";
    std::string out = "starlume: the libraries' notes on '" + path + "': " + first;
    if (lines > 1) out += " (and " + std::to_string(lines - 1) + " more)";
    return out + "\n";
}

} // namespace starlume
