// Live sound: the window on a capture device, and the list of devices.
#pragma once

#include "core/app/cli.h"

namespace starlume {

int listenrun(Args& args);
int listdevices(const Args& args);

} // namespace starlume
