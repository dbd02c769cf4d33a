#pragma once
// The program's one serial port: the open handle, the settings the port had before we changed
// them, and the buffers that reads fill. At most one port is open at any time. One file per
// platform implements it (com_port_win.cpp, com_port_posix.cpp), chosen when building.
#include <cstdint>

#include "link/accumulator.h"
#include "link/line_trace.h"
#include "link/port_handle.h"

constexpr int kPortCount = 4;
constexpr uint32_t kReadBufferSize = 256;

// Port index 0-3 selects the name, passed to the system's open unchanged.
extern const char* const PortNames[kPortCount];

// How a port is opened: Listen (the search, read-only, short reads) or Exchange (load and save,
// read-write, reads that wait up to a second).
enum class PortProfile { Listen, Exchange };

struct ComPortState {
    PortHandle handle;  // no port open: INVALID_HANDLE_VALUE on Windows, -1 elsewhere
    PortSavedState saved;
    unsigned char readBuffer[kReadBufferSize];
    uint32_t bytesRead;  // what the last read delivered; 0 after a failed read
    Accumulator accumulator;
    int busy;  // 1 while a load or save holds the port
};
extern ComPortState ComPort;

// Why the last open failed, for a caller that words it for the user; the window program keeps
// its fixed texts and does not ask. Settings: the port opened but did not keep the line settings.
// NotSerial: a plain file, or a device that is no terminal (/dev/null).
enum class PortOpenFailure { None, Absent, Denied, Busy, Settings, NotSerial, Other };
PortOpenFailure LastPortOpenFailure();

// Opens PortNames[index] in the synchronizer's line settings (1200 8N1, no flow control, DTR and
// RTS off) with the profile's timeouts, drains what was pending and empties the accumulator.
// Returns 1, or 0 with no port open and the port's settings as they were. The caller closes any
// previous port first.
int OpenPort(int index, PortProfile profile);
// The same for any port name the system opens: "COM7", \\.\COM12, /dev/ttyUSB0.
int OpenPortNamed(const char* name, PortProfile profile);
// Puts back the saved settings, then closes. Does nothing if no port is open. On Linux, what the
// last write left in the output queue leaves first, within the transmit wait's deadline, and the
// rest is dropped.
void RestoreAndClosePort();
// 1 when the last RestoreAndClosePort found the port holding other settings than those it had
// before the open (read back on Linux; Windows does not check).
int LastRestoreFailed();
// One synchronous read of up to `max` bytes (at most 256) into readBuffer; bytesRead gets the count.
// It ends on the count, 10 ms after a byte with no other, or at the profile's total timeout.
int ReadPort(uint32_t max);
// Gathers the bytes of the last read behind those already in the accumulator.
void AppendToAccumulator();
// Drops what has been received and not yet read, without waiting. 1 on success.
int DiscardInput();

// The register protocol's primitives on the open port.
// Hands `count` bytes to the driver; *written gets how many it took. 1 unless the write failed.
int WritePort(const unsigned char* bytes, uint32_t count, uint32_t* written);
// Every byte WritePort has handed to a driver since the program started.
uint64_t PortBytesHanded();
// Clears a line error condition after a failed write, so that the port works again.
void ClearPortError();
// The bytes still in the driver's output queue. 1, or 0 when the port cannot be asked.
int PortOutputQueued(uint32_t* queued);
// Milliseconds on a steady clock, and a pause of the calling thread.
uint64_t PortClockMs();
void PortPauseMs(uint32_t ms);

// Every write and read from now on handed to `sink` with its bytes (qsync --trace); nullptr
// stops the trace. The port calls the sink only while one is set, and nothing of the trace's
// formatting, so that a program that never traces links none of it.
void SetLineTraceSink(LineTraceSink sink);

// Each platform's half of ReadPort, WritePort and DiscardInput; the common file wraps them with
// the line's trace.
int ReadPortPlatform(uint32_t max);
int WritePortPlatform(const unsigned char* bytes, uint32_t count, uint32_t* written);
int DiscardInputPlatform();
// What has arrived and not been read, into readBuffer without waiting; bytesRead gets the count.
void ReadPendingPlatform();
// The drain of a new port: a read whose bytes are thrown away.
void DrainPort(uint32_t max);
