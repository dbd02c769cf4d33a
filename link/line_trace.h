#pragma once
// The line's trace: every write and read on the port handed to a sink that the program installs
// on the port (SetLineTraceSink in link/com_port.h, for qsync --trace), and one trace line
// formatted from them. No output of its own here, and nothing the port calls: a program that
// traces nothing links none of it.
#include <cstddef>
#include <cstdint>

// Sent, received by a read, or received and thrown away before a read frame (or by the open).
enum class TraceDirection { Sent, Received, Dropped };

using LineTraceSink = void (*)(TraceDirection direction, const unsigned char* bytes, uint32_t count);

// "+12.345 TX 52 3F 0D "R?\r"" and a line end, for bytes at `elapsedMs` since the start.
// Returns the length, or 0 with out empty when it does not fit (kTraceLineSize always does).
constexpr size_t kTraceLineSize = 2400;  // a read's 256 bytes: 3 characters each in hex, up to 4 escaped
size_t FormatTraceLine(uint64_t elapsedMs, TraceDirection direction, const unsigned char* bytes, size_t count,
                       char* out, size_t outSize);
