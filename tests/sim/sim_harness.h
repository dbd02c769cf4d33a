// Runs the real qsim binary and plays the program's side of its lines: opens
// the linked pty slave in raw mode and talks to the control port.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/types.h>

#include "../support/elapsed.h"

namespace simtest {

using Clock = std::chrono::steady_clock;

// One byte's time on the line at 1200 baud, 8N1.
constexpr double kByteMs = 8.333;
constexpr int kWaitMs = 2000;  // bound of a wait for the simulator's answer

struct SimOptions {
    int devices = 1;
    bool control = true;     // --control 0
    bool stdinPipe = false;  // else stdin is /dev/null
    std::vector<std::string> extraArgs;
};

// A fresh directory under /tmp, removed with all it holds at the end.
struct TempDir {
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string path;  // empty if it could not be made
};

class SimProcess {
public:
    SimProcess() = default;
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // Starts qsim and waits for "ready"; false (with why()) on failure.
    bool Start(const SimOptions& options);
    // SIGTERM and wait; returns the exit status (-1 if it had to be killed).
    int Stop();
    // Waits up to timeoutMs for the process to end by itself; its exit status or -1.
    int WaitExit(int timeoutMs);
    // Writes to qsim's standard input (stdinPipe only); closeAfter ends it.
    bool WriteStdin(const std::string& text, bool closeAfter);
    // Reads one line of qsim's standard output (without LF); false on timeout/EOF.
    bool ReadStdoutLine(std::string& line, int timeoutMs);

    std::string LinkPath(int device) const;  // 1-based
    const std::string& PtyName(int device) const { return ptyNames_[static_cast<size_t>(device - 1)]; }
    int controlPort() const { return controlPort_; }
    const std::string& why() const { return why_; }

private:
    pid_t pid_ = -1;
    int stdinFd_ = -1;
    int stdoutFd_ = -1;
    std::string stdoutBuffer_;
    TempDir ownDir_;  // holds the links
    int controlPort_ = -1;
    std::vector<std::string> ptyNames_;
    std::string why_;
};

// A control connection: one command, its lines up to and including ok/error.
class Control {
public:
    ~Control();
    bool Connect(int port);
    void Close();
    // All reply lines; the last is "ok" or "error ..." (or "<timeout>").
    std::vector<std::string> Cmd(const std::string& line);
    // Sends raw bytes as given (no LF added) and reads one reply.
    std::vector<std::string> RawCmd(const std::string& bytes);
    // Data lines of a command that must succeed; adds a test failure otherwise.
    std::vector<std::string> Data(const std::string& line);
    // Sends without waiting for the reply.
    bool Send(const std::string& bytes);
    // The next reply, for commands sent together.
    std::vector<std::string> Next();

private:
    int fd_ = -1;
    std::string buffer_;
};

// The program's end of a simulated serial line.
class Line {
public:
    ~Line();
    bool Open(const std::string& path);
    void Close();
    bool Write(const std::string& bytes);
    // Reads until n bytes have come or timeoutMs has passed.
    std::string ReadExactly(size_t n, int timeoutMs);
    // Reads whatever arrives within ms.
    std::string ReadFor(int ms);
    // Reads what is available at once, without waiting.
    std::string ReadNow();
    // Writes `bytes`, then reads n bytes of the answer: them as Hex, or "<write failed>".
    std::string Ask(const std::string& bytes, size_t n, int timeoutMs = kWaitMs);
    int fd() const { return fd_; }

private:
    int fd_ = -1;
};

// "41 0a" style, for readable failure messages.
std::string Hex(const std::string& bytes);

// A simulator that does not pace its output at line speed.
SimOptions Fast(int devices = 1);

// A running simulator with its control connection and the program's end of
// each plugged line open. Use as ASSERT_NO_FATAL_FAILURE(Boot(...)).
class SimFixture : public ::testing::Test {
protected:
    void Boot(const SimOptions& options);
    // Waits until the device has counted `reads` read frames (it acts on a
    // frame in the same step as it counts it).
    void WaitForReads(int device, unsigned long reads);
    // The device's wire log in one direction ("rx", "tx") or both (nullptr): each chunk's stamp,
    // its bytes as Hex, and all its bytes together. Use under ASSERT_NO_FATAL_FAILURE.
    struct WireLog {
        std::vector<double> stamps;
        std::vector<std::string> chunks;
        std::string bytes;
    };
    void ReadWireLog(const char* direction, WireLog& log, int device = 1);

    SimProcess sim;
    Control ctl;
    Line line[4];
};

// The device's answer to a read: the pair, then LF, then CR.
inline std::string Answer(const std::string& pair)
{
    return pair + "\n\r";
}

}  // namespace simtest
