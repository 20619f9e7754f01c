#include "platform/files/notes.h"

#include <algorithm>

#include <unistd.h>

namespace starlume {

Heldnotes::Heldnotes() {
    std::fflush(stderr);
    // A file, not a pipe: a library that says a great deal cannot fill it
    // and stall.
    held = std::tmpfile();
    if (held == nullptr) return;
    saved = dup(STDERR_FILENO);
    if (saved < 0 || dup2(fileno(held), STDERR_FILENO) < 0) {
        if (saved >= 0) close(saved);
        saved = -1;
        std::fclose(held);
        held = nullptr;
    }
}

std::string Heldnotes::release() {
    if (held == nullptr) return "";
    std::fflush(stderr);
    dup2(saved, STDERR_FILENO);
    close(saved);
    saved = -1;
    std::string notes;
    std::rewind(held);
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, held)) > 0;) notes.append(buf, n);
    std::fclose(held);
    held = nullptr;
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
