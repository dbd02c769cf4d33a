// find: listens for the synchronizer's reset banner, as the window program's search does (the
// Listen profile, the same recognition), on one port or on each port that passes the probe.
#include <cstdio>

#include "link/banner.h"
#include "link/com_port.h"
#include "link/interrupt.h"
#include "qsync/commands.h"
#include "qsync/console.h"
#include "qsync/trace_file.h"

namespace {

constexpr int kDefaultWaitSeconds = 30;
constexpr uint32_t kListenReadSize = 250;
// Reads failing one after the other: the adapter has gone, and the search would spin until its
// time is up.
constexpr int kFailedReadsLimit = 3;

// One read of what the port brings. A read that brings nothing counts as failed when the port no
// longer reports its state either: a pulled adapter's reads may still return empty, as on a quiet
// line, while every other call on the port fails (here: asking for its output queue).
bool ReadListening()
{
    uint32_t queued = 0;
    return ReadPort(kListenReadSize) && (ComPort.bytesRead > 0 || PortOutputQueued(&queued));
}

enum class Heard { Banner, Nothing, CantOpen, CantRead, Interrupted };

// Gathers what the open port brings for `seconds` and looks for the banner in all of it so far,
// so a banner that arrives in pieces is recognised. Each read returns within about 10 ms.
Heard HearBanner(int seconds)
{
    const uint64_t end = PortClockMs() + static_cast<uint64_t>(seconds) * 1000;
    int failedReads = 0;
    while (PortClockMs() < end) {
        if (InterruptRequested())
            return Heard::Interrupted;
        failedReads = ReadListening() ? 0 : failedReads + 1;
        if (failedReads == kFailedReadsLimit)
            return Heard::CantRead;
        if (ComPort.bytesRead == 0)
            continue;
        AppendToAccumulator();
        AccumulatorTerminate(ComPort.accumulator);
        if (BannerRecognized(ComPort.accumulator.bytes, ComPort.accumulator.end + 1))
            return Heard::Banner;
    }
    return Heard::Nothing;
}

// The port is opened (which drains what was pending) before the user is asked to press Reset:
// a banner sent before that is lost, as in the window program.
Heard ListenOn(const PortName& port, int seconds)
{
    if (!OpenPortNamed(port.device, PortProfile::Listen))
        return Heard::CantOpen;
    Note("%s: listening for %d s: press Reset on the synchronizer", port.shown, seconds);
    const Heard heard = HearBanner(seconds);
    RestoreAndClosePort();
    NoteIfNotPutBack(port.shown);
    return heard;
}

// Why a candidate could not be used, in the system's words.
const char* SkipReason()
{
    switch (LastPortOpenFailure()) {
        case PortOpenFailure::Denied:
            return "Permission denied";
        case PortOpenFailure::Busy:
            return "in use";
        case PortOpenFailure::Absent:
        case PortOpenFailure::NotSerial:
            return "not a serial port";
        case PortOpenFailure::Settings:
            return "would not take the line settings";
        case PortOpenFailure::None:
        case PortOpenFailure::Other:
            break;
    }
    return "can't be opened";
}

// Each candidate that is a serial port now is opened once as the search starts, so that the user
// learns at once which ones it cannot use and why; `skipped` marks them. How many opened.
int TryCandidates(const PortName* candidates, int count, bool* skipped)
{
    int opened = 0;
    for (int i = 0; i < count; ++i) {
        skipped[i] = false;
        if (!CandidateReady(candidates[i]))
            continue;  // checked again at its turn: an adapter may be plugged in meanwhile
        if (OpenPortNamed(candidates[i].device, PortProfile::Listen)) {
            RestoreAndClosePort();
            NoteIfNotPutBack(candidates[i].shown);
            ++opened;
            continue;
        }
        skipped[i] = true;
        Note("%s: skipped: %s", candidates[i].shown, SkipReason());
    }
    return opened;
}

// What the search ends with once a port has been listened to; -1 to go on to the next port.
int Ending(const PortName& port, Heard heard)
{
    switch (heard) {
        case Heard::Banner:
            printf("%s\n", port.shown);
            return kExitOk;
        case Heard::CantOpen:
            return CantOpen(port);
        case Heard::CantRead:
            return Fail(kExitDevice, "%s: can't read: the port stopped working", port.shown);
        case Heard::Interrupted:
            return ReportInterrupted(port.shown, "the search");
        case Heard::Nothing:
            break;
    }
    return -1;
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
    const char* given = invocation.options[kPortOption];
    if (given && PortArgument(given, &port) != kExitOk)
        return kExitUsage;
    const int traced = StartTraceFile(invocation, given ? port.device : nullptr, nullptr);
    if (traced != kExitOk)
        return traced;
    if (given) {
        const int code = Ending(port, ListenOn(port, seconds));
        if (code >= 0)
            return code;
    } else {
        static PortName candidates[kMaxCandidatePorts];
        bool skipped[kMaxCandidatePorts];
        const int count = CandidatePorts(candidates, kMaxCandidatePorts);
        if (TryCandidates(candidates, count, skipped) == 0)
            return Fail(kExitDevice, "find: no port could be opened");
        for (int i = 0; i < count; ++i) {
            if (InterruptRequested())
                return ReportInterrupted("find", "the search");
            if (skipped[i] || !CandidateReady(candidates[i]))
                continue;
            // A port that opened as the search started may have been taken since.
            const Heard heard = ListenOn(candidates[i], seconds);
            if (heard == Heard::CantOpen)
                Note("%s: skipped: %s", candidates[i].shown, SkipReason());
            const int code = heard == Heard::CantOpen ? -1 : Ending(candidates[i], heard);
            if (code >= 0)
                return code;
        }
    }
    return Fail(kExitDevice, "find: Synchronizer Not Found");
}
