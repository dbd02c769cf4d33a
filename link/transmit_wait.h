#pragma once
#include <windows.h>

// Milliseconds on a steady high-resolution clock; take it just before handing bytes to WriteFile.
ULONGLONG TransmitClockMs();

// Waits until `byteCount` bytes handed to the driver at `handedAtMs` have left the port: the
// driver's output queue is empty AND their line time at 1200 baud has passed. Returns 0 when a
// deadline of a few line times plus a margin passes first, or the port cannot be queried.
int WaitTransmitted(HANDLE port, DWORD byteCount, ULONGLONG handedAtMs);
