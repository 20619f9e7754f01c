// The runs main can choose.
#pragma once

#include "app/cli.h"

namespace starlume {

// The window on a file: the console dialogue, the header report, the music.
[[noreturn]] void filerun(Args& args);

} // namespace starlume
