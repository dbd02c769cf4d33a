#include "sim_harness.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <netinet/in.h>
#include <poll.h>
#include <regex>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#ifndef QSIM_PATH
#error "QSIM_PATH must name the qsim binary"
#endif

namespace simtest {

namespace {

constexpr int kStartTimeoutMs = 5000;
constexpr int kReplyTimeoutMs = 5000;

int RemainingMs(Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Waits until fd has something to read (or has hung up); false once the deadline has passed.
bool Readable(int fd, Clock::time_point deadline)
{
    for (int left; (left = RemainingMs(deadline)) > 0;) {
        pollfd pfd{fd, POLLIN, 0};
        int r = poll(&pfd, 1, left);
        if (r > 0)
            return true;
        if (r == 0 || errno != EINTR)
            return false;
    }
    return false;
}

// Reads from fd into buffer until it holds a LF; returns the line.
bool ReadLineFrom(int fd, std::string& buffer, std::string& line, int timeoutMs)
{
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        size_t lf = buffer.find('\n');
        if (lf != std::string::npos) {
            line = buffer.substr(0, lf);
            buffer.erase(0, lf + 1);
            return true;
        }
        if (!Readable(fd, deadline))
            return false;
        char buf[4096];
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        buffer.append(buf, static_cast<size_t>(n));
    }
}

}  // namespace

SimOptions Fast(int devices)
{
    SimOptions o;
    o.devices = devices;
    o.extraArgs = {"--no-pace"};
    return o;
}

std::string Hex(const std::string& bytes)
{
    std::string out;
    char h[4];
    for (unsigned char c : bytes) {
        std::snprintf(h, sizeof h, "%s%02x", out.empty() ? "" : " ", c);
        out += h;
    }
    return out;
}

// --- TempDir ---

TempDir::TempDir()
{
    // As long as an adapter's /dev/serial/by-id name, so that port names past 64 characters are
    // checked wherever a test names a simulated device.
    char temp[] = "/tmp/qsim-test-usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0-XXXXXX";
    if (mkdtemp(temp))
        path = temp;
}

TempDir::~TempDir()
{
    std::error_code ec;
    if (!path.empty())
        std::filesystem::remove_all(path, ec);
}

// --- SimProcess ---

SimProcess::~SimProcess()
{
    Stop();
}

std::string SimProcess::LinkPath(int device) const
{
    return ownDir_.path + "/com" + std::to_string(device);
}

bool SimProcess::Start(const SimOptions& options)
{
    if (ownDir_.path.empty()) {
        why_ = "mkdtemp failed";
        return false;
    }

    std::vector<std::string> args = {QSIM_PATH};
    for (int i = 1; i <= options.devices; ++i)
        args.insert(args.end(), {"--device", LinkPath(i)});
    if (options.control)
        args.insert(args.end(), {"--control", "0"});
    args.insert(args.end(), options.extraArgs.begin(), options.extraArgs.end());

    // Only the child's own ends (dup2 clears close-on-exec) may reach qsim; a stray copy of the
    // stdin pipe's write end would keep its input from ever ending.
    int out[2];
    int in[2] = {-1, -1};
    if (pipe2(out, O_CLOEXEC) != 0 || (options.stdinPipe && pipe2(in, O_CLOEXEC) != 0)) {
        why_ = "pipe failed";
        return false;
    }
    pid_ = fork();
    if (pid_ < 0) {
        why_ = "fork failed";
        return false;
    }
    if (pid_ == 0) {
        int stdinFd = options.stdinPipe ? in[0] : open("/dev/null", O_RDONLY);
        dup2(stdinFd, STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(&a[0]);
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    stdoutFd_ = out[0];
    if (options.stdinPipe) {
        close(in[0]);
        stdinFd_ = in[1];
    }

    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
    std::string line;
    while (ReadStdoutLine(line, RemainingMs(deadline))) {
        int n = 0;
        char name[256];
        if (std::sscanf(line.c_str(), "device %d %255s", &n, name) == 2) {
            ptyNames_.push_back(name);
        } else if (std::sscanf(line.c_str(), "control %d", &n) == 1) {
            controlPort_ = n;
        } else if (line == "ready") {
            if (static_cast<int>(ptyNames_.size()) != options.devices) {
                why_ = "wrong number of device lines";
                return false;
            }
            if (options.control && controlPort_ <= 0) {
                why_ = "no control line";
                return false;
            }
            return true;
        }
    }
    why_ = "no ready line";
    return false;
}

bool SimProcess::ReadStdoutLine(std::string& line, int timeoutMs)
{
    if (stdoutFd_ < 0)
        return false;
    return ReadLineFrom(stdoutFd_, stdoutBuffer_, line, timeoutMs);
}

bool SimProcess::WriteStdin(const std::string& text, bool closeAfter)
{
    if (stdinFd_ < 0)
        return false;
    bool ok = write(stdinFd_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    if (closeAfter) {
        close(stdinFd_);
        stdinFd_ = -1;
    }
    return ok;
}

int SimProcess::WaitExit(int timeoutMs)
{
    if (pid_ <= 0)
        return -1;
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int status = 0;
        pid_t r = waitpid(pid_, &status, WNOHANG);
        if (r == pid_) {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        if (Clock::now() >= deadline)
            return -1;
        usleep(5000);
    }
}

int SimProcess::Stop()
{
    int result = -1;
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        result = WaitExit(kStartTimeoutMs);
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
            result = -1;
        }
    }
    if (stdinFd_ >= 0)
        close(stdinFd_);
    if (stdoutFd_ >= 0)
        close(stdoutFd_);
    stdinFd_ = -1;
    stdoutFd_ = -1;
    return result;
}

// --- Control ---

Control::~Control()
{
    Close();
}

void Control::Close()
{
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
    buffer_.clear();
}

bool Control::Connect(int port)
{
    Close();
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0)
        return false;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        Close();
        return false;
    }
    return true;
}

std::vector<std::string> Control::Next()
{
    std::vector<std::string> lines;
    std::string line;
    while (ReadLineFrom(fd_, buffer_, line, kReplyTimeoutMs)) {
        lines.push_back(line);
        if (line == "ok" || line.rfind("error", 0) == 0)
            return lines;
    }
    lines.push_back("<timeout>");
    return lines;
}

bool Control::Send(const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

std::vector<std::string> Control::RawCmd(const std::string& bytes)
{
    if (!Send(bytes))
        return {"<send failed>"};
    return Next();
}

std::vector<std::string> Control::Cmd(const std::string& line)
{
    return RawCmd(line + "\n");
}

std::vector<std::string> Control::Data(const std::string& line)
{
    std::vector<std::string> reply = Cmd(line);
    EXPECT_EQ(reply.back(), "ok") << "command: " << line;
    reply.pop_back();
    return reply;
}

// --- Line ---

Line::~Line()
{
    Close();
}

void Line::Close()
{
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
}

bool Line::Open(const std::string& path)
{
    Close();
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0)
        return false;
    termios tio;
    if (tcgetattr(fd_, &tio) != 0) {
        Close();
        return false;
    }
    cfmakeraw(&tio);
    if (tcsetattr(fd_, TCSANOW, &tio) != 0) {
        Close();
        return false;
    }
    return true;
}

bool Line::Write(const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
            pollfd pfd{fd_, POLLOUT, 0};
            poll(&pfd, 1, 100);
            continue;
        }
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

std::string Line::ReadExactly(size_t n, int timeoutMs)
{
    std::string got;
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got.size() < n && Readable(fd_, deadline)) {
        char buf[4096];
        ssize_t k = read(fd_, buf, std::min(n - got.size(), sizeof buf));
        if (k < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (k <= 0)
            break;
        got.append(buf, static_cast<size_t>(k));
    }
    return got;
}

std::string Line::ReadFor(int ms)
{
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ms);
    std::string got = ReadNow();
    while (Readable(fd_, deadline))
        got += ReadNow();
    return got;
}

std::string Line::ReadNow()
{
    std::string got;
    char buf[4096];
    for (;;) {
        ssize_t k = read(fd_, buf, sizeof buf);
        if (k < 0 && errno == EINTR)
            continue;
        if (k <= 0)
            return got;
        got.append(buf, static_cast<size_t>(k));
    }
}

std::string Line::Ask(const std::string& bytes, size_t n, int timeoutMs)
{
    return Write(bytes) ? Hex(ReadExactly(n, timeoutMs)) : "<write failed>";
}

void SimFixture::Boot(const SimOptions& options)
{
    ASSERT_TRUE(sim.Start(options)) << sim.why();
    if (options.control) {
        ASSERT_TRUE(ctl.Connect(sim.controlPort()));
    }
    for (int i = 1; i <= options.devices && i <= 4; ++i) {
        // Unplugged devices have no line to open yet.
        line[i - 1].Open(sim.LinkPath(i));
    }
}

void SimFixture::WaitForReads(int device, unsigned long reads)
{
    Clock::time_point deadline = Clock::now() + std::chrono::seconds(5);
    std::string want = std::to_string(reads);
    std::vector<std::string> got;
    while (Clock::now() < deadline) {
        got = ctl.Data("reads " + std::to_string(device));
        if (got.size() == 1 && got[0] == want)
            return;
        usleep(2000);
    }
    FAIL() << "device " << device << " never counted " << reads << " reads";
}

void SimFixture::ReadWireLog(const char* direction, WireLog& log, int device)
{
    // "12.345 rx 52 3f 0d": milliseconds with three decimals, rx or tx, lower-case hex bytes.
    static const std::regex entryForm("([0-9]+\\.[0-9]{3}) (rx|tx)((?: [0-9a-f]{2})+)");
    for (const std::string& entry : ctl.Data("log " + std::to_string(device))) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(entry, m, entryForm)) << entry;
        if (direction && m[2] != direction)
            continue;
        log.stamps.push_back(std::stod(m[1]));
        log.chunks.push_back(m.str(3).substr(1));
        for (size_t i = 1; i < m.str(3).size(); i += 3)
            log.bytes += static_cast<char>(std::stoi(m.str(3).substr(i, 2), nullptr, 16));
    }
}

}  // namespace simtest
