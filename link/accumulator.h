#pragma once
// The bytes gathered from a port over one or more reads, in arrival order.
//
// Policy: the newest kAccumulatorSize - 1 = 255 bytes are kept, so that the zero byte the search
// writes behind them always fits. When more arrive, the oldest are dropped (the kept bytes slide
// forward), so a banner that arrives whole is always gathered whole, however much noise came
// before it. Nothing here writes outside `bytes`, whatever `end` and the counts hold.
#include <cstddef>

constexpr size_t kAccumulatorSize = 256;

struct Accumulator {
    unsigned char bytes[kAccumulatorSize];
    size_t end;  // where the next gathered byte goes
};

void AccumulatorReset(Accumulator& a);   // end = 0 and all 256 bytes zero (what an open does)
void AccumulatorRewind(Accumulator& a);  // end = 0, old bytes left in place (a register read)
void AccumulatorAppend(Accumulator& a, const unsigned char* src, size_t count);
void AccumulatorTerminate(Accumulator& a);  // zero byte at `end` without advancing
