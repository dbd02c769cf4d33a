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
    // Ctrl+C, Ctrl+Break, the console closed or a stop signal: stopped at the next step.
    kExitInterrupted = 130,
};

// How much qsync says besides results and failures: -q leaves out the status lines and the
// progress line, -v adds a line per register.
enum class Verbosity { Quiet, Normal, Verbose };
void SetVerbosity(Verbosity verbosity);
bool Quiet();
// A status line on standard output ("COM2: written and verified"); nothing with -q.
void Status(const char* format, ...);
// With -v, on standard error, each register the last load or save read, in the order a save
// writes them: `register 6 (baud, synchronize): read "40"`; after a save (`written`) only those it
// wrote: `register 6 (baud, synchronize): wrote "40", read back "40"`.
void SayRegisters(bool written, bool modelAndChannel);

// One message line on standard error, "qsync: " and the text, which starts with what it is about
// ("COM3: Can't open"); returns `code`.
int Fail(int code, const char* format, ...);
void Note(const char* format, ...);
// Each line of `lines` as a message about `object`.
void NoteLines(const char* object, const char* lines);

// The device's answer to a load that did not end Done, in the window program's words, naming the
// register `stoppedAt` where it stopped; returns kExitDevice, or kExitInterrupted.
int ReportOutcome(const char* object, SyncOutcome outcome, const char* caption, RegisterCode stoppedAt);
// The same for a save, naming the register whose write or read-back failed; `comparing` says
// whether the save had turned to its read-back.
int ReportSaveOutcome(const char* object, SyncOutcome outcome, RegisterCode failedRegister, bool comparing);
// "OBJECT: interrupted during <where>" and kExitInterrupted.
int ReportInterrupted(const char* object, const char* where);
// The words of an interrupt that came before this process sent anything, and kExitInterrupted.
extern const char* const kInterruptedBeforeSending;
int ReportInterruptedBeforeSending(const char* object);
// A warning when the port just closed did not take back all of its former settings.
void NoteIfNotPutBack(const char* port);

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
