#pragma once
// What qsync says: results on standard output, messages and progress on standard error, and the
// exit codes a script tests.
#include "link/sync_operation.h"
#include "qsync/register_count.h"

enum ExitCode {
    kExitOk = 0,
    kExitDevice = 1,     // the device or its port: not found, not answering, a save that failed
    kExitUsage = 2,      // a bad command line or a bad settings file; nothing was sent
    kExitDifferent = 3,  // verify: the device holds other settings than the file
    // Stopped by Ctrl+C or a signal, the port put back first.
    kExitInterrupted = 130,
};

// One message line on standard error; returns `code`.
int Fail(int code, const char* format, ...);
void Note(const char* format, ...);

// The device's answer to a load or save that did not end Done, in the window program's words;
// returns kExitDevice.
int ReportOutcome(SyncOutcome outcome, const char* caption);

// The count of registers moved, kept on one line of the console ("\rreading registers 23/49").
// Shown only when standard error is a console: a script's log gets no carriage returns.
struct RegisterProgress {
    bool console;
    RegisterCounter counter;
    int shown;  // the count on the line, -1 when the line is empty
};

void StartRegisterProgress(RegisterProgress& progress, RegisterPhase phase, bool modelAndChannel);
// The reports of a load or save, for the operation's progress argument: a save's turn to
// comparing starts the count again.
SyncProgress RegisterProgressReports(RegisterProgress& progress);
// Ends the line, so that a message that follows starts on its own.
void EndRegisterProgress(RegisterProgress& progress);
