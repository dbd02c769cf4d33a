#include "link/reply_rule.h"

#include "link/sync_settings.h"  // kCr

namespace {

constexpr unsigned char kLf = 0x0A;

}  // namespace

bool ReplyWantsAnotherRead(size_t gathered, bool lastReadOk, int readsDone, unsigned long long sinceWrittenMs)
{
    return gathered < kReplyLength && lastReadOk && (readsDone < 2 || sinceWrittenMs < kReplyDeadlineMs);
}

bool ReplyAccepted(const unsigned char* gathered, size_t total)
{
    return total == kReplyLength && gathered[2] == kLf && gathered[3] == kCr;
}

size_t GatherReply(const ReplyPort& port, unsigned long long writtenAtMs, Accumulator& gathered)
{
    AccumulatorRewind(gathered);
    port.pause(port.context, kReplyFirstPauseMs);
    // Each read starts with fewer than four bytes gathered and brings at most eight, so the total
    // stays below 4 + 8, far inside the accumulator.
    size_t total = 0;
    for (int reads = 1;; ++reads) {
        const unsigned char* bytes = nullptr;
        size_t count = 0;
        const bool ok = port.read(port.context, &bytes, &count) != 0;
        if (!ok || !bytes)
            count = 0;
        if (count > kReplyReadSize)  // a read never brings more than it asked for
            count = kReplyReadSize;
        AccumulatorAppend(gathered, bytes, count);
        total += count;
        const unsigned long long now = port.nowMs(port.context);
        const unsigned long long since = now > writtenAtMs ? now - writtenAtMs : 0;
        if (!ReplyWantsAnotherRead(total, ok, reads, since))
            return total;
        port.pause(port.context, kReplyNextPauseMs);
    }
}
