#pragma once
// What an open serial port is on this platform, and what we keep of its former settings so that
// closing it puts them back: a Win32 handle with its DCB, timeouts and event mask, or a file
// descriptor with its termios and modem lines.
#ifdef _WIN32
#include <windows.h>

using PortHandle = HANDLE;

struct PortSavedState {
    DCB dcb;
    COMMTIMEOUTS timeouts;
    DWORD eventMask;
};

// The synchronizer's line, the same for both profiles: 1200 baud, 8N1, binary, no flow control,
// DTR and RTS off, every other field 0. Built from zeros, not from the port's own DCB, so nothing
// of an earlier user's set-up survives.
void FillPortDcb(DCB& dcb);
#else
#include <termios.h>

using PortHandle = int;  // -1 when no port is open

struct PortSavedState {
    termios line;
    int modemLines;      // TIOCM_* bits as TIOCMGET read them
    bool hasModemLines;  // false where the device has none (a pseudo-terminal)
    bool exclusive;      // we set TIOCEXCL, so we clear it again
};
#endif
