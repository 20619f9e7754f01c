// A video of a file's music, rendered offscreen and encoded.
#pragma once

#include "core/app/cli.h"

namespace starlume {

// Renders args.path to args.out; returns the exit status.
int renderrun(const Args& args);

} // namespace starlume
