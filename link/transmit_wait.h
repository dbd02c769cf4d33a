#pragma once
#include <cstdint>

// Milliseconds on a steady high-resolution clock; take it just before handing bytes to the port.
uint64_t TransmitClockMs();

// Waits until `byteCount` bytes handed to the open port at `handedAtMs` have left it: the driver's
// output queue is empty AND their line time at 1200 baud has passed. Returns 0 when a deadline of
// a few line times plus a margin passes first, or the port cannot be queried.
int WaitTransmitted(uint32_t byteCount, uint64_t handedAtMs);
