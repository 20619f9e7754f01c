// The command line: an optional file path, --help and --version. The X
// toolkit's own options are recognised so that they can be passed on to it.
#pragma once

#include <cstdio>
#include <string>

namespace starlume {

// Exit status of a command line that cannot be understood (EX_USAGE).
constexpr int usagestatus = 64;

struct Args {
    enum Action { run, help, version, usage } action = run;
    const char* path = nullptr; // the file, or nullptr to ask for it
    std::string error;          // for usage: what was wrong, one line
};

Args parseargs(int argc, char** argv);

void printhelp(std::FILE* out);
void printversion(std::FILE* out);

} // namespace starlume
