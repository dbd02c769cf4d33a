// find: listens for the synchronizer's reset banner, as the window program's search does (the
// Listen profile, the same recognition), on one port or on each port that passes the probe.
#include <cstdio>

#include "link/banner.h"
#include "link/com_port.h"
#include "link/interrupt.h"
#include "qsync/commands.h"
#include "qsync/console.h"

namespace {

constexpr int kDefaultWaitSeconds = 30;
constexpr uint32_t kListenReadSize = 250;

enum class Heard { Banner, Nothing, CantOpen };

// Gathers what the open port brings for `seconds` and looks for the banner in all of it so far,
// so a banner that arrives in pieces is recognised. Each read returns within about 10 ms.
bool HearBanner(int seconds)
{
    const uint64_t end = PortClockMs() + static_cast<uint64_t>(seconds) * 1000;
    while (PortClockMs() < end && !InterruptRequested()) {
        ReadPort(kListenReadSize);
        if (ComPort.bytesRead == 0)
            continue;
        AppendToAccumulator();
        AccumulatorTerminate(ComPort.accumulator);
        if (BannerRecognized(ComPort.accumulator.bytes, ComPort.accumulator.end + 1))
            return true;
    }
    return false;
}

// The port is opened (which drains what was pending) before the user is asked to press Reset:
// a banner sent before that is lost, as in the window program.
Heard ListenOn(const PortName& port, int seconds)
{
    if (!OpenPortNamed(port.device, PortProfile::Listen))
        return Heard::CantOpen;
    Note("listening on %s for %d s: press Reset on the synchronizer", port.shown, seconds);
    const bool heard = HearBanner(seconds);
    RestoreAndClosePort();
    return heard ? Heard::Banner : Heard::Nothing;
}

int Found(const PortName& port)
{
    printf("%s\n", port.shown);
    return kExitOk;
}

}  // namespace

// find [--port COMn] [--wait SECONDS]: SECONDS on each port listened to.
int RunFind(const Invocation& invocation)
{
    int seconds = kDefaultWaitSeconds;
    const char* wait = invocation.options[kWaitOption];
    if (wait && !ParseSeconds(wait, &seconds))
        return Fail(kExitUsage, "--wait takes a number of seconds from 1 to %d, not %s", kMaxSeconds, wait);
    PortName port;
    if (const char* given = invocation.options[kPortOption]) {
        const int code = PortArgument(given, &port);
        if (code != kExitOk)
            return code;
        const Heard heard = ListenOn(port, seconds);
        if (heard == Heard::CantOpen)
            return CantOpen(port);
        if (heard == Heard::Banner)
            return Found(port);
    } else {
        static PortName candidates[kMaxCandidatePorts];
        const int count = CandidatePorts(candidates, kMaxCandidatePorts);
        for (int i = 0; i < count && !InterruptRequested(); ++i) {
            if (ListenOn(candidates[i], seconds) == Heard::Banner)
                return Found(candidates[i]);
        }
    }
    if (InterruptRequested())
        return ReportOutcome(SyncOutcome::Interrupted, "");
    return Fail(kExitDevice, "Synchronizer Not Found");
}
