#include "core/render/glyph.h"

#include <cmath>

namespace starlume {

int glyphvertices(int order) {
    if (order <= 10) return 32;
    if (order <= 29) return 16;
    if (order <= 40) return 10;
    if (order <= 90) return 6;
    return 0;
}

namespace {

Outline makeoutline(int n) {
    Outline o;
    o.n = n;
    for (int i = 0; i < n; i++) {
        const double theta = 2 * i * 3.141592653589793 / n;
        o.c[i] = std::cos(theta);
        o.s[i] = std::sin(theta);
    }
    return o;
}

} // namespace

const Outline& outline(int n) {
    static const Outline o32 = makeoutline(32), o16 = makeoutline(16), o10 = makeoutline(10),
                         o6 = makeoutline(6);
    switch (n) {
    case 32: return o32;
    case 16: return o16;
    case 10: return o10;
    default: return o6;
    }
}

} // namespace starlume
