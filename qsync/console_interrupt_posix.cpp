// The stop signals: SIGINT (Ctrl+C), SIGQUIT (Ctrl+\), SIGTERM, and SIGHUP (a closed terminal,
// and often a USB adapter pulled out). The handler only asks for the interrupt; qsync goes on to
// its next step, puts the port back and says where it stopped, then dies by the signal, so that
// a shell's loop or any other caller sees what ended it.
#include <signal.h>

#include <cstdio>

#include "link/interrupt.h"
#include "qsync/console.h"
#include "qsync/console_interrupt.h"

const char* const kInterruptCauses =
    "Ctrl+C or SIGINT, SIGQUIT, SIGTERM, SIGHUP: the port is put back, then qsync dies by that signal, "
    "which a shell shows as 130, 131, 143 or 129";

namespace {

volatile sig_atomic_t caughtSignal = 0;

void OnStopSignal(int signal)
{
    caughtSignal = signal;
    RequestInterrupt();
}

constexpr int kStopSignals[] = {SIGINT, SIGQUIT, SIGTERM, SIGHUP};

}  // namespace

void CatchConsoleInterrupts()
{
    // No SA_RESTART: a wait on the port or on standard input ends at once with EINTR and the
    // operation sees the flag.
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : kStopSignals) {
        // One ignored when qsync started stays ignored: SIGHUP under nohup, SIGINT of a
        // background job.
        struct sigaction former;
        if (sigaction(signal, nullptr, &former) == 0 && former.sa_handler == SIG_IGN)
            continue;
        sigaction(signal, &action, nullptr);
    }
    // A closed pipe is a failed write that qsync reports, not the end of the process.
    signal(SIGPIPE, SIG_IGN);
}

void ConsoleInterruptsDone(int exitCode)
{
    const int caught = caughtSignal;
    if (exitCode != kExitInterrupted || caught == 0)
        return;
    // Everything said has left; then the signal again, with its own action this time.
    fflush(stdout);
    fflush(stderr);
    signal(caught, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, caught);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    raise(caught);
}
