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
    size_t end = SafeEnd(a);
    size_t room = kKeptBytes - end;
    size_t n = count < room ? count : room;
    if (n > 0)
        std::memcpy(a.bytes + end, src, n);
    a.end = end + n;
}

void AccumulatorTerminate(Accumulator& a)
{
    a.bytes[SafeEnd(a)] = 0;
}
