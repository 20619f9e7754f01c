#include "app/startup.h"

#include <cctype>

#include <sys/stat.h>

#include "input/commands.h"

namespace starlume {

bool readtoken(std::FILE* in, char* buf, std::size_t capacity) {
    int c;
    do {
        c = std::fgetc(in);
    } while (c != EOF && std::isspace(c));
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

std::FILE* openaudiofile(std::FILE* in, std::FILE* out, char (&path)[pathcapacity + 1]) {
    std::fprintf(out, "Opening  file..\n");
    std::fprintf(out, "Enter your filename(Absolute Filepath):\t");
    std::fflush(out);
    // No path, or one longer than any the system can open, is a file that
    // cannot be opened.
    std::FILE* ptr = readtoken(in, path, sizeof path) ? std::fopen(path, "rb") : nullptr;
    struct stat st;
    if (ptr != nullptr && fstat(fileno(ptr), &st) == 0 && S_ISDIR(st.st_mode)) {
        // A directory opens on this system but holds no audio.
        std::fclose(ptr);
        ptr = nullptr;
    }
    if (ptr == nullptr) {
        std::fprintf(out, "Error opening file\n");
        return nullptr;
    }
    std::fprintf(out, "Successfully opened file\n");
    return ptr;
}

void printbanner(std::FILE* out) {
    std::fprintf(out, "\n\n==========================Starlume=============================\n");
    std::fprintf(out, "Starlume By Orvalde\n");
    std::fprintf(out, "Ver 1.0\n");
    printinstructions(out, true);
}

} // namespace starlume
