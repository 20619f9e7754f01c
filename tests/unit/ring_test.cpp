#include <algorithm>
#include <cstdint>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "core/audio/ring.h"

using namespace starlume;

// Also built on its own under ThreadSanitizer, which reports any access the
// atomics do not order.
TEST(Ring, HandsOverEveryValueInOrderFromAnotherThread) {
    // Small, so that it is found full again and again and wraps many times.
    static Ring<std::uint32_t, 64> ring;
    constexpr std::uint32_t total = 1'000'000;
    std::thread producer([] {
        std::uint32_t chunk[7];
        for (std::uint32_t next = 0, size = 1; next < total; size = size % 7 + 1) {
            const std::uint32_t n = std::min(size, total - next);
            for (std::uint32_t i = 0; i < n; i++) chunk[i] = next + i;
            if (ring.push(chunk, n)) {
                next += n;
            } else {
                std::this_thread::yield();
            }
        }
    });
    std::uint32_t expected = 0, wrong = 0;
    std::uint32_t got[13];
    while (expected < total) {
        const std::size_t n = ring.pop(got, 1 + expected % 13);
        for (std::size_t i = 0; i < n; i++) wrong += got[i] != expected++;
    }
    producer.join();
    EXPECT_EQ(wrong, 0u);
    EXPECT_EQ(ring.pop(got, 13), 0u);
}

TEST(Ring, TakesAChunkWholeOrNotAtAll) {
    Ring<int, 4> ring;
    const int values[] = {1, 2, 3, 4, 5};
    int out[5] = {};
    Ring<int, 4> empty;
    EXPECT_TRUE(empty.push(values, 4)); // the whole capacity at once
    EXPECT_FALSE(empty.push(values, 1));
    EXPECT_TRUE(ring.push(values, 3));
    EXPECT_FALSE(ring.push(values + 3, 2)); // one place left: nothing of it goes in
    EXPECT_EQ(ring.pop(out, 2), 2u);
    EXPECT_TRUE(ring.push(values + 3, 2)); // across the end of the array
    EXPECT_EQ(ring.pop(out + 2, 5), 3u);
    EXPECT_EQ(std::vector<int>(out, out + 5), std::vector<int>({1, 2, 3, 4, 5}));
}
