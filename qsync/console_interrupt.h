#pragma once
// Ctrl+C, Ctrl+Break and the console closed (on Linux SIGINT, SIGTERM and SIGHUP) turned into
// RequestInterrupt (link/interrupt.h): the load or save under way stops at its next step, puts the
// port back and says where it stopped. One file per platform.

// Installs the handler; call first in main.
void CatchConsoleInterrupts();
// Call last in main with its exit code: a closed console waits for this before the process ends.
// On Linux, with kExitInterrupted after a stop signal, the process dies here by that signal.
void ConsoleInterruptsDone(int exitCode);
// What stops qsync here, for the usage text.
extern const char* const kInterruptCauses;
