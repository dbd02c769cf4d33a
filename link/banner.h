#pragma once
// Recognition of the synchronizer's reset banner in the bytes gathered from a port.
#include <cstddef>

extern const unsigned char ResetBanner[8];  // "ATS0=1\n\r": LF before CR

// bytes[0..count) read as zero-terminated text (it ends at the first zero byte or at count).
// Recognised only if the text from its first 'A' to its end is exactly the 8 banner bytes;
// text without an 'A' is not recognised.
bool BannerRecognized(const unsigned char* bytes, size_t count);
