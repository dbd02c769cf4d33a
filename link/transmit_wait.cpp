// Waiting for written bytes to leave the port. EV_TXEMPTY is not relied on: Wine never reports it
// on a virtual port and some USB serial drivers do not report it reliably, so a synchronous
// WaitCommEvent for it could hang for ever; tcdrain returns early on a pty or a USB adapter. We
// poll the driver's output queue instead, and since a pty or a buffering USB adapter reports an
// empty queue at once, we also wait at least the bytes' line time, so that we never run ahead of
// a 1200-baud device.
#include "link/transmit_wait.h"

#include "link/com_port.h"

namespace {

constexpr uint64_t kDeadlineFactor = 4;  // line times allowed before giving up
constexpr uint64_t kDeadlineMarginMs = 250;
constexpr uint32_t kPollMs = 2;

}  // namespace

// Line time of `byteCount` bytes at 1200 baud, 10 bits a byte, in whole milliseconds (rounded up).
static uint64_t LineTimeMs(uint32_t byteCount)
{
    // 10 bits a byte (start, 8 data, stop) at 1200 bit/s.
    return (static_cast<uint64_t>(byteCount) * 10 * 1000 + 1199) / 1200;
}

int WaitTransmitted(uint32_t byteCount, uint64_t handedAtMs)
{
    const uint64_t lineTime = LineTimeMs(byteCount);
    const uint64_t deadline = kDeadlineFactor * lineTime + kDeadlineMarginMs;
    for (;;) {
        uint32_t queued = 0;
        if (!PortOutputQueued(&queued))
            return 0;
        const uint64_t elapsed = PortClockMs() - handedAtMs;
        if (queued == 0 && elapsed >= lineTime)
            return 1;
        if (elapsed > deadline)
            return 0;
        // With the queue empty only the line time is left to wait; otherwise poll.
        const uint64_t pause = (queued == 0 && lineTime > elapsed) ? lineTime - elapsed : kPollMs;
        PortPauseMs(static_cast<uint32_t>(pause));
    }
}

uint64_t TransmitClockMs()
{
    return PortClockMs();
}
