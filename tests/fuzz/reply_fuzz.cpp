// A register read's reply gathered by the real gathering loop (GatherReply) from a modelled port:
// the device's bytes arrive at fuzzed times, in bursts as a USB adapter's latency timer hands
// them on, and the cable may be pulled at any moment. Reads behave as the port's timeouts make
// them (up to 8 bytes; 10 ms between bytes; a second in all). What the loop decides is checked
// against the rule stated on the arrivals alone: accepted when the first four bytes to arrive end
// LF CR, the fourth comes within a second of the frame and no fifth follows right behind it;
// refused when they do not end so, when the fourth comes after every read's time is up or after
// the cable was pulled, or when a fifth comes right behind it. The accumulator is never overrun.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "link/accumulator.h"
#include "link/reply_rule.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

using Us = long long;  // microseconds since the read frame was written
constexpr Us kMs = 1000;
constexpr Us kIntervalUs = 10 * kMs;  // the Exchange read timeouts
constexpr Us kTotalUs = 1000 * kMs;
constexpr Us kNever = 1LL << 50;

struct Line {
    std::vector<unsigned char> bytes;
    std::vector<Us> arrivals;  // nondecreasing
    Us pulledAt = kNever;      // from then on every read fails
    size_t next = 0;           // first byte not yet read
    Us now = 0;
    int reads = 0, readsAfterFailure = 0;
    bool failed = false;
    std::vector<unsigned char> delivered;  // what the successful reads brought, in order
    unsigned char buffer[kReplyReadSize];
};

int ModelRead(void* context, const unsigned char** bytes, size_t* count)
{
    Line& line = *static_cast<Line*>(context);
    ++line.reads;
    line.readsAfterFailure += line.failed ? 1 : 0;
    *bytes = line.buffer;
    *count = 0;
    const Us deadline = line.now + kTotalUs;
    Us lastByte = line.now;
    size_t got = 0;
    while (got < kReplyReadSize) {
        if (line.now >= line.pulledAt) {
            line.failed = true;  // the bytes of a failed read are lost with it
            return 0;
        }
        Us end = std::min(deadline, line.pulledAt);
        if (got > 0)
            end = std::min(end, lastByte + kIntervalUs);
        const Us arrival = line.next < line.bytes.size() ? line.arrivals[line.next] : kNever;
        if (arrival < end) {  // already queued, or arriving before the read ends
            line.now = std::max(line.now, arrival);
            lastByte = line.now;
            line.buffer[got++] = line.bytes[line.next++];
            continue;
        }
        line.now = end;
        if (end < line.pulledAt)
            break;  // a timeout
    }
    *count = got;
    line.delivered.insert(line.delivered.end(), line.buffer, line.buffer + got);
    return 1;
}

unsigned long long ModelClockMs(void* context)
{
    return static_cast<unsigned long long>(static_cast<Line*>(context)->now / kMs);
}

void ModelPause(void* context, unsigned ms)
{
    static_cast<Line*>(context)->now += static_cast<Us>(ms) * kMs;
}

enum class Verdict { Accepted, Refused, EitherWay };

// The rule, from the arrivals alone.
Verdict Expected(const Line& line)
{
    const auto& b = line.bytes;
    const auto& at = line.arrivals;
    if (b.size() < 4 || b[2] != 0x0A || b[3] != 0x0D)
        return Verdict::Refused;
    if (at[3] > 2020 * kMs || line.pulledAt < at[3])
        return Verdict::Refused;
    const bool fifthRightBehind = b.size() > 4 && at[4] <= at[3] + 5 * kMs;
    if (at[3] <= 1000 * kMs && fifthRightBehind)
        return Verdict::Refused;
    const bool fifthWellBehind = b.size() == 4 || at[4] >= at[3] + 20 * kMs;
    if (at[3] <= 1000 * kMs && fifthWellBehind && line.pulledAt >= at[3] + 20 * kMs)
        return Verdict::Accepted;
    return Verdict::EitherWay;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    Accumulator gathered;
    memset(gathered.bytes, 0x0D, sizeof gathered.bytes);  // the worst leftovers: LF CR everywhere
    gathered.end = in.ConsumeIntegral<size_t>();          // wherever an earlier use left it

    // The device's bytes: a well-formed reply or anything, then perhaps more.
    Line line;
    const size_t count = in.ConsumeIntegralInRange<size_t>(0, 12);
    const bool wellFormed = in.ConsumeBool();
    for (size_t i = 0; i < count; ++i)
        line.bytes.push_back(in.ConsumeIntegral<unsigned char>());
    if (wellFormed && count >= 4) {
        line.bytes[2] = 0x0A;
        line.bytes[3] = 0x0D;
    }
    // On the wire one after another, each after the last, then held by the adapter until its
    // latency timer next expires (0: no adapter).
    const Us latency = in.ConsumeIntegralInRange<Us>(0, 40) * kMs;
    Us wire = in.ConsumeIntegralInRange<Us>(0, 2500) * kMs;
    for (size_t i = 0; i < count; ++i) {
        wire += in.ConsumeBool() ? 8333 : in.ConsumeIntegralInRange<Us>(0, 300 * kMs);
        const Us arrival = latency > 0 ? (wire + latency - 1) / latency * latency : wire;
        line.arrivals.push_back(arrival);
    }
    if (in.ConsumeBool())
        line.pulledAt = in.ConsumeIntegralInRange<Us>(0, 2500 * kMs);

    const ReplyPort port = {&line, ModelRead, ModelClockMs, ModelPause};
    const size_t total = GatherReply(port, 0, gathered);
    const bool accepted = ReplyAccepted(gathered.bytes, total);

    // What the reads brought, in order, and nothing more; never past four by more than one read.
    FUZZ_CHECK(total == line.delivered.size() && total < kReplyLength + kReplyReadSize);
    FUZZ_CHECK(gathered.end == total);
    FUZZ_CHECK(std::equal(line.delivered.begin(), line.delivered.end(), gathered.bytes));
    // A failed read ends the gathering at once; the gathering ends when every read's time is up.
    FUZZ_CHECK(line.readsAfterFailure == 0);
    FUZZ_CHECK(line.now <= 2020 * kMs);
    if (count == 0 && line.pulledAt == kNever)
        FUZZ_CHECK(line.now >= 2010 * kMs && line.reads == 2);

    const Verdict verdict = Expected(line);
    if (verdict != Verdict::EitherWay)
        FUZZ_CHECK(accepted == (verdict == Verdict::Accepted));
    if (accepted)
        FUZZ_CHECK(gathered.bytes[0] == line.bytes[0] && gathered.bytes[1] == line.bytes[1]);
    return 0;
}
