// The window on a file: the console dialogue, the header report, the music.
#pragma once

#include "core/app/cli.h"

namespace starlume {

// Returns the exit status.
int filerun(Args& args);

} // namespace starlume
