// Opening, configuring, reading and restoring the one serial port: POSIX termios. The same
// behaviour as the Win32 port above it: the line raw at 1200 8N1 with DTR and RTS off, reads that
// end 10 ms after a byte or at the profile's total timeout, and the former settings put back.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "link/com_port.h"
#include "link/interrupt.h"
#include "link/transmit_wait.h"

const char* const PortNames[kPortCount] = {"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS2", "/dev/ttyS3"};

ComPortState ComPort = {-1, {}, {}, 0, {}, 0};

namespace {

// What differs between the two ways of opening a port. The read timeouts are those of the Win32
// port: 10 ms between bytes; in all 10 ms (Listen) or a second (Exchange).
struct PortProfileRow {
    int access;
    int totalMs;
    uint32_t drainSize;
};

constexpr PortProfileRow ProfileRows[] = {
    /* Listen */ {O_RDONLY, 10, 250},
    /* Exchange */ {O_RDWR, 1000, 256},
};

constexpr int kIntervalMs = 10;
// A write the driver does not take within this time has failed (a 4096-byte queue drains in 35 s
// at 1200 baud; our frames are at most 15 bytes).
constexpr int kWriteStallMs = 2000;

int totalTimeoutMs = 1000;  // the open profile's
PortOpenFailure lastFailure = PortOpenFailure::None;
int lastRestoreFailed = 0;
// The last write handed to the driver: what the close waits for before it puts the line back.
uint32_t lastWriteBytes = 0;
uint64_t lastWriteAtMs = 0;

PortOpenFailure FailureOf(int error)
{
    switch (error) {
        case ENOENT:
        case ENOTDIR:
        case ENXIO:
        case ENODEV:
        case EISDIR:
            return PortOpenFailure::Absent;
        case EACCES:
        case EPERM:
            return PortOpenFailure::Denied;
        case EBUSY:
        case EWOULDBLOCK:
            return PortOpenFailure::Busy;
        default:
            return PortOpenFailure::Other;
    }
}

// A failed step: put back what the earlier steps changed, close, and say why.
int CloseAfterFailure(PortOpenFailure why)
{
    if (ComPort.saved.exclusive)
        ioctl(ComPort.handle, TIOCNXCL);
    close(ComPort.handle);  // also drops the flock
    ComPort.handle = -1;
    lastFailure = why;
    return 0;
}

// A pseudo-terminal has no modem lines: ENOTTY or EINVAL there is not a failure.
bool NoModemLines(int error)
{
    return error == ENOTTY || error == EINVAL;
}

// The synchronizer's line: raw, 1200 baud, 8N1, no flow control, the receiver on, reads that
// never block (the timing is ours, on poll).
termios LineSettings(const termios& former)
{
    termios line = former;
    cfmakeraw(&line);
    line.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    line.c_cflag |= CS8 | CLOCAL | CREAD;
    line.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    line.c_cc[VMIN] = 0;
    line.c_cc[VTIME] = 0;
    cfsetispeed(&line, B1200);
    cfsetospeed(&line, B1200);
    return line;
}

// Whether the port holds every setting we make (or put back) as `wanted` has it: the speeds, the
// frame, the receiver, the modem control, flow control, the raw flags and the read's VMIN and VTIME.
// A driver may refuse a setting without an error from tcsetattr, so it is read back.
bool LineTaken(const termios& wanted)
{
    termios now;
    if (tcgetattr(ComPort.handle, &now) != 0)
        return false;
    constexpr tcflag_t kControl = CSIZE | PARENB | CSTOPB | CREAD | CLOCAL | CRTSCTS;
    constexpr tcflag_t kInput =
        IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY;
    constexpr tcflag_t kLocal = ECHO | ECHONL | ICANON | ISIG | IEXTEN;
    return cfgetispeed(&now) == cfgetispeed(&wanted) && cfgetospeed(&now) == cfgetospeed(&wanted) &&
           (now.c_cflag & kControl) == (wanted.c_cflag & kControl) &&
           (now.c_iflag & kInput) == (wanted.c_iflag & kInput) &&
           (now.c_oflag & OPOST) == (wanted.c_oflag & OPOST) &&
           (now.c_lflag & kLocal) == (wanted.c_lflag & kLocal) && now.c_cc[VMIN] == wanted.c_cc[VMIN] &&
           now.c_cc[VTIME] == wanted.c_cc[VTIME];
}

// Waits until the port is ready for `events`, `ms` pass or a signal comes: -1 with EINTR when an
// interrupt was asked for. Every signal is blocked from the look at the interrupt flag until
// ppoll, which unblocks them as it starts waiting: a stop signal that arrives in between ends the
// wait at once instead of after it.
int WaitOnPort(short events, int ms, short* revents)
{
    sigset_t all, former;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &former);
    int ready = -1;
    errno = EINTR;
    *revents = 0;
    if (!InterruptRequested()) {
        pollfd watch = {ComPort.handle, events, 0};
        const timespec timeout = {static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000};
        ready = ppoll(&watch, 1, &timeout, &former);
        *revents = watch.revents;
    }
    const int error = errno;
    pthread_sigmask(SIG_SETMASK, &former, nullptr);
    errno = error;
    return ready;
}

int RemainingMs(uint64_t deadline)
{
    const uint64_t now = PortClockMs();
    return now >= deadline ? 0 : static_cast<int>(deadline - now);
}

}  // namespace

int OpenPortNamed(const char* name, PortProfile profile)
{
    const PortProfileRow& row = ProfileRows[profile == PortProfile::Listen ? 0 : 1];
    ComPort.saved = PortSavedState{};

    ComPort.handle = open(name, row.access | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (ComPort.handle < 0) {
        lastFailure = FailureOf(errno);
        ComPort.handle = -1;
        return 0;
    }
    // A directory is no port (an unplugged adapter's link may lead to one); a plain file was named
    // by mistake.
    struct stat node;
    if (fstat(ComPort.handle, &node) != 0 || !S_ISCHR(node.st_mode))
        return CloseAfterFailure(S_ISREG(node.st_mode) ? PortOpenFailure::NotSerial
                                                       : PortOpenFailure::Absent);
    // Two programs never share a device: the advisory lock for those that take it, TIOCEXCL for
    // those that do not (root passes TIOCEXCL, so the lock is what holds against root).
    if (flock(ComPort.handle, LOCK_EX | LOCK_NB) != 0)
        return CloseAfterFailure(FailureOf(errno));
    if (tcgetattr(ComPort.handle, &ComPort.saved.line) != 0)
        return CloseAfterFailure(errno == ENOTTY ? PortOpenFailure::NotSerial : PortOpenFailure::Other);
    if (ioctl(ComPort.handle, TIOCEXCL) == 0)
        ComPort.saved.exclusive = true;
    if (ioctl(ComPort.handle, TIOCMGET, &ComPort.saved.modemLines) == 0)
        ComPort.saved.hasModemLines = true;
    else if (!NoModemLines(errno))
        return CloseAfterFailure(PortOpenFailure::Other);

    totalTimeoutMs = row.totalMs;
    lastWriteBytes = 0;
    const termios line = LineSettings(ComPort.saved.line);
    if (tcsetattr(ComPort.handle, TCSANOW, &line) != 0 || !LineTaken(line)) {
        tcsetattr(ComPort.handle, TCSANOW, &ComPort.saved.line);
        return CloseAfterFailure(PortOpenFailure::Settings);
    }
    const int lowered = TIOCM_DTR | TIOCM_RTS;
    if (ComPort.saved.hasModemLines && ioctl(ComPort.handle, TIOCMBIC, &lowered) != 0 &&
        !NoModemLines(errno)) {
        RestoreAndClosePort();
        lastFailure = PortOpenFailure::Other;
        return 0;
    }

    // Whatever was queued before the open, or arrives while the drain runs, is discarded.
    DiscardInput();
    DrainPort(row.drainSize);
    AccumulatorReset(ComPort.accumulator);
    lastFailure = PortOpenFailure::None;
    return 1;
}

PortOpenFailure LastPortOpenFailure()
{
    return lastFailure;
}

int LastRestoreFailed()
{
    return lastRestoreFailed;
}

void RestoreAndClosePort()
{
    lastRestoreFailed = 0;
    if (ComPort.handle < 0)
        return;
    // What an interrupt left in the output queue leaves at the line's speed first, within the
    // transmit wait's deadline; what could not leave by then is dropped, so that none of it goes
    // out at the restored speed.
    WaitTransmitted(lastWriteBytes, lastWriteAtMs);
    tcflush(ComPort.handle, TCOFLUSH);
    if (tcsetattr(ComPort.handle, TCSANOW, &ComPort.saved.line) != 0 || !LineTaken(ComPort.saved.line))
        lastRestoreFailed = 1;
    if (ComPort.saved.hasModemLines)
        ioctl(ComPort.handle, TIOCMSET, &ComPort.saved.modemLines);
    if (ComPort.saved.exclusive)
        ioctl(ComPort.handle, TIOCNXCL);
    close(ComPort.handle);
    ComPort.handle = -1;
}

int ReadPortPlatform(uint32_t max)
{
    if (max > kReadBufferSize)
        max = kReadBufferSize;
    ComPort.bytesRead = 0;
    const uint64_t deadline = PortClockMs() + static_cast<uint64_t>(totalTimeoutMs);
    uint32_t count = 0;
    while (count < max) {
        if (InterruptRequested())
            return 0;
        // Before the first byte the total timeout runs; after one, the interval too.
        const int total = RemainingMs(deadline);
        const int wait = (count > 0 && kIntervalMs < total) ? kIntervalMs : total;
        short revents = 0;
        const int ready = WaitOnPort(POLLIN, wait, &revents);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return 0;
        if (ready == 0)
            break;
        if (revents & POLLIN) {
            const ssize_t n = read(ComPort.handle, ComPort.readBuffer + count, max - count);
            if (n > 0) {
                count += static_cast<uint32_t>(n);
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
            return 0;  // 0 bytes from a ready line is a hang-up; -1 is EIO of a pulled adapter
        }
        return 0;  // POLLHUP or POLLERR without data: the line is gone
    }
    ComPort.bytesRead = count;
    return 1;
}

void ReadPendingPlatform()
{
    // The handle never blocks: a read takes what has arrived.
    const ssize_t n = read(ComPort.handle, ComPort.readBuffer, kReadBufferSize);
    ComPort.bytesRead = n > 0 ? static_cast<uint32_t>(n) : 0;
}

int DiscardInputPlatform()
{
    return tcflush(ComPort.handle, TCIFLUSH) == 0 ? 1 : 0;
}

int WritePortPlatform(const unsigned char* bytes, uint32_t count, uint32_t* written)
{
    *written = 0;
    const uint64_t deadline = PortClockMs() + kWriteStallMs;
    lastWriteAtMs = PortClockMs();
    lastWriteBytes = 0;
    while (*written < count) {
        if (InterruptRequested())
            return 0;
        const ssize_t n = write(ComPort.handle, bytes + *written, count - *written);
        if (n > 0) {
            *written += static_cast<uint32_t>(n);
            lastWriteBytes = *written;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return 0;
        const int left = RemainingMs(deadline);
        if (left == 0)
            return 0;
        short revents = 0;
        if (WaitOnPort(POLLOUT, left, &revents) < 0 && errno != EINTR)
            return 0;
        if (revents & (POLLHUP | POLLERR))
            return 0;
    }
    return 1;
}

void ClearPortError()
{
    // termios keeps no error state that blocks the next write.
}

int PortOutputQueued(uint32_t* queued)
{
    // Asked also after an interrupt: the wait for a write's bytes runs to its end then too.
    int pending = 0;
    if (ioctl(ComPort.handle, TIOCOUTQ, &pending) != 0)
        return 0;
    *queued = pending > 0 ? static_cast<uint32_t>(pending) : 0;
    return 1;
}

uint64_t PortClockMs()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000 + static_cast<uint64_t>(now.tv_nsec) / 1000000;
}

void PortPauseMs(uint32_t ms)
{
    // The whole pause, signals or not: it is short, and the caller's next step sees the flag.
    timespec pause = {static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000};
    while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
}
