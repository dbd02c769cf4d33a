#pragma once
// The tests' handle on the device simulator: its control protocol over loopback TCP (the port
// comes from QSIM_CONTROL_PORT, set by the test bench). Devices 1..4 sit behind COM1..COM4 under
// Wine, and behind the simulator's links natively.
#include <string>
#include <vector>

struct SimReply {
    bool ok = false;
    std::vector<std::string> lines;  // the data lines before "ok"
    std::string error;               // the text after "error", or a connection failure
};

// Sends one command line and collects its reply. A fresh connection per command keeps tests
// independent of each other.
SimReply SimCommand(const std::string& command);
// A command about one device: "verb N arguments" ("log 1", "line 1 9600 8N2").
SimReply SimCommandOn(int device, const std::string& verb, const std::string& arguments = "");

// Shorthands; each returns whether the simulator answered ok.
bool SimPlug(int device, bool present);             // present = plug, else unplug
bool SimMode(int device, const std::string& mode);  // "normal", "silent", "crlf", "stopafter 3"...
bool SimReset(int device, bool crFirst = false);    // the reset banner
bool SimClear(int device);                          // empties frames and wire log
bool SimSend(int device, const std::vector<unsigned char>& bytes);
bool SimSetRegister(int device, unsigned char code, unsigned char first, unsigned char second);
// What the device received since the last clear, one item a line: "OK", "R 3f", "W 30 30 30"...
std::vector<std::string> SimFrames(int device);

#ifdef _WIN32
// Opens COM<port> from this process and reads what it holds until the line is quiet, so that
// nothing left from an earlier exchange meets the next open.
void DrainComPort(int port);
#endif

// Puts every device back: nothing left to send, plugged, normal mode, power-on registers, logs
// cleared.
bool SimResetAll();
