#include "qsync/trace_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "link/com_port.h"
#include "link/line_trace.h"
#include "qsync/console.h"

namespace {

FILE* traceFile = nullptr;
uint64_t traceStartMs = 0;

void WriteTraceLine(TraceDirection direction, const unsigned char* bytes, uint32_t count)
{
    char line[kTraceLineSize];
    const size_t length =
        FormatTraceLine(PortClockMs() - traceStartMs, direction, bytes, count, line, sizeof line);
    fwrite(line, 1, length, traceFile);
    fflush(traceFile);  // what led up to a hang or a crash is in the file
}

}  // namespace

int StartTraceFile(const char* path)
{
    traceFile = fopen(path, "w");
    if (!traceFile)
        return Fail(kExitUsage, "Can't write %s: %s", path, strerror(errno));
    traceStartMs = PortClockMs();
    SetLineTraceSink(WriteTraceLine);
    return kExitOk;
}

void EndTraceFile()
{
    if (!traceFile)
        return;
    SetLineTraceSink(nullptr);
    fclose(traceFile);
    traceFile = nullptr;
}
