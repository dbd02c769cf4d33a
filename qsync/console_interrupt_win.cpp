// The Windows console's control events. The handler runs on a thread of its own: it only asks
// for the interrupt. Ctrl+C and Ctrl+Break then let qsync go on to its next step; closing the
// console ends the process when the handler returns, so that handler waits (Windows allows it
// about 5 s) until main has put the port back and said where it stopped.
#include <windows.h>

#include "link/interrupt.h"
#include "qsync/console_interrupt.h"

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

}  // namespace

void CatchConsoleInterrupts()
{
    mainDone = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

void ConsoleInterruptsDone(int exitCode)
{
    InterlockedExchange(&exitCodeOfMain, exitCode);
    if (mainDone)
        SetEvent(mainDone);
}
