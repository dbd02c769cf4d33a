// The register protocol: the program always speaks first and reads an answer only to a read frame.
#include "link/register_protocol.h"

#include <cstring>

#include "link/com_port.h"
#include "link/reply_rule.h"
#include "link/transmit_wait.h"

RegisterPairs RegistersRead;
size_t LastReplyLength = 0;

namespace {

constexpr uint32_t kSendTextLimit = 16;  // texts of 16 characters or more are refused

// Writes the bytes and waits until they have left the port. A failed write clears the port's
// error state so that it works again.
int WriteAndWait(const unsigned char* bytes, uint32_t count)
{
    const uint64_t handedAt = TransmitClockMs();
    uint32_t written = 0;
    if (!WritePort(bytes, count, &written)) {
        ClearPortError();
        return 0;
    }
    if (written != count)
        return 0;
    return WaitTransmitted(count, handedAt);
}

// The open port, its clock and its pause, as the reply's gathering uses them.
int ReadReplyBytes(void*, const unsigned char** bytes, size_t* count)
{
    const int ok = ReadPort(kReplyReadSize);
    *bytes = ComPort.readBuffer;
    *count = ComPort.bytesRead;
    return ok;
}

unsigned long long ReplyClockMs(void*)
{
    return TransmitClockMs();
}

void PauseForReply(void*, unsigned ms)
{
    PortPauseMs(ms);
}

}  // namespace

int SendText(const char* text)
{
    const size_t length = strnlen(text, kSendTextLimit);
    if (length >= kSendTextLimit)
        return 0;
    unsigned char transmit[kSendTextLimit];
    memcpy(transmit, text, length + 1);
    return WriteAndWait(transmit, static_cast<uint32_t>(length));
}

int WriteRegister(RegisterCode code, const unsigned char pair[2])
{
    const unsigned char frame[5] = {'W', code, pair[0], pair[1], kCr};
    return WriteAndWait(frame, sizeof frame);
}

int ReadRegister(RegisterCode code, unsigned char pair[2])
{
    const unsigned char frame[3] = {'R', code, kCr};
    // Whatever came in since the last reply (its late bytes, noise) must not pass for the start
    // of this one. Should the port refuse, the write below fails as well.
    DiscardInput();
    uint32_t written = 0;
    if (!WritePort(frame, sizeof frame, &written) || written != sizeof frame)
        return 0;
    // No wait for the frame to leave: the reads' timeouts cover its line time and the reply's.
    const ReplyPort port = {nullptr, ReadReplyBytes, ReplyClockMs, PauseForReply};
    const size_t total = GatherReply(port, TransmitClockMs(), ComPort.accumulator);
    LastReplyLength = total;
    pair[0] = ComPort.accumulator.bytes[0];
    pair[1] = ComPort.accumulator.bytes[1];
    if (!ReplyAccepted(ComPort.accumulator.bytes, total))
        return 0;
    if (code >= kFirstRegisterCode && code < kFirstRegisterCode + kRegisterCodeSpan) {
        memcpy(RegistersRead.pairs[code - kFirstRegisterCode], pair, 2);
        RegistersRead.answered[code - kFirstRegisterCode] = true;
    }
    return 1;
}

int WriteRegisterRun(RegisterCode first, int count)
{
    for (int i = 0; i < count; ++i) {
        const RegisterCode code = static_cast<RegisterCode>(first + i);
        unsigned char pair[2];
        RegisterText(code, pair);
        if (!WriteRegister(code, pair))
            return 0;
    }
    return 1;
}
