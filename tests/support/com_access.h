#pragma once
// The bench's serial ports opened from a test's own process, as the program opens them: COM<n>
// is device n of the simulator.
#include <windows.h>

#include <cstdio>

// COM<port> opened without sharing; INVALID_HANDLE_VALUE if it cannot be.
inline HANDLE OpenComPort(int port, DWORD access = GENERIC_READ | GENERIC_WRITE)
{
    char name[16];
    snprintf(name, sizeof name, "COM%d", port);
    return CreateFileA(name, access, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

// Whether another process can open the port now (nobody holds it).
inline bool CanOpenComPort(int port)
{
    HANDLE handle = OpenComPort(port);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(handle);
    return true;
}

// The port's line settings as a fresh handle reads them, or put on it; false if it cannot be
// opened or the call fails.
inline bool ReadPortDcb(int port, DCB* dcb)
{
    *dcb = DCB{};
    dcb->DCBlength = sizeof *dcb;
    HANDLE handle = OpenComPort(port, GENERIC_READ);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    const bool read = GetCommState(handle, dcb) != 0;
    CloseHandle(handle);
    return read;
}

inline bool WritePortDcb(int port, const DCB& dcb)
{
    HANDLE handle = OpenComPort(port);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    DCB copy = dcb;
    const bool written = SetCommState(handle, &copy) != 0;
    CloseHandle(handle);
    return written;
}
