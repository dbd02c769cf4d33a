// Which serial ports exist and are RS-232 ports, asked without disturbing a program using them.
#include "link/port_probe.h"

// Whether the port answers a query of its properties, and as an RS-232 port. `error` gets the
// reason of a refusal, and is left alone when the port answered.
namespace {

bool QueryProperties(HANDLE port, bool& isRs232, DWORD& error)
{
    COMMPROP properties = {};
    if (!GetCommProperties(port, &properties)) {
        error = GetLastError();
        return false;
    }
    isRs232 = properties.dwProvSubType == PST_RS232;
    return true;
}

}  // namespace

int ProbeSerialPort(const char* name)
{
    // Desired access 0 only queries the port and does not disturb a program using it. Wine
    // refuses GetCommProperties on such a handle, so ask again on a read handle, closed at once.
    // Only a refusal counts: an error code left from an earlier call says nothing of this port.
    HANDLE port = CreateFileA(name, 0, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (port == INVALID_HANDLE_VALUE)
        return 0;
    bool isRs232 = false;
    DWORD error = ERROR_SUCCESS;
    const bool answered = QueryProperties(port, isRs232, error);
    CloseHandle(port);
    if (answered)
        return isRs232 ? 1 : 0;
    if (error != ERROR_ACCESS_DENIED)
        return 0;
    port = CreateFileA(name, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (port == INVALID_HANDLE_VALUE)
        return 0;
    const bool answeredOnRead = QueryProperties(port, isRs232, error);
    CloseHandle(port);
    return (answeredOnRead && isRs232) ? 1 : 0;
}
