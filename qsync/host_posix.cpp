#include "qsync/host.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <initializer_list>

#include "link/com_port.h"
#include "link/interrupt.h"
#include "qsync/console.h"

namespace {

constexpr int kMaxWorkers = 64;
constexpr long long kEndingPollMs = 10;  // a worker whose outputs have closed is looked at again

void SystemReason(int error, char* out, size_t size)
{
    snprintf(out, size, "%s", strerror(error));
}

bool WriteAll(int fd, const char* text, size_t length)
{
    while (length > 0) {
        const ssize_t written = write(fd, text, length);
        if (written < 0 && errno == EINTR)
            continue;  // a stop signal: the write goes on, the operation after it sees the flag
        if (written <= 0)
            return false;
        text += written;
        length -= static_cast<size_t>(written);
    }
    return true;
}

// The stop signals: a worker that died by one of them was interrupted, and has said where.
bool IsStopSignal(int signal)
{
    return signal == SIGINT || signal == SIGTERM || signal == SIGHUP || signal == SIGQUIT;
}

// A worker's end: its exit code, or the signal that killed it.
void Ended(Worker& worker, int status)
{
    worker.running = 0;
    if (worker.stopping)
        worker.code = kWorkerLost;  // `ended` already says why
    else if (WIFEXITED(status))
        worker.code = WEXITSTATUS(status);
    else if (WIFSIGNALED(status) && IsStopSignal(WTERMSIG(status)))
        worker.code = kExitInterrupted;
    else {
        worker.code = kWorkerLost;
        const char* name = WIFSIGNALED(status) ? sigabbrev_np(WTERMSIG(status)) : nullptr;
        if (name)
            snprintf(worker.ended, sizeof worker.ended, "killed by SIG%s", name);
        else
            snprintf(worker.ended, sizeof worker.ended, "killed by signal %d", WTERMSIG(status));
    }
}

// What a worker's pipe holds now; the pipe is closed at its end.
void ReadWorkerPipe(long long* pipe, char* text, size_t* length)
{
    char chunk[512];
    const ssize_t n = read(static_cast<int>(*pipe), chunk, sizeof chunk);
    if (n < 0 && errno == EINTR)
        return;
    if (n > 0) {
        KeepWorkerText(text, length, chunk, static_cast<size_t>(n));
        return;
    }
    close(static_cast<int>(*pipe));
    *pipe = -1;
}

// Stops a worker that has had its time: SIGTERM, so that it puts its port back, then SIGKILL.
// The milliseconds until its next step, or -1 when none is due.
long long StopIfLate(Worker& worker, int resultSeconds, unsigned long long now)
{
    const unsigned long long limit = static_cast<unsigned long long>(resultSeconds) * 1000;
    const pid_t pid = static_cast<pid_t>(worker.process);
    if (worker.stopping == 0 && now - worker.startedMs >= limit) {
        worker.stopping = 1;
        snprintf(worker.ended, sizeof worker.ended, "no result after %d s: stopped", resultSeconds);
        kill(pid, SIGTERM);
    }
    if (worker.stopping == 1 && now - worker.startedMs >= limit + kWorkerKillAfterMs) {
        worker.stopping = 2;
        kill(pid, SIGKILL);
    }
    if (worker.stopping == 2)
        return -1;
    return static_cast<long long>((worker.stopping ? limit + kWorkerKillAfterMs : limit) -
                                  (now - worker.startedMs));
}

}  // namespace

const char* const kTextLineEnd = "\n";

bool ErrorIsConsole()
{
    return isatty(STDERR_FILENO) != 0;
}

bool AloneOnConsole()
{
    return false;  // a terminal outlives the programs it runs
}

void WaitForAnyKey() {}

void LocalTimeText(char* text, size_t size)
{
    const time_t now = time(nullptr);
    struct tm local;
    if (!localtime_r(&now, &local) || strftime(text, size, "%Y-%m-%d %H:%M", &local) == 0)
        snprintf(text, size, "an unknown time");
}

void UtcTimeText(char* text, size_t size)
{
    const time_t now = time(nullptr);
    struct tm utc;
    if (!gmtime_r(&now, &utc) || strftime(text, size, "%Y-%m-%d %H:%M:%S", &utc) == 0)
        snprintf(text, size, "an unknown time");
}

void StdinBinary()
{
    // Bytes are bytes here.
}

int WriteStdoutBinary(const char* text, size_t length, char* reason, size_t reasonSize)
{
    fflush(stdout);
    if (WriteAll(STDOUT_FILENO, text, length))
        return 1;
    SystemReason(errno, reason, reasonSize);
    return 0;
}

int StartWorker(const char* const* args, int argCount, const char* input, size_t inputLength, Worker* worker,
                char* reason, size_t reasonSize)
{
    constexpr int kMaxArgs = 16;
    const char* argv[kMaxArgs + 2] = {"qsync"};
    if (argCount > kMaxArgs) {
        SystemReason(E2BIG, reason, reasonSize);
        return 0;
    }
    for (int i = 0; i < argCount; ++i)
        argv[i + 1] = args[i];
    // Every end the parent keeps closes at exec, so that no other worker holds it open.
    int in[2] = {-1, -1}, out[2] = {-1, -1}, err[2] = {-1, -1};
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
        SystemReason(errno, reason, reasonSize);
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]})
            if (fd >= 0)
                close(fd);
        return 0;
    }
    // A rig started with SIGCHLD ignored (as some services start programs) would find no exit
    // status to wait for: each worker would seem lost.
    signal(SIGCHLD, SIG_DFL);
    const pid_t rig = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        // A worker ends with the rig, whatever ends the rig: SIGTERM when it dies (the worker then
        // puts its port back), or at once when it died before the request took hold.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != rig)
            _exit(kExitInterrupted);  // the rig had already gone
        signal(SIGTERM, SIG_DFL);     // caught again by the worker's own handler, even if the rig ignores it
        dup2(in[0], STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        execv("/proc/self/exe", const_cast<char* const*>(argv));
        _exit(127);
    }
    const int error = errno;
    close(in[0]);
    close(out[1]);
    close(err[1]);
    if (pid < 0) {
        for (int fd : {in[1], out[0], err[0]})
            close(fd);
        SystemReason(error, reason, reasonSize);
        return 0;
    }
    // A worker that ended early leaves the rest unread: its report says why.
    WriteAll(in[1], input, inputLength);
    close(in[1]);
    *worker = Worker{pid, out[0], err[0], 1, -1, PortClockMs(), 0, "", 0, 0, "", ""};
    return 1;
}

int WaitForWorker(Worker* workers, int count, int resultSeconds)
{
    bool passedOn = false;
    for (;;) {
        // A stop signal sent to qsync alone (not to the terminal's whole group) reaches each worker.
        if (InterruptRequested() && !passedOn) {
            passedOn = true;
            for (int i = 0; i < count; ++i)
                if (workers[i].running)
                    kill(static_cast<pid_t>(workers[i].process), SIGTERM);
        }
        pollfd watch[2 * kMaxWorkers];
        long long* pipes[2 * kMaxWorkers];
        Worker* owners[2 * kMaxWorkers];
        nfds_t watched = 0;
        long long waitMs = -1;
        bool anyRunning = false;
        const unsigned long long now = PortClockMs();
        for (int i = 0; i < count && i < kMaxWorkers; ++i) {
            Worker& worker = workers[i];
            if (!worker.running)
                continue;
            anyRunning = true;
            // Its outputs closed: it has ended, or is just ending.
            int status = 0;
            if (worker.outPipe < 0 && worker.errPipe < 0) {
                const pid_t ended = waitpid(static_cast<pid_t>(worker.process), &status, WNOHANG);
                if (ended == static_cast<pid_t>(worker.process)) {
                    Ended(worker, status);
                    return i;
                }
                if (ended < 0 && errno != EINTR) {  // not ours to wait for: no exit code to tell
                    worker.running = 0;
                    worker.code = kWorkerLost;
                    return i;
                }
                waitMs = waitMs < 0 || waitMs > kEndingPollMs ? kEndingPollMs : waitMs;
            }
            const long long due = StopIfLate(worker, resultSeconds, now);
            if (due >= 0 && (waitMs < 0 || due < waitMs))
                waitMs = due;
            for (long long* pipe : {&worker.outPipe, &worker.errPipe}) {
                if (*pipe < 0)
                    continue;
                watch[watched] = pollfd{static_cast<int>(*pipe), POLLIN, 0};
                owners[watched] = &worker;
                pipes[watched++] = pipe;
            }
        }
        if (!anyRunning)
            return -1;
        // Every signal blocked from the look at the flag until ppoll waits: none is missed.
        sigset_t all, former;
        sigfillset(&all);
        pthread_sigmask(SIG_BLOCK, &all, &former);
        int ready = 0;
        if (!InterruptRequested() || passedOn) {
            timespec timeout = {static_cast<time_t>(waitMs / 1000),
                                static_cast<long>(waitMs % 1000) * 1000000};
            ready = ppoll(watch, watched, waitMs < 0 ? nullptr : &timeout, &former);
        }
        pthread_sigmask(SIG_SETMASK, &former, nullptr);
        for (nfds_t k = 0; ready > 0 && k < watched; ++k) {
            if (watch[k].revents == 0)
                continue;
            const bool out = pipes[k] == &owners[k]->outPipe;
            ReadWorkerPipe(pipes[k], out ? owners[k]->out : owners[k]->err,
                           out ? &owners[k]->outLength : &owners[k]->errLength);
        }
    }
}
