// Starlume: stars that dance to music. Reads the command line and starts the
// stage it asks for: a window on a file, a window on live sound, or a video.
#include <cstdio>

#include "core/app/cli.h"
#include "core/app/exits.h"
#include "platform/video/render.h"
#include "platform/window/filerun.h"
#include "platform/window/listenrun.h"

int main(int argc, char** argv) {
    using namespace starlume;
    // Reports must reach a pipe as they are printed, not when the buffer fills.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    Args args = parseargs(argc, argv);
    switch (args.action) {
    case Args::help: printhelp(stdout); return exitok;
    case Args::version: printversion(stdout); return exitok;
    case Args::usage:
        std::fprintf(stderr, "starlume: %s (see starlume --help)\n", args.error.c_str());
        return exitusage;
    case Args::render: return renderrun(args);
    case Args::listen: return listenrun(args);
    case Args::listdevices: return listdevices(args);
    case Args::run: return filerun(args);
    }
    return exitok;
}
