// The program's random numbers: the same stream as the C library's
// srand()/rand() (glibc's additive feedback generator), without the lock that
// rand() takes on every call. The floor kicks draw up to 160000 numbers per
// block, where that lock cost more than the spectrum.
#pragma once

#include <cstdint>

namespace starlume {

class Random {
  public:
    Random() { seed(1); } // like rand() before any srand()

    void seed(unsigned value) {
        std::int32_t word = static_cast<std::int32_t>(value == 0 ? 1 : value);
        table[0] = static_cast<std::uint32_t>(word);
        for (int i = 1; i < degree; i++) {
            // 16807 * word mod (2^31 - 1) without overflow
            const std::int32_t hi = word / 127773;
            const std::int32_t lo = word % 127773;
            word = 16807 * lo - 2836 * hi;
            if (word < 0) word += 2147483647;
            table[i] = static_cast<std::uint32_t>(word);
        }
        front = 3;
        rear = 0;
        for (int i = 0; i < 10 * degree; i++) next();
    }

    int next() {
        const std::uint32_t value = table[front] += table[rear];
        front = front + 1 == degree ? 0 : front + 1;
        rear = rear + 1 == degree ? 0 : rear + 1;
        return static_cast<int>(value >> 1);
    }

  private:
    static constexpr int degree = 31;
    std::uint32_t table[degree];
    int front = 3;
    int rear = 0;
};

inline Random randomstream;

inline int rnd() { return randomstream.next(); }
inline void seedrnd(unsigned value) { randomstream.seed(value); }

} // namespace starlume
