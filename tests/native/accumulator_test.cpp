#include "link/accumulator.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// Alone on the heap, so that ASan reports any write past the structure.
std::unique_ptr<Accumulator> NewAccumulator()
{
    std::unique_ptr<Accumulator> a(new Accumulator);
    std::memset(a->bytes, 0xEE, sizeof a->bytes);
    a->end = 0;
    return a;
}

TEST(Accumulator, ResetZeroesAllBytesRewindKeepsThem)
{
    auto a = NewAccumulator();
    const unsigned char data[] = {'x', 'y', 'z'};
    AccumulatorAppend(*a, data, 3);
    AccumulatorRewind(*a);
    EXPECT_EQ(a->end, 0u);
    EXPECT_EQ(a->bytes[0], 'x');
    EXPECT_EQ(a->bytes[3], 0xEE);

    AccumulatorReset(*a);
    EXPECT_EQ(a->end, 0u);
    for (size_t i = 0; i < kAccumulatorSize; ++i)
        ASSERT_EQ(a->bytes[i], 0) << i;
}

TEST(Accumulator, AppendsInArrivalOrderAndTerminatesWithoutAdvancing)
{
    auto a = NewAccumulator();
    AccumulatorReset(*a);
    const unsigned char first[] = {'A', 'T', 'S'};
    const unsigned char second[] = {'0', '='};
    AccumulatorAppend(*a, first, 3);
    AccumulatorTerminate(*a);
    EXPECT_EQ(a->end, 3u);
    EXPECT_EQ(a->bytes[3], 0);
    AccumulatorAppend(*a, second, 2);  // overwrites the zero
    AccumulatorAppend(*a, second, 0);
    AccumulatorTerminate(*a);
    EXPECT_EQ(a->end, 5u);
    EXPECT_EQ(std::memcmp(a->bytes, "ATS0=\0", 6), 0);
}

// Thousands of bytes in reads of various sizes: after every read the accumulator holds the newest
// 255 bytes (or all, while fewer came) in arrival order, and the terminator lands at byte 255 at
// the latest.
TEST(Accumulator, KeepsTheNewest255BytesOfAnyFlood)
{
    const size_t chunkSizes[] = {1, 7, 250, 254, 255, 256, 3000};
    std::vector<unsigned char> stream(5000);
    for (size_t i = 0; i < stream.size(); ++i)
        stream[i] = static_cast<unsigned char>(1 + i % 251);
    for (size_t chunk : chunkSizes) {
        auto a = NewAccumulator();
        AccumulatorReset(*a);
        for (size_t done = 0; done < stream.size();) {
            size_t n = stream.size() - done < chunk ? stream.size() - done : chunk;
            AccumulatorAppend(*a, stream.data() + done, n);
            AccumulatorTerminate(*a);
            done += n;
            const size_t kept = done < kAccumulatorSize - 1 ? done : kAccumulatorSize - 1;
            ASSERT_EQ(a->end, kept) << "chunk " << chunk << " after " << done;
            ASSERT_EQ(std::memcmp(a->bytes, stream.data() + done - kept, kept), 0)
                << "chunk " << chunk << " after " << done;
            ASSERT_EQ(a->bytes[a->end], 0) << "chunk " << chunk;
        }
    }
}

TEST(Accumulator, StaysInBoundsWhateverEndHolds)
{
    auto a = NewAccumulator();
    const unsigned char data[300] = {};
    for (size_t end : {size_t{255}, size_t{256}, size_t{1000}, SIZE_MAX}) {
        a->end = end;
        AccumulatorTerminate(*a);
        AccumulatorAppend(*a, data, sizeof data);
        EXPECT_LE(a->end, kAccumulatorSize - 1) << "end " << end;
    }
}

}  // namespace
