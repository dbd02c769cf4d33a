#include "link/reply_rule.h"

#include "link/sync_settings.h"  // kCr

namespace {

constexpr unsigned char kLf = 0x0A;

}  // namespace

bool ReplyWantsSecondRead(size_t firstCount)
{
    return firstCount < kReplyLength;
}

bool ReplyAccepted(const unsigned char* gathered, size_t total)
{
    return total == kReplyLength && gathered[2] == kLf && gathered[3] == kCr;
}
