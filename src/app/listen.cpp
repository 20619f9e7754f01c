#include "app/listen.h"

#include <cstdio>

namespace starlume {

int listenrun(Args&) {
    std::fprintf(stderr, "starlume: --listen is not built yet\n");
    return 1;
}

int listdevices(const Args&) {
    std::fprintf(stderr, "starlume: --list-devices is not built yet\n");
    return 1;
}

} // namespace starlume
