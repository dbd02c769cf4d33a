#include "link/decimal_text.h"

namespace {

// The C white-space set, spelled out so that the locale cannot change it.
bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

}  // namespace

int32_t ParseDecimalBounded(const char* text, size_t size)
{
    size_t i = 0;
    while (i < size && IsBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < size && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Magnitude capped just past INT32_MAX + 1, so the sum never grows without bound.
    constexpr int64_t kCap = int64_t{INT32_MAX} + 1;
    int64_t magnitude = 0;
    for (; i < size && IsDigit(text[i]); ++i) {
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > kCap)
            magnitude = kCap;
    }
    if (negative)
        return static_cast<int32_t>(-magnitude);  // -kCap is INT32_MIN exactly
    return magnitude > INT32_MAX ? INT32_MAX : static_cast<int32_t>(magnitude);
}

int32_t ParseDecimal(const char* text)
{
    return ParseDecimalBounded(text, SIZE_MAX);
}

int32_t FrameFromTextBounded(const char* text, size_t size, int32_t emptyValue, int32_t lowest,
                             int32_t highest)
{
    if (size == 0 || text[0] == '\0')
        return emptyValue;
    int32_t value = ParseDecimalBounded(text, size);
    if (value < lowest)
        return lowest;
    if (value > highest)
        return highest;
    return value;
}

int32_t FrameFromText(const char* text, int32_t emptyValue, int32_t lowest, int32_t highest)
{
    return FrameFromTextBounded(text, SIZE_MAX, emptyValue, lowest, highest);
}

int ParseCount(const char* text, int highest)
{
    if (text[0] < '1' || text[0] > '9')
        return 0;
    int value = 0;
    for (const char* c = text; *c; ++c) {
        if (!IsDigit(*c))
            return 0;
        value = value * 10 + (*c - '0');
        if (value > highest)
            return 0;
    }
    return value;
}
