#pragma once
// The bench's serial ports opened from a test's own process, as the program opens them: COM<n>
// is device n of the simulator.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

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

// Every field of a DCB by name, so that two DCBs compare field by field. `readBack`: the port
// reports the field as it was set. Measured under Wine on a pty, which keeps neither data bits nor
// parity, reports the limits as 10 and ErrorChar as 255, and DTR and RTS control as enabled
// whatever is set.
struct DcbField {
    const char* name;
    unsigned long value;
    bool readBack;
};

inline std::vector<DcbField> DcbFields(const DCB& d)
{
    auto byte = [](char c) { return static_cast<unsigned long>(static_cast<unsigned char>(c)); };
    return {
        {"DCBlength", d.DCBlength, false},
        {"BaudRate", d.BaudRate, true},
        {"fBinary", d.fBinary, false},
        {"fParity", d.fParity, false},
        {"fOutxCtsFlow", d.fOutxCtsFlow, true},
        {"fOutxDsrFlow", d.fOutxDsrFlow, false},
        {"fDtrControl", d.fDtrControl, true},
        {"fDsrSensitivity", d.fDsrSensitivity, false},
        {"fTXContinueOnXoff", d.fTXContinueOnXoff, false},
        {"fOutX", d.fOutX, true},
        {"fInX", d.fInX, true},
        {"fErrorChar", d.fErrorChar, false},
        {"fNull", d.fNull, false},
        {"fRtsControl", d.fRtsControl, true},
        {"fAbortOnError", d.fAbortOnError, false},
        {"fDummy2", d.fDummy2, false},
        {"wReserved", d.wReserved, false},
        {"XonLim", d.XonLim, false},
        {"XoffLim", d.XoffLim, false},
        {"ByteSize", d.ByteSize, false},
        {"Parity", d.Parity, false},
        {"StopBits", d.StopBits, true},
        {"XonChar", byte(d.XonChar), true},
        {"XoffChar", byte(d.XoffChar), true},
        {"ErrorChar", byte(d.ErrorChar), false},
        {"EofChar", byte(d.EofChar), true},
        {"EvtChar", byte(d.EvtChar), false},
        {"wReserved1", d.wReserved1, false},
    };
}

// The synchronizer's line, written out here: 1200 baud, 8 data bits, binary; every other field 0
// (no parity, one stop bit, no flow control, DTR and RTS control disabled).
inline DCB SyncLine()
{
    DCB line = {};
    line.DCBlength = 28;
    line.BaudRate = 1200;
    line.fBinary = 1;
    line.ByteSize = 8;
    return line;
}

// The fields the port reads back (all of them when `onlyReadBack` is false), one "name value" a
// line, so that two DCBs compare at once and a failure shows the fields that differ; DTR and RTS
// control only when `dtrRts` says the port reports them.
inline std::string DcbText(const DCB& dcb, bool onlyReadBack = false, bool dtrRts = true)
{
    std::string text;
    for (const DcbField& field : DcbFields(dcb)) {
        const std::string name = field.name;
        if ((onlyReadBack && !field.readBack) ||
            (!dtrRts && (name == "fDtrControl" || name == "fRtsControl")))
            continue;
        text += name + " " + std::to_string(field.value) + "\n";
    }
    return text;
}
