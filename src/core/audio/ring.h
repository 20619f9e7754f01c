// A single-producer, single-consumer queue over a fixed array: one thread
// pushes, another pops, and neither ever waits, locks or allocates. This is
// how sound gets from an audio thread to the main thread.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>

namespace starlume {

template <typename T, std::size_t N> class Ring {
    static_assert(N > 0 && (N & (N - 1)) == 0, "the capacity is a power of two");

  public:
    static constexpr std::size_t capacity = N;

    // Producer: appends all n values, or none when they do not fit, so that a
    // chunk of whole frames never arrives cut.
    bool push(const T* data, std::size_t n) {
        const std::size_t head = pushed.load(std::memory_order_relaxed);
        const std::size_t tail = popped.load(std::memory_order_acquire);
        if (n > N - (head - tail)) return false;
        const std::size_t at = head % N;
        const std::size_t first = std::min(n, N - at);
        std::copy_n(data, first, buf + at);
        std::copy_n(data + first, n - first, buf);
        pushed.store(head + n, std::memory_order_release);
        return true;
    }

    // Consumer: moves up to max of the oldest values to out; returns how many.
    std::size_t pop(T* out, std::size_t max) {
        const std::size_t tail = popped.load(std::memory_order_relaxed);
        const std::size_t head = pushed.load(std::memory_order_acquire);
        const std::size_t n = std::min(max, head - tail);
        const std::size_t at = tail % N;
        const std::size_t first = std::min(n, N - at);
        std::copy_n(buf + at, first, out);
        std::copy_n(buf, n - first, out + first);
        popped.store(tail + n, std::memory_order_release);
        return n;
    }

  private:
    T buf[N] = {};
    // Counts of values ever pushed and popped; they only grow, and their
    // difference is what is queued. Apart, so that the two threads do not
    // share a cache line.
    alignas(64) std::atomic<std::size_t> pushed{0};
    alignas(64) std::atomic<std::size_t> popped{0};
};

} // namespace starlume
