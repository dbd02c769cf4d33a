// A register read's reply over any split into the two reads, gathered as a register read does:
// the accumulator only rewound, so older bytes still lie behind. Accepted exactly when what the
// reads brought is four bytes ending LF CR; a well-formed reply is accepted however it is split.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "link/accumulator.h"
#include "link/reply_rule.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

constexpr size_t kReadSize = 8;  // what a register read asks for each time

// The reads as ReadRegister gathers them; returns whether the reply was accepted.
bool Gather(Accumulator& gathered, const std::vector<unsigned char>& first,
            const std::vector<unsigned char>& second, std::vector<unsigned char>* brought)
{
    AccumulatorRewind(gathered);
    AccumulatorAppend(gathered, first.data(), first.size());
    size_t total = first.size();
    *brought = first;
    if (ReplyWantsSecondRead(total)) {
        AccumulatorAppend(gathered, second.data(), second.size());
        total += second.size();
        brought->insert(brought->end(), second.begin(), second.end());
    }
    FUZZ_CHECK(gathered.end == brought->size());
    FUZZ_CHECK(std::equal(brought->begin(), brought->end(), gathered.bytes));
    return ReplyAccepted(gathered.bytes, total);
}

bool IsReply(const std::vector<unsigned char>& bytes)
{
    return bytes.size() == 4 && bytes[2] == 0x0A && bytes[3] == 0x0D;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    Accumulator gathered;
    const std::vector<unsigned char> stale = in.ConsumeBytes<unsigned char>(sizeof gathered.bytes);
    memset(gathered.bytes, 0x0D, sizeof gathered.bytes);  // the worst leftovers: LF CR everywhere
    if (!stale.empty())
        memcpy(gathered.bytes, stale.data(), stale.size());

    // Any two reads of up to 8 bytes each.
    std::vector<unsigned char> first =
        in.ConsumeBytes<unsigned char>(in.ConsumeIntegralInRange<size_t>(0, kReadSize));
    std::vector<unsigned char> second =
        in.ConsumeBytes<unsigned char>(in.ConsumeIntegralInRange<size_t>(0, kReadSize));
    std::vector<unsigned char> brought;
    FUZZ_CHECK(Gather(gathered, first, second, &brought) == IsReply(brought));
    if (first.size() > kReplyLength)
        FUZZ_CHECK(!ReplyAccepted(gathered.bytes, first.size()));

    // A well-formed reply split anywhere is accepted.
    const unsigned char pair[2] = {in.ConsumeIntegral<unsigned char>(), in.ConsumeIntegral<unsigned char>()};
    const unsigned char reply[4] = {pair[0], pair[1], 0x0A, 0x0D};
    const size_t split = in.ConsumeIntegralInRange<size_t>(0, 4);
    first.assign(reply, reply + split);
    second.assign(reply + split, reply + 4);
    FUZZ_CHECK(Gather(gathered, first, second, &brought));
    FUZZ_CHECK(gathered.bytes[0] == pair[0] && gathered.bytes[1] == pair[1]);
    return 0;
}
