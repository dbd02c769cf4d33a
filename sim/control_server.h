// The TCP control port on 127.0.0.1: line commands, served one connection
// after another.
#pragma once

#include "simulator.h"

namespace qsim {

// Listens on 127.0.0.1:port (0 = any free port) and reports the port chosen.
bool OpenControlServer(int port, int& listenFd, int& chosenPort, char* error, int errorSize);

// Thread body: accepts and serves connections until shutdown. A quit command
// is answered first, then wakes the main thread.
void ServeControl(Simulator* sim, int listenFd);

// Tells the main thread to end the simulator (async-signal-safe).
void RequestQuit(Simulator& sim, char why);

}  // namespace qsim
