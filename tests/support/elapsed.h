#pragma once
// Milliseconds since a moment, for the figures the tests print.
#include <chrono>

inline double MsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}
