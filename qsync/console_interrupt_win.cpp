// The Windows console's control events. The handler runs on a thread of its own: it only asks
// for the interrupt. Ctrl+C and Ctrl+Break then let qsync go on to its next step; closing the
// console ends the process when the handler returns, so that handler waits (Windows allows it
// about 5 s) until main has put the port back and said where it stopped.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "link/interrupt.h"
#include "qsync/console_interrupt.h"
#include "qsync/host.h"

const char* const kInterruptCauses = "Ctrl+C, Ctrl+Break, console closed";

namespace {

constexpr DWORD kCloseWaitMs = 4500;
HANDLE mainDone = nullptr;
volatile LONG exitCodeOfMain = 130;

BOOL WINAPI OnConsoleEvent(DWORD event)
{
    RequestInterrupt();
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT)
        return TRUE;
    if (mainDone)
        WaitForSingleObject(mainDone, kCloseWaitMs);
    ExitProcess(static_cast<UINT>(exitCodeOfMain));
}

HANDLE rigProcess = nullptr, rigJob = nullptr;

// A worker of a rig: when the rig ends, whatever ends it, this worker stops as at Ctrl+C and puts
// its port back; only then does it let go of the job, whose closing kills any worker still left.
DWORD WINAPI WatchRig(void*)
{
    if (WaitForSingleObject(rigProcess, INFINITE) != WAIT_OBJECT_0)
        return 0;  // no rig's process behind the handle: nothing to watch
    RequestInterrupt();
    WaitForSingleObject(mainDone, kCloseWaitMs);
    if (rigJob)
        CloseHandle(rigJob);
    return 0;
}

void WatchRigIfWorker()
{
    const char* shared = getenv(kRigHandlesVariable);
    unsigned long long process = 0, job = 0;
    if (!shared || sscanf(shared, "%llu %llu", &process, &job) != 2 || process == 0)
        return;
    rigProcess = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(process));
    rigJob = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(job));
    SetEnvironmentVariableA(kRigHandlesVariable, nullptr);
    HANDLE watcher = CreateThread(nullptr, 0, WatchRig, nullptr, 0, nullptr);
    if (watcher)
        CloseHandle(watcher);
}

}  // namespace

void CatchConsoleInterrupts()
{
    mainDone = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
    WatchRigIfWorker();
}

void ConsoleInterruptsDone(int exitCode)
{
    InterlockedExchange(&exitCodeOfMain, exitCode);
    if (mainDone)
        SetEvent(mainDone);
}
