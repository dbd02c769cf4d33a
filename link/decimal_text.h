#pragma once
// The one rule by which the program reads a number typed into a field or stored in a register:
// leading white space, an optional sign, then digits up to the first non-digit. No digits give 0.
// Runs of digits too long for 32 bits saturate at the INT32 limits instead of overflowing.
#include <cstddef>
#include <cstdint>

int32_t ParseDecimal(const char* text);

// The same rule, reading at most `size` characters of `text` (it also stops at a NUL), for
// fixed arrays that may not hold a terminating NUL.
int32_t ParseDecimalBounded(const char* text, size_t size);

// A frame field: empty text gives emptyValue; otherwise the decimal value, raised to lowest if
// below it and lowered to highest if above.
int32_t FrameFromText(const char* text, int32_t emptyValue, int32_t lowest, int32_t highest);
int32_t FrameFromTextBounded(const char* text, size_t size, int32_t emptyValue, int32_t lowest,
                             int32_t highest);

// A count as a command line gives it: digits only, no leading zero, from 1 to `highest`; 0 for
// anything else.
int ParseCount(const char* text, int highest);
