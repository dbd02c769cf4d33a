#include "link/accumulator.h"

#include <cstring>

namespace {

constexpr size_t kKeptBytes = kAccumulatorSize - 1;  // room for the terminating zero

// `end` as a position that is always inside the kept range, even if a caller set it wildly.
size_t SafeEnd(const Accumulator& a)
{
    return a.end < kKeptBytes ? a.end : kKeptBytes;
}

}  // namespace

void AccumulatorReset(Accumulator& a)
{
    std::memset(a.bytes, 0, sizeof a.bytes);
    a.end = 0;
}

void AccumulatorRewind(Accumulator& a)
{
    a.end = 0;
}

void AccumulatorAppend(Accumulator& a, const unsigned char* src, size_t count)
{
    if (count >= kKeptBytes) {  // this read alone fills the accumulator: its newest bytes
        std::memcpy(a.bytes, src + (count - kKeptBytes), kKeptBytes);
        a.end = kKeptBytes;
        return;
    }
    size_t end = SafeEnd(a);
    const size_t room = kKeptBytes - end;
    if (count > room) {  // drop the oldest bytes; count < kKeptBytes, so drop < end
        const size_t drop = count - room;
        std::memmove(a.bytes, a.bytes + drop, end - drop);
        end -= drop;
    }
    if (count > 0)
        std::memcpy(a.bytes + end, src, count);
    a.end = end + count;
}

void AccumulatorTerminate(Accumulator& a)
{
    a.bytes[SafeEnd(a)] = 0;
}
