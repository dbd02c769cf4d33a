#pragma once
// qsync --trace FILE: every byte on the line, with its time, one line per write or read.

// Creates FILE and starts the trace; kExitOk, or "Can't write FILE: reason" and kExitUsage with
// nothing sent.
int StartTraceFile(const char* path);
// Stops the trace and closes FILE. Does nothing when no trace runs.
void EndTraceFile();
