#include "link/line_trace.h"

#include <cstdio>

#include "link/settings_text.h"

namespace {

constexpr const char* kDirectionNames[] = {"TX", "RX", "DROP"};

}  // namespace

size_t FormatTraceLine(uint64_t elapsedMs, TraceDirection direction, const unsigned char* bytes, size_t count,
                       char* out, size_t outSize)
{
    if (outSize == 0)
        return 0;
    int length =
        snprintf(out, outSize, "+%llu.%03u %s", static_cast<unsigned long long>(elapsedMs / 1000),
                 static_cast<unsigned>(elapsedMs % 1000), kDirectionNames[static_cast<int>(direction)]);
    for (size_t i = 0; i < count && length > 0 && static_cast<size_t>(length) < outSize; ++i)
        length += snprintf(out + length, outSize - static_cast<size_t>(length), " %02X", bytes[i]);
    if (length <= 0 || static_cast<size_t>(length) + 4 >= outSize) {
        out[0] = '\0';
        return 0;
    }
    out[length++] = ' ';
    out[length++] = '"';
    // The escapes of a settings file: a byte that is text stands as itself.
    const size_t escaped = EscapeSettingsText(reinterpret_cast<const char*>(bytes), count, out + length,
                                              outSize - static_cast<size_t>(length) - 2);
    if (escaped == 0 && count > 0) {
        out[0] = '\0';
        return 0;
    }
    length += static_cast<int>(escaped);
    out[length++] = '"';
    out[length++] = '\n';
    out[length] = '\0';
    return static_cast<size_t>(length);
}
