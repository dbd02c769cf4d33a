// Opening, configuring, reading and restoring the one serial port.
#include "link/com_port.h"

const char* const PortNames[kPortCount] = {"COM1", "COM2", "COM3", "COM4"};

ComPortState ComPort = {INVALID_HANDLE_VALUE, {}, {}, 0, {}, 0, {}, 0};

namespace {

// What differs between the two ways of opening a port.
struct PortProfileRow {
    DWORD access;
    bool needsProperties;  // GetCommProperties must answer before we touch the port
    bool clearsEventMask;  // the search listens with no line events selected
    COMMTIMEOUTS timeouts;
    DWORD drainSize;
    bool clearsErrors;  // ClearCommError after the drain
};

// Read timeouts: 10 ms between bytes; in all 10 ms (Listen) or a second (Exchange). Writes have
// no time limit: the transmit wait bounds them instead.
constexpr PortProfileRow ProfileRows[] = {
    /* Listen */ {GENERIC_READ, false, true, {10, 0, 10, 0, 0}, 250, false},
    /* Exchange */ {GENERIC_READ | GENERIC_WRITE, true, false, {10, 0, 1000, 0, 0}, 256, true},
};

constexpr DWORD kQueueSize = 4096;

// A failed step: close the handle and report that no port is open.
int CloseAfterFailure()
{
    CloseHandle(ComPort.handle);
    ComPort.handle = INVALID_HANDLE_VALUE;
    return 0;
}

}  // namespace

void FillPortDcb(DCB& dcb)
{
    dcb = DCB{};
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = CBR_1200;
    dcb.fBinary = 1;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
}

int OpenPort(int index, PortProfile profile)
{
    if (index < 0 || index >= kPortCount)
        return 0;
    return OpenPortNamed(PortNames[index], profile);
}

int OpenPortNamed(const char* name, PortProfile profile)
{
    const PortProfileRow& row = ProfileRows[profile == PortProfile::Listen ? 0 : 1];

    ComPort.handle = CreateFileA(name, row.access, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (ComPort.handle == INVALID_HANDLE_VALUE)
        return 0;

    if (row.needsProperties) {
        COMMPROP properties = {};
        if (!GetCommProperties(ComPort.handle, &properties))
            return CloseAfterFailure();
    }
    ComPort.savedDcb = DCB{};
    ComPort.savedDcb.DCBlength = sizeof(DCB);
    if (!GetCommState(ComPort.handle, &ComPort.savedDcb))
        return CloseAfterFailure();
    if (!GetCommMask(ComPort.handle, &ComPort.savedEventMask))
        return CloseAfterFailure();
    if (!GetCommTimeouts(ComPort.handle, &ComPort.savedTimeouts))
        return CloseAfterFailure();

    // From here on, what a failed step changed is put back before the handle is closed: the
    // event mask first, then the timeouts.
    if (row.clearsEventMask && !SetCommMask(ComPort.handle, 0))
        return CloseAfterFailure();
    COMMTIMEOUTS timeouts = row.timeouts;
    if (!SetCommTimeouts(ComPort.handle, &timeouts)) {
        if (row.clearsEventMask)
            SetCommMask(ComPort.handle, ComPort.savedEventMask);
        return CloseAfterFailure();
    }
    DCB line;
    FillPortDcb(line);
    if (!SetCommState(ComPort.handle, &line)) {
        if (row.clearsEventMask)
            SetCommMask(ComPort.handle, ComPort.savedEventMask);
        SetCommTimeouts(ComPort.handle, &ComPort.savedTimeouts);
        return CloseAfterFailure();
    }
    if (!SetupComm(ComPort.handle, kQueueSize, kQueueSize)) {
        RestoreAndClosePort();
        return 0;
    }

    // Whatever was queued before the open, or arrives while this read runs, is discarded.
    ReadPort(row.drainSize);
    AccumulatorReset(ComPort.accumulator);
    if (row.clearsErrors) {
        DWORD errors = 0;
        COMSTAT status = {};
        ClearCommError(ComPort.handle, &errors, &status);
    }
    return 1;
}

void RestoreAndClosePort()
{
    if (ComPort.handle == INVALID_HANDLE_VALUE)
        return;
    SetCommState(ComPort.handle, &ComPort.savedDcb);
    SetCommTimeouts(ComPort.handle, &ComPort.savedTimeouts);
    SetCommMask(ComPort.handle, ComPort.savedEventMask);
    CloseHandle(ComPort.handle);
    ComPort.handle = INVALID_HANDLE_VALUE;
}

int ReadPort(DWORD max)
{
    if (max > kReadBufferSize)
        max = kReadBufferSize;
    DWORD count = 0;
    const BOOL ok = ReadFile(ComPort.handle, ComPort.readBuffer, max, &count, nullptr);
    ComPort.bytesRead = (ok && count <= max) ? count : 0;
    return ok ? 1 : 0;
}

void AppendToAccumulator()
{
    AccumulatorAppend(ComPort.accumulator, ComPort.readBuffer, ComPort.bytesRead);
}

int DiscardInput()
{
    return PurgeComm(ComPort.handle, PURGE_RXCLEAR | PURGE_RXABORT) ? 1 : 0;
}
