// What the serial port does alike on every platform, over the platform's OpenPortNamed and reads.
#include "link/com_port.h"

namespace {

LineTraceSink traceSink = nullptr;
uint64_t bytesHanded = 0;  // every byte WritePort handed to a driver

// The bytes a write or read moved, to the trace when one is set.
void Trace(TraceDirection direction, const unsigned char* bytes, uint32_t count)
{
    if (traceSink && count > 0)
        traceSink(direction, bytes, count);
}

}  // namespace

void SetLineTraceSink(LineTraceSink sink)
{
    traceSink = sink;
}

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
    Trace(TraceDirection::Received, ComPort.readBuffer, ComPort.bytesRead);
    return ok;
}

void DrainPort(uint32_t max)
{
    ReadPortPlatform(max);
    Trace(TraceDirection::Dropped, ComPort.readBuffer, ComPort.bytesRead);
}

int WritePort(const unsigned char* bytes, uint32_t count, uint32_t* written)
{
    const int ok = WritePortPlatform(bytes, count, written);
    bytesHanded += *written;
    Trace(TraceDirection::Sent, bytes, *written);
    return ok;
}

int DiscardInput()
{
    // Only a trace needs to see what is thrown away: the purge alone does not wait either way.
    if (traceSink) {
        ReadPendingPlatform();
        Trace(TraceDirection::Dropped, ComPort.readBuffer, ComPort.bytesRead);
    }
    return DiscardInputPlatform();
}

uint64_t PortBytesHanded()
{
    return bytesHanded;
}
