// The stop signals: SIGINT (Ctrl+C), SIGTERM, and SIGHUP (a closed terminal, and often a USB
// adapter pulled out). The handler only asks for the interrupt; qsync goes on to its next step,
// puts the port back and says where it stopped.
#include <signal.h>

#include "link/interrupt.h"
#include "qsync/console_interrupt.h"

const char* const kInterruptCauses = "Ctrl+C or SIGINT, SIGTERM, SIGHUP";

namespace {

void OnStopSignal(int)
{
    RequestInterrupt();
}

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

}  // namespace

void CatchConsoleInterrupts()
{
    // No SA_RESTART: a wait on the port ends at once with EINTR and the operation sees the flag.
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : kStopSignals)
        sigaction(signal, &action, nullptr);
    // A closed pipe is a failed write that qsync reports, not the end of the process.
    signal(SIGPIPE, SIG_IGN);
}

void ConsoleInterruptsDone(int)
{
    // Nothing waits for main here: every signal lets it finish.
}
