#include "qsync/host.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

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

int ReplaceFileWith(const char* path, const char* text, size_t length, char* reason, size_t reasonSize)
{
    char temporary[4096];
    if (snprintf(temporary, sizeof temporary, "%s.%lu.tmp", path, static_cast<unsigned long>(getpid())) >=
        static_cast<int>(sizeof temporary)) {
        SystemReason(ENAMETOOLONG, reason, reasonSize);
        return 0;
    }
    const int file = open(temporary, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (file < 0) {
        SystemReason(errno, reason, reasonSize);
        return 0;
    }
    bool ok = WriteAll(file, text, length) && fsync(file) == 0;
    int error = ok ? 0 : errno;
    if (close(file) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && rename(temporary, path) != 0) {
        ok = false;
        error = errno;
    }
    if (ok)
        return 1;
    unlink(temporary);
    SystemReason(error, reason, reasonSize);
    return 0;
}
