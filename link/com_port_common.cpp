// What the serial port does alike on every platform, over the platform's OpenPortNamed and reads.
#include "link/com_port.h"

#include "link/line_trace.h"

namespace {

uint64_t bytesHanded = 0;

}  // namespace

int OpenPort(int index, PortProfile profile)
{
    if (index < 0 || index >= kPortCount)
        return 0;
    return OpenPortNamed(PortNames[index], profile);
}

void AppendToAccumulator()
{
    AccumulatorAppend(ComPort.accumulator, ComPort.readBuffer, ComPort.bytesRead);
}

int ReadPort(uint32_t max)
{
    const int ok = ReadPortPlatform(max);
    TraceLine(TraceDirection::Received, ComPort.readBuffer, ComPort.bytesRead);
    return ok;
}

void DrainPort(uint32_t max)
{
    ReadPortPlatform(max);
    TraceLine(TraceDirection::Dropped, ComPort.readBuffer, ComPort.bytesRead);
}

int WritePort(const unsigned char* bytes, uint32_t count, uint32_t* written)
{
    const int ok = WritePortPlatform(bytes, count, written);
    bytesHanded += *written;
    TraceLine(TraceDirection::Sent, bytes, *written);
    return ok;
}

int DiscardInput()
{
    // Only a trace needs to see what is thrown away: the purge alone does not wait either way.
    if (LineTraceActive()) {
        ReadPendingPlatform();
        TraceLine(TraceDirection::Dropped, ComPort.readBuffer, ComPort.bytesRead);
    }
    return DiscardInputPlatform();
}

uint64_t PortBytesHanded()
{
    return bytesHanded;
}
