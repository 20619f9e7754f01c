#include "video/render.h"

#include <cstdio>

namespace starlume {

int renderrun(const Args&) {
    std::fprintf(stderr, "starlume: --render is not built yet\n");
    return 69;
}

} // namespace starlume
