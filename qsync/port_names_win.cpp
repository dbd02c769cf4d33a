// Ports on Windows: COM1 to COM256 by name; find listens to each of COM1 to COM9 that passes the
// probe when its turn comes.
#include <cstdio>
#include <cstring>

#include "link/port_probe.h"
#include "qsync/console.h"
#include "qsync/port_names.h"

namespace {

constexpr int kScannedPorts = 9;  // COM1 to COM9: the ports that open under their own names

}  // namespace

int PortArgument(const char* word, PortName* port)
{
    if (ParsePortName(word, port))
        return kExitOk;
    if (word[0] == '\0')
        return Fail(kExitUsage, "an empty port name: name a port as COM1 to COM256");
    return Fail(kExitUsage, "%s: not a serial port: name one as COM1 to COM9, COM10 and up, or \\\\.\\COMn",
                word);
}

int CandidatePorts(PortName* ports, int max)
{
    int count = 0;
    for (int number = 1; number <= kScannedPorts && count < max; ++number) {
        char name[8];
        snprintf(name, sizeof name, "COM%d", number);
        if (ParsePortName(name, &ports[count]))
            ++count;
    }
    return count;
}

bool CandidateReady(const PortName& port)
{
    return ProbeSerialPort(port.device) != 0;
}

int CantOpen(const PortName& port)
{
    return Fail(kExitDevice, "%s: can't open", port.shown);
}

bool SamePort(const PortName& a, const PortName& b)
{
    return std::strcmp(a.device, b.device) == 0;
}
