#pragma once
// qsync --trace FILE: every byte on the line, with its time, one line per write or read.
#include "qsync/arguments.h"

// What the trace's first line says was traced: "qsync write /dev/ttyUSB0 show.ini".
void SetTracedCommand(int argc, const char* const* argv);
// Opens the trace that --trace names ("-": standard error), once the command's words and its
// settings FILE have been checked and before the port opens. A trace that would be the same file
// as the settings file, the output or the port, or that cannot be written, is refused with a
// message and kExitUsage, nothing sent. kExitOk, also when no trace was asked for. The trace's
// first line names the version, the command and the time: "# qsync 1.1 trace of: qsync read
// COM3; started 2026-12-08 14:03:07 UTC".
int StartTraceFile(const Invocation& invocation, const char* portDevice, const char* settingsFile);
// Ends the trace and returns `code`; a trace that could not be written whole is said now ("Can't
// write TRACE: reason") and makes a code of 0 kExitUsage. Does nothing when no trace runs.
int EndTraceFile(int code);
// Refuses, with a message and kExitUsage, a trace `path` that names the same file as `other`
// (`what` says what that is). kExitOk otherwise.
int TraceIsNot(const char* path, const char* other, const char* what);
