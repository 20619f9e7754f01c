// A video of a file's music, rendered offscreen and encoded.
#pragma once

#include <cstdint>

#include "app/cli.h"

namespace starlume {

// Renders args.path to args.out; returns the exit status.
int renderrun(const Args& args);

// Frames of decoded music in the file at path, 0 when no decoder reads it:
// the length of its video.
std::int64_t musiclength(const char* path);

} // namespace starlume
