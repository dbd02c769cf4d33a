#include "qsync/trace_file.h"

#include <cstdio>
#include <cstring>

#include "link/com_port.h"
#include "link/file_replace.h"
#include "link/line_trace.h"
#include "qsync/console.h"
#include "qsync/host.h"
#include "commit.h"
#include "version.h"

namespace {

FileOutput trace;
const char* tracePath = nullptr;  // while a trace runs
uint64_t traceStartMs = 0;
char tracedCommand[1024] = "qsync";

// A failed write is kept by the output and said when the trace ends: the operation goes on.
void WriteTraceLine(TraceDirection direction, const unsigned char* bytes, uint32_t count)
{
    char line[kTraceLineSize];
    const size_t length =
        FormatTraceLine(PortClockMs() - traceStartMs, direction, bytes, count, line, sizeof line);
    WriteFileOutput(&trace, line, length);
}

}  // namespace

void SetTracedCommand(int argc, const char* const* argv)
{
    size_t length = std::strlen(tracedCommand);  // "qsync", whatever the program file is called
    for (int i = 1; i < argc; ++i) {
        const char* quote = std::strchr(argv[i], ' ') ? "\"" : "";
        const int n =
            snprintf(tracedCommand + length, sizeof tracedCommand - length, " %s%s%s", quote, argv[i], quote);
        if (n < 0 || static_cast<size_t>(n) >= sizeof tracedCommand - length)
            break;  // cut: the line names what fits
        length += static_cast<size_t>(n);
    }
}

int TraceIsNot(const char* path, const char* other, const char* what)
{
    if (other && std::strcmp(other, "-") != 0 && SameFile(path, other))
        return Fail(kExitUsage, "%s: can't trace there: it is the %s", path, what);
    return kExitOk;
}

int StartTraceFile(const Invocation& invocation, const char* portDevice, const char* settingsFile)
{
    const char* path = invocation.options[kTraceOption];
    if (!path)
        return kExitOk;
    if (std::strcmp(path, "-") == 0) {
        StandardErrorOutput(&trace);
    } else {
        int code = TraceIsNot(path, settingsFile, "settings file");
        if (code == kExitOk)
            code = TraceIsNot(path, invocation.options[kOutputOption], "output");
        if (code == kExitOk && portDevice)
            code = TraceIsNot(path, portDevice, "port");
        if (code != kExitOk)
            return code;
        char reason[256];
        if (!OpenFileOutput(path, &trace, reason, sizeof reason))
            return Fail(kExitUsage, "%s: can't write: %s", path, reason);
    }
    char now[32], header[sizeof tracedCommand + 128];
    UtcTimeText(now, sizeof now);
    const int length = snprintf(header, sizeof header, "# qsync %s%s%s%s trace of: %s; started %s UTC\n",
                                QUORBANE_VERSION, *QUORBANE_COMMIT ? " (" : "", QUORBANE_COMMIT,
                                *QUORBANE_COMMIT ? ")" : "", tracedCommand, now);
    // A line that did not fit is written as far as it was printed.
    const size_t printed = length < 0 ? 0 : static_cast<size_t>(length);
    WriteFileOutput(&trace, header, printed < sizeof header ? printed : sizeof header - 1);
    tracePath = path;
    traceStartMs = PortClockMs();
    SetLineTraceSink(WriteTraceLine);
    return kExitOk;
}

int EndTraceFile(int code)
{
    if (!tracePath)
        return code;
    SetLineTraceSink(nullptr);
    char reason[256];
    const bool written = CloseFileOutput(&trace, reason, sizeof reason) != 0;
    const char* path = tracePath;
    tracePath = nullptr;
    if (written)
        return code;
    return Fail(code != kExitOk ? code : kExitUsage, "%s: can't write: %s", path, reason);
}
