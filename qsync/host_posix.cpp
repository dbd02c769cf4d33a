#include "qsync/host.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <initializer_list>

#include "link/interrupt.h"

namespace {

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

// All the pipe holds until its writer has gone, as much as fits (NUL-terminated).
void Gather(int fd, char* text)
{
    size_t length = 0;
    char chunk[512];
    for (;;) {
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        const size_t take = std::min(static_cast<size_t>(n), kWorkerTextSize - 1 - length);
        memcpy(text + length, chunk, take);
        length += take;
    }
    text[length] = '\0';
    close(fd);
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
    const pid_t pid = fork();
    if (pid == 0) {
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
    *worker = Worker{pid, out[0], err[0], 1, -1, "", ""};
    return 1;
}

int WaitForWorker(Worker* workers, int count)
{
    bool passedOn = false;
    for (;;) {
        bool anyRunning = false;
        for (int i = 0; i < count; ++i)
            anyRunning = anyRunning || workers[i].running;
        if (!anyRunning)
            return -1;
        // A stop signal sent to qsync alone (not to the terminal's whole group) reaches each worker.
        if (InterruptRequested() && !passedOn) {
            passedOn = true;
            for (int i = 0; i < count; ++i)
                if (workers[i].running)
                    kill(static_cast<pid_t>(workers[i].process), SIGINT);
        }
        int status = 0;
        const pid_t ended = waitpid(-1, &status, 0);
        if (ended < 0 && errno == EINTR)
            continue;
        for (int i = 0; i < count; ++i) {
            if (!workers[i].running || (ended >= 0 && workers[i].process != ended))
                continue;
            Worker& worker = workers[i];
            worker.running = 0;
            worker.code = ended >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : kWorkerLost;
            Gather(static_cast<int>(worker.outPipe), worker.out);
            Gather(static_cast<int>(worker.errPipe), worker.err);
            return i;
        }
    }
}
