#pragma once
// What qsync needs of the system besides the serial port: the console, the time of day, binary
// standard output and the handlers that turn a stop request into link/interrupt.h's flag. One file
// per platform.
#include <cstddef>

// Whether standard error is a console (where a progress line may be rewritten in place).
bool ErrorIsConsole();
// "2024-05-01 14:03" in local time.
void LocalTimeText(char* text, size_t size);
// The bytes to standard output unchanged (no CR added before LF).
void WriteStdoutBinary(const char* text, size_t length);
// From here on a stop request (Ctrl+C, SIGTERM, SIGHUP) sets the interrupt flag instead of ending
// the process, so that the port is put back first.
void InstallStopHandlers();
