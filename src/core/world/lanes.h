// Tools for the per-star loops: two or four stars side by side in one vector,
// and building a loop twice, for AVX2 and for the baseline x86-64, with the
// loader choosing one at start-up. Lane for lane the arithmetic is the
// one-star arithmetic (no fused multiply-adds are formed: -ffp-contract=off).
#pragma once

#include <cmath>
#include <cstring>

namespace starlume {

using Pair = double __attribute__((vector_size(16))); // one SSE2 register
using Quad = double __attribute__((vector_size(32))); // one AVX register

#if defined(__x86_64__) && !defined(STARLUME_NO_CLONES)
#define STARLUME_CLONES __attribute__((target_clones("avx2", "default")))
#define STARLUME_AVX2 __attribute__((target("avx2")))
inline bool hasavx2() { return __builtin_cpu_supports("avx2"); }
#else
#define STARLUME_CLONES
#define STARLUME_AVX2
inline bool hasavx2() { return false; }
#endif

// Vectors go by reference: passed by value they would need AVX's calling
// convention in the baseline build.
template <typename T> inline void load(T& v, const double* p) { std::memcpy(&v, p, sizeof v); }
template <typename T> inline void store(double* p, const T& v) { std::memcpy(p, &v, sizeof v); }

inline void root(double& v) { v = std::sqrt(v); }
template <typename T> inline void root(T& v) {
    for (int i = 0; i < static_cast<int>(sizeof v / sizeof v[0]); i++) v[i] = std::sqrt(v[i]);
}

} // namespace starlume
