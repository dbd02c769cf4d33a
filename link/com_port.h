#pragma once
// The program's one serial port: the open handle, the settings the port had before we changed
// them, and the buffers that reads fill. At most one port is open at any time.
#include <windows.h>
#include "link/accumulator.h"

constexpr int kPortCount = 4;
constexpr DWORD kReadBufferSize = 256;

// Port index 0-3 selects the name, passed to CreateFileA unchanged.
extern const char* const PortNames[kPortCount];

// How a port is opened: Listen (the search, read-only, short reads) or Exchange (load and save,
// read-write, reads that wait up to a second).
enum class PortProfile { Listen, Exchange };

struct ComPortState {
    HANDLE handle;  // INVALID_HANDLE_VALUE when no port is open
    DCB savedDcb;
    COMMTIMEOUTS savedTimeouts;
    DWORD savedEventMask;
    unsigned char readBuffer[kReadBufferSize];
    DWORD bytesRead;  // what the last read delivered; 0 after a failed read
    Accumulator accumulator;
    int busy;  // 1 while a load or save holds the port
};
extern ComPortState ComPort;

// The synchronizer's line, the same for both profiles: 1200 baud, 8N1, binary, no flow control,
// DTR and RTS off, every other field 0. Built from zeros, not from the port's own DCB, so nothing
// of an earlier user's set-up survives.
void FillPortDcb(DCB& dcb);

// Opens PortNames[index] in the synchronizer's line settings (1200 8N1, no flow control, DTR and
// RTS off) with the profile's timeouts, drains what was pending and empties the accumulator.
// Returns 1, or 0 with no port open and the port's settings as they were. The caller closes any
// previous port first.
int OpenPort(int index, PortProfile profile);
// The same for any port name CreateFileA takes: "COM7", or \\.\COM12 for numbers above 9.
int OpenPortNamed(const char* name, PortProfile profile);
// Puts back the saved DCB, timeouts and event mask, then closes. Does nothing if no port is open.
void RestoreAndClosePort();
// One synchronous read of up to `max` bytes (at most 256) into readBuffer; bytesRead gets the count.
int ReadPort(DWORD max);
// Gathers the bytes of the last read behind those already in the accumulator.
void AppendToAccumulator();
// Throws away what the port has received and not yet read, without waiting. 1 on success.
int DiscardInput();
