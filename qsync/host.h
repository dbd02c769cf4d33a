#pragma once
// What qsync needs of the system besides the serial port and the stop handlers
// (qsync/console_interrupt.h): the console, the time of day and the output it writes. One file
// per platform.
#include <cstddef>

// How this platform's text files end their lines: LF on Linux, CR LF on Windows.
extern const char* const kTextLineEnd;
// Whether standard error is a console (where a progress line may be rewritten in place).
bool ErrorIsConsole();
// Whether this process has a console of its own that closes when it ends (started by a double-click
// in Explorer): its standard input is that console and no other process is on it. Never on Linux.
bool AloneOnConsole();
// Waits for a key on the console.
void WaitForAnyKey();
// "2024-05-01 14:03" in local time.
void LocalTimeText(char* text, size_t size);
// "2024-05-01 14:03:07" in UTC.
void UtcTimeText(char* text, size_t size);
// Standard input from here on as bytes, CR LF as the file has it.
void StdinBinary();
// The bytes to standard output unchanged (no CR added before LF), every write checked. 1, or 0
// with the system's reason in `reason`.
int WriteStdoutBinary(const char* text, size_t length, char* reason, size_t reasonSize);

// Another run of this program working on one port of a list: its standard input given whole at
// the start, its standard output and error gathered while it runs, for the report when it has
// ended.
constexpr size_t kWorkerTextSize = 4096;
struct Worker {
    long long process;           // the system's process handle or id
    long long outPipe, errPipe;  // -1 once the worker's end has closed
    int running;
    int code;  // its exit code once ended; kWorkerLost when it did not end by itself
    unsigned long long startedMs;
    int stopping;    // 1 once stopped for giving no result, 2 once killed
    char ended[64];  // why it did not end by itself: "killed by SIGKILL", "no result after ..."
    size_t outLength, errLength;
    char out[kWorkerTextSize], err[kWorkerTextSize];
};
constexpr int kWorkerLost = -1;
// Starts this program with the arguments (those after its name) and `input` on its standard
// input. 1, or 0 with the system's reason.
int StartWorker(const char* const* args, int argCount, const char* input, size_t inputLength, Worker* worker,
                char* reason, size_t reasonSize);
// Waits until one of the running workers ends, gathering every worker's output meanwhile, and
// returns its index; -1 when none runs. A stop request meanwhile is passed on to each worker
// still running. One with no result `resultSeconds` after it started is stopped (on Linux SIGTERM,
// then SIGKILL 5 s later) and reported so in `ended`.
int WaitForWorker(Worker* workers, int count, int resultSeconds);
// Windows: how a worker learns the handles it inherits of its rig's process and of the job that
// holds the workers ("PROCESS JOB" as numbers).
constexpr const char* kRigHandlesVariable = "QSYNC_RIG_HANDLES";
// How long after the stop request a worker with no result is killed outright.
constexpr int kWorkerKillAfterMs = 5000;
// Adds what a worker's pipe brought to its text, as much as fits (NUL-terminated).
void KeepWorkerText(char* text, size_t* length, const char* chunk, size_t count);
