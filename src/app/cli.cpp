#include "app/cli.h"

#include <cstring>

#include "input/commands.h"

#ifndef STARLUME_VERSION
#define STARLUME_VERSION "unknown"
#endif

namespace starlume {

namespace {

// The toolkit's options and how many arguments each takes; glutInit reads
// and removes them later, after the console dialogue.
struct Toolkitoption {
    const char* name;
    int arguments;
};
constexpr Toolkitoption toolkitoptions[] = {{"-display", 1},  {"-geometry", 1}, {"-direct", 0},
                                            {"-indirect", 0}, {"-iconic", 0},   {"-gldebug", 0},
                                            {"-sync", 0}};

Args usage(std::string error) {
    Args a;
    a.action = Args::usage;
    a.error = std::move(error);
    return a;
}

} // namespace

Args parseargs(int argc, char** argv) {
    Args a;
    bool options = true;
    for (int i = 1; i < argc; i++) {
        const char* arg = argv[i];
        if (options && std::strcmp(arg, "--") == 0) {
            options = false;
            continue;
        }
        if (options && arg[0] == '-' && arg[1] != '\0') {
            if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
                a.action = Args::help;
                return a;
            }
            if (std::strcmp(arg, "--version") == 0) {
                a.action = Args::version;
                return a;
            }
            const Toolkitoption* known = nullptr;
            for (const auto& o : toolkitoptions) {
                if (std::strcmp(arg, o.name) == 0) known = &o;
            }
            if (known == nullptr) return usage(std::string("unknown option '") + arg + "'");
            if (i + known->arguments >= argc) {
                return usage(std::string("option '") + arg + "' needs an argument");
            }
            i += known->arguments;
            continue;
        }
        if (a.path != nullptr) return usage(std::string("more than one file: '") + arg + "'");
        a.path = arg;
    }
    return a;
}

void printhelp(std::FILE* out) {
    std::fprintf(out, "Usage: starlume [FILE]\n"
                      "       starlume --help | --version\n"
                      "\n"
                      "Plays FILE and makes a grid of stars dance to it in a window. Without FILE\n"
                      "the path is asked for on the console.\n"
                      "\n"
                      "Options:\n"
                      "  -h, --help  print this help and exit\n"
                      "  --version   print the version and exit\n"
                      "  --          end of options: the next argument is FILE\n"
                      "The X toolkit's options (-display, -geometry, -iconic, -direct, -indirect,\n"
                      "-gldebug, -sync) are passed on to it.\n"
                      "\n"
                      "Analysed in step with the music: WAV (any sample format, rate and channel\n"
                      "count), AIFF, FLAC, Ogg Vorbis, Opus and MP3. Any other file that opens is\n"
                      "played if it can be, and its bytes drive the stars.\n"
                      "\n"
                      "Keys in the window:\n");
    printkeys(out);
    std::fprintf(out,
                 "\n"
                 "Mouse: hold the left button to pull the stars toward the cursor.\n"
                 "\n"
                 "Exit status: 0 after Q, 1 when FILE cannot be opened, 2 when the audio\n"
                 "device cannot be opened, %d on a command line that cannot be understood.\n",
                 usagestatus);
}

void printversion(std::FILE* out) { std::fprintf(out, "starlume %s\n", STARLUME_VERSION); }

} // namespace starlume
