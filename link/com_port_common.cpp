// What the serial port does alike on every platform, over the platform's OpenPortNamed and reads.
#include "link/com_port.h"

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
