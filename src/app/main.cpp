// Starlume: stars that dance to music. Reads the command line and starts the
// run it asks for: a window on a file, a window on live sound, or a video.
#include <cstdio>

#include "app/cli.h"
#include "app/filerun.h"
#include "app/listen.h"
#include "video/render.h"

int main(int argc, char** argv) {
    using namespace starlume;
    // Reports must reach a pipe as they are printed, not when the buffer fills.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    Args args = parseargs(argc, argv);
    switch (args.action) {
    case Args::help: printhelp(stdout); return 0;
    case Args::version: printversion(stdout); return 0;
    case Args::usage:
        std::fprintf(stderr, "starlume: %s (see starlume --help)\n", args.error.c_str());
        return usagestatus;
    case Args::render: return renderrun(args);
    case Args::listen: return listenrun(args);
    case Args::listdevices: return listdevices(args);
    case Args::run: filerun(args);
    }
    return 0;
}
