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

    // The next count numbers, the same as count calls of next(), at about a
    // cycle each: the stream laid out straight, so that the three numbers
    // in flight stay in registers.
    void fill(int* out, int count) {
        constexpr int piece = 1024;
        std::uint32_t r[degree + piece];
        while (count > 0) {
            const int m = count < piece ? count : piece;
            for (int j = 0, at = front; j < degree; j++, at = at + 1 == degree ? 0 : at + 1) {
                r[j] = table[at]; // oldest first
            }
            // r[i + 31] = r[i] + r[i + 28]
            std::uint32_t a = r[degree - 3], b = r[degree - 2], c = r[degree - 1];
            int i = 0;
            for (; i + 3 <= m; i += 3) {
                r[degree + i] = a += r[i];
                r[degree + i + 1] = b += r[i + 1];
                r[degree + i + 2] = c += r[i + 2];
            }
            for (; i < m; i++) r[degree + i] = r[i] + r[degree + i - 3];
            for (int j = 0; j < m; j++) out[j] = static_cast<int>(r[degree + j] >> 1);
            for (int j = 0; j < degree; j++) table[j] = r[m + j];
            front = 0;
            rear = degree - 3;
            out += m;
            count -= m;
        }
    }

  private:
    static constexpr int degree = 31;
    std::uint32_t table[degree];
    int front = 3;
    int rear = 0;
};

inline Random randomstream;

inline int rnd() { return randomstream.next(); }
inline void rnds(int* out, int count) { randomstream.fill(out, count); }
inline void seedrnd(unsigned value) { randomstream.seed(value); }

} // namespace starlume
