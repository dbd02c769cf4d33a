// Waiting for written bytes to leave the port. EV_TXEMPTY is not relied on: Wine never reports it
// on a virtual port and some USB serial drivers do not report it reliably, so a synchronous
// WaitCommEvent for it could hang for ever. We poll the driver's output queue instead, and since
// a pty or a buffering USB adapter reports an empty queue at once, we also wait at least the
// bytes' line time, so that we never run ahead of a 1200-baud device.
#include "link/transmit_wait.h"

namespace {

constexpr DWORD kDeadlineFactor = 4;  // line times allowed before giving up
constexpr DWORD kDeadlineMarginMs = 250;
constexpr DWORD kPollMs = 2;

}  // namespace

// Line time of `byteCount` bytes at 1200 baud, 10 bits a byte, in whole milliseconds (rounded up).
static DWORD LineTimeMs(DWORD byteCount)
{
    // 10 bits a byte (start, 8 data, stop) at 1200 bit/s.
    return (byteCount * 10 * 1000 + 1199) / 1200;
}

static ULONGLONG NowMs()
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<ULONGLONG>(now.QuadPart) * 1000 / static_cast<ULONGLONG>(frequency.QuadPart);
}

int WaitTransmitted(HANDLE port, DWORD byteCount, ULONGLONG handedAtMs)
{
    const ULONGLONG lineTime = LineTimeMs(byteCount);
    const ULONGLONG deadline = kDeadlineFactor * lineTime + kDeadlineMarginMs;
    for (;;) {
        DWORD errors = 0;
        COMSTAT status = {};
        if (!ClearCommError(port, &errors, &status))
            return 0;
        const ULONGLONG elapsed = NowMs() - handedAtMs;
        if (status.cbOutQue == 0 && elapsed >= lineTime)
            return 1;
        if (elapsed > deadline)
            return 0;
        // With the queue empty only the line time is left to wait; otherwise poll.
        const ULONGLONG pause = (status.cbOutQue == 0 && lineTime > elapsed) ? lineTime - elapsed : kPollMs;
        Sleep(static_cast<DWORD>(pause));
    }
}

ULONGLONG TransmitClockMs()
{
    return NowMs();
}
