#pragma once
// Shared by the fuzz targets: a property that does not hold stops the run, naming itself, so that
// libFuzzer keeps the input as a finding.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#define FUZZ_CHECK(condition)                                                                            \
    do {                                                                                                 \
        if (!(condition)) {                                                                              \
            std::fprintf(stderr, "%s:%d: property does not hold: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                                \
        }                                                                                                \
    } while (0)

// The text a fixed array shows: up to its first NUL, which must lie inside the array.
inline std::string Visible(const char* text, size_t size)
{
    const size_t length = strnlen(text, size);
    FUZZ_CHECK(length < size);
    return std::string(text, length);
}
