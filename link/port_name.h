#pragma once
// A serial port as the user names it on the command line of either program, and the window
// program's four places for ports. No input or output here.
#include <cstddef>

// COM1 to COM9 open under their own names; higher numbers only through the device namespace
// (\\.\COM10), which also takes the low ones. On Linux qsync names a port by its path
// (/dev/ttyUSB0), as given.
constexpr int kPortNameSize = 256;
struct PortName {
    char device[kPortNameSize];  // what the system opens: "COM3", "\\.\COM12", "/dev/ttyUSB0"
    char shown[kPortNameSize];   // what the user reads and can type again: "COM3", "COM12"
};
constexpr int kHighestPort = 256;

// "COM3", "com3", "COM12" or "\\.\COM12": fills *out and returns true. Anything else (LPT1,
// COM0, COM03, COM257, trailing characters) returns false and leaves *out unchanged.
bool ParsePortName(const char* text, PortName* out);

// The window program's port places, COM1 to COM4 unless its command line names others: the
// ports named take the first places in order, and each other place keeps its own port, or none
// (an empty device, which no open finds) when that port was named for another place. Returns -1
// with the places filled, or the index of the first word refused (not a port, a fifth port, a
// port named twice), the places then holding no list to use.
constexpr int kPortPlaceCount = 4;
int PlacePorts(const char* const* words, int count, PortName places[kPortPlaceCount]);
