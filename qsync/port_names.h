#pragma once
// How this platform names serial ports: the word the user types, the ports find listens to when
// none is named, and what a port that will not open is called. One file per platform.
#include "qsync/arguments.h"

// The port a word names, or a message and kExitUsage.
int PortArgument(const char* word, PortName* port);

// The ports find tries when none is named, in order, each device once; their count (at most max).
constexpr int kMaxCandidatePorts = 16;
int CandidatePorts(PortName* ports, int max);
// Whether a candidate is a serial port now, asked just before find listens to it: an adapter
// plugged in during the search is still found.
bool CandidateReady(const PortName& port);

// Says why the port would not open (LastPortOpenFailure); returns kExitDevice.
int CantOpen(const PortName& port);

// Whether two ports are one device: on Windows by the name the system opens; on Linux by the
// device a path leads to (a by-id link and its node are one), by the path when it leads nowhere.
bool SamePort(const PortName& a, const PortName& b);
