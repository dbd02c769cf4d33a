// The search's gathering and banner recognition over any sequence of reads, thousands of bytes
// long. After every read the accumulator holds the newest bytes of the stream, terminated in
// bounds, and the banner is recognised exactly when the kept text is noise without 'A' followed
// by the banner. A banner planted after noise without 'A' or NUL is recognised on the read that
// brings its last byte, and not before.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "link/accumulator.h"
#include "link/banner.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

constexpr size_t kKept = kAccumulatorSize - 1;

// Read sizes from 1 to 250 (what the search asks for), and some longer than the accumulator.
size_t ReadSize(unsigned char b)
{
    return b < 250 ? size_t{b} + 1 : 250 + (size_t{b} - 249) * 100;
}

// The kept text ends with the banner and holds no 'A' before it.
bool ExpectedRecognition(const unsigned char* kept, size_t keptCount)
{
    const size_t length = strnlen(reinterpret_cast<const char*>(kept), keptCount);
    const size_t banner = sizeof ResetBanner;
    return length >= banner && memcmp(kept + length - banner, ResetBanner, banner) == 0 &&
           memchr(kept, 'A', length - banner) == nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const bool planted = in.ConsumeBool();
    const int repeats = in.ConsumeIntegralInRange(1, 8);
    const std::vector<unsigned char> sizes = in.ConsumeBytes<unsigned char>(in.ConsumeIntegralInRange(0, 32));
    const std::vector<unsigned char> piece = in.ConsumeRemainingBytes<unsigned char>();

    std::vector<unsigned char> stream;
    for (int r = 0; r < repeats; ++r)
        stream.insert(stream.end(), piece.begin(), piece.end());
    if (planted) {
        for (unsigned char& b : stream) {
            if (b == 'A' || b == 0)
                b ^= 0x80;
        }
        stream.insert(stream.end(), ResetBanner, ResetBanner + sizeof ResetBanner);
    }

    Accumulator gathered;
    memset(&gathered, 0xEE, sizeof gathered);
    AccumulatorReset(gathered);
    AccumulatorAppend(gathered, stream.data(), 0);
    FUZZ_CHECK(gathered.end == 0);
    size_t done = 0;
    for (size_t read = 0; done < stream.size(); ++read) {
        size_t n = sizes.empty() ? 250 : ReadSize(sizes[read % sizes.size()]);
        if (n > stream.size() - done)
            n = stream.size() - done;
        AccumulatorAppend(gathered, stream.data() + done, n);
        AccumulatorTerminate(gathered);
        done += n;

        const size_t kept = done < kKept ? done : kKept;
        FUZZ_CHECK(gathered.end == kept);
        FUZZ_CHECK(gathered.bytes[kept] == 0);
        FUZZ_CHECK(memcmp(gathered.bytes, stream.data() + done - kept, kept) == 0);

        const bool recognized = BannerRecognized(gathered.bytes, gathered.end + 1);
        FUZZ_CHECK(recognized == ExpectedRecognition(gathered.bytes, kept));
        if (planted)
            FUZZ_CHECK(recognized == (done == stream.size()));
    }
    return 0;
}
