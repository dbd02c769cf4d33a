#include "qsync/host.h"

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

#include "link/interrupt.h"

namespace {

void OnStopSignal(int)
{
    RequestInterrupt();
}

// A USB adapter pulled out often ends its session with SIGHUP; a terminal closed does too.
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

}  // namespace

bool ErrorIsConsole()
{
    return isatty(STDERR_FILENO) != 0;
}

void LocalTimeText(char* text, size_t size)
{
    const time_t now = time(nullptr);
    struct tm local;
    if (!localtime_r(&now, &local) || strftime(text, size, "%Y-%m-%d %H:%M", &local) == 0)
        snprintf(text, size, "an unknown time");
}

void WriteStdoutBinary(const char* text, size_t length)
{
    fwrite(text, 1, length, stdout);
    fflush(stdout);
}

void InstallStopHandlers()
{
    // No SA_RESTART: a wait on the port ends at once with EINTR and the operation sees the flag.
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : kStopSignals)
        sigaction(signal, &action, nullptr);
}
