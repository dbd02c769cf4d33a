// Opening, configuring, reading and restoring the one serial port: Win32.
#include "link/com_port.h"

const char* const PortNames[kPortCount] = {"COM1", "COM2", "COM3", "COM4"};

ComPortState ComPort = {INVALID_HANDLE_VALUE, {}, {}, 0, {}, 0};

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
    ComPort.saved.dcb = DCB{};
    ComPort.saved.dcb.DCBlength = sizeof(DCB);
    if (!GetCommState(ComPort.handle, &ComPort.saved.dcb))
        return CloseAfterFailure();
    if (!GetCommMask(ComPort.handle, &ComPort.saved.eventMask))
        return CloseAfterFailure();
    if (!GetCommTimeouts(ComPort.handle, &ComPort.saved.timeouts))
        return CloseAfterFailure();

    // From here on, what a failed step changed is put back before the handle is closed: the
    // event mask first, then the timeouts.
    if (row.clearsEventMask && !SetCommMask(ComPort.handle, 0))
        return CloseAfterFailure();
    COMMTIMEOUTS timeouts = row.timeouts;
    if (!SetCommTimeouts(ComPort.handle, &timeouts)) {
        if (row.clearsEventMask)
            SetCommMask(ComPort.handle, ComPort.saved.eventMask);
        return CloseAfterFailure();
    }
    DCB line;
    FillPortDcb(line);
    if (!SetCommState(ComPort.handle, &line)) {
        if (row.clearsEventMask)
            SetCommMask(ComPort.handle, ComPort.saved.eventMask);
        SetCommTimeouts(ComPort.handle, &ComPort.saved.timeouts);
        return CloseAfterFailure();
    }
    if (!SetupComm(ComPort.handle, kQueueSize, kQueueSize)) {
        RestoreAndClosePort();
        return 0;
    }

    // Whatever was queued before the open, or arrives while this read runs, is discarded.
    DrainPort(row.drainSize);
    AccumulatorReset(ComPort.accumulator);
    if (row.clearsErrors)
        ClearPortError();
    return 1;
}

void RestoreAndClosePort()
{
    if (ComPort.handle == INVALID_HANDLE_VALUE)
        return;
    SetCommState(ComPort.handle, &ComPort.saved.dcb);
    SetCommTimeouts(ComPort.handle, &ComPort.saved.timeouts);
    SetCommMask(ComPort.handle, ComPort.saved.eventMask);
    CloseHandle(ComPort.handle);
    ComPort.handle = INVALID_HANDLE_VALUE;
}

int ReadPortPlatform(uint32_t max)
{
    if (max > kReadBufferSize)
        max = kReadBufferSize;
    DWORD count = 0;
    const BOOL ok = ReadFile(ComPort.handle, ComPort.readBuffer, max, &count, nullptr);
    ComPort.bytesRead = (ok && count <= max) ? count : 0;
    return ok ? 1 : 0;
}

PortOpenFailure LastPortOpenFailure()
{
    // The window program and qsync.exe word every failed open alike.
    return ComPort.handle == INVALID_HANDLE_VALUE ? PortOpenFailure::Other : PortOpenFailure::None;
}

int LastRestoreFailed()
{
    return 0;
}

int WritePortPlatform(const unsigned char* bytes, uint32_t count, uint32_t* written)
{
    DWORD taken = 0;
    const BOOL ok = WriteFile(ComPort.handle, bytes, count, &taken, nullptr);
    *written = taken;
    return ok ? 1 : 0;
}

void ClearPortError()
{
    DWORD errors = 0;
    COMSTAT status = {};
    ClearCommError(ComPort.handle, &errors, &status);
}

int PortOutputQueued(uint32_t* queued)
{
    DWORD errors = 0;
    COMSTAT status = {};
    if (!ClearCommError(ComPort.handle, &errors, &status))
        return 0;
    *queued = status.cbOutQue;
    return 1;
}

uint64_t PortClockMs()
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<uint64_t>(now.QuadPart) * 1000 / static_cast<uint64_t>(frequency.QuadPart);
}

void PortPauseMs(uint32_t ms)
{
    Sleep(ms);
}

int DiscardInputPlatform()
{
    return PurgeComm(ComPort.handle, PURGE_RXCLEAR | PURGE_RXABORT) ? 1 : 0;
}

void ReadPendingPlatform()
{
    // Timeouts under which a read returns at once with what is queued; then the profile's again.
    COMMTIMEOUTS former = {}, atOnce = {MAXDWORD, 0, 0, 0, 0};
    ComPort.bytesRead = 0;
    if (!GetCommTimeouts(ComPort.handle, &former) || !SetCommTimeouts(ComPort.handle, &atOnce))
        return;
    ReadPortPlatform(kReadBufferSize);
    SetCommTimeouts(ComPort.handle, &former);
}
