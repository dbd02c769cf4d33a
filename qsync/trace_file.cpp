#include "qsync/trace_file.h"

#include <cstdio>
#include <cstring>

#include "link/com_port.h"
#include "link/file_replace.h"
#include "link/line_trace.h"
#include "qsync/console.h"

namespace {

FileOutput trace;
const char* tracePath = nullptr;  // while a trace runs
uint64_t traceStartMs = 0;

// A failed write is kept by the output and said when the trace ends: the operation goes on.
void WriteTraceLine(TraceDirection direction, const unsigned char* bytes, uint32_t count)
{
    char line[kTraceLineSize];
    const size_t length =
        FormatTraceLine(PortClockMs() - traceStartMs, direction, bytes, count, line, sizeof line);
    WriteFileOutput(&trace, line, length);
}

}  // namespace

int TraceIsNot(const char* path, const char* other, const char* what)
{
    if (other && std::strcmp(other, "-") != 0 && SameFile(path, other))
        return Fail(kExitUsage, "Can't trace to %s: it is the %s", path, what);
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
            return Fail(kExitUsage, "Can't write %s: %s", path, reason);
    }
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
    return Fail(code != kExitOk ? code : kExitUsage, "Can't write %s: %s", path, reason);
}
