#include "link/banner.h"

#include <cstring>

const unsigned char ResetBanner[8] = {'A', 'T', 'S', '0', '=', '1', '\n', '\r'};

bool BannerRecognized(const unsigned char* bytes, size_t count)
{
    size_t length = 0;
    while (length < count && bytes[length] != 0)
        ++length;
    size_t first = 0;
    while (first < length && bytes[first] != 'A')
        ++first;
    if (first == length)
        return false;
    // Only the first 'A' counts: noise holding an 'A' before the banner spoils it for as long as the
    // accumulator keeps that 'A'.
    return length - first == sizeof ResetBanner &&
           std::memcmp(bytes + first, ResetBanner, sizeof ResetBanner) == 0;
}
