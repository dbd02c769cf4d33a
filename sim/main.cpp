// qsim: simulates up to four synchronizers, each on its own pseudo-terminal,
// for testing the program under Wine without the hardware.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include "commands.h"
#include "control_server.h"
#include "line_input.h"
#include "simulator.h"

namespace {

using qsim::Simulator;

const char kUsage[] =
    "usage: qsim --device PATH [--device PATH ...] [--control PORT] [--no-pace]\n"
    "            [--pace-read] [--memory DIR] [--unplugged N ...]\n";

Simulator* g_sim = nullptr;  // for the signal handler only

struct Options {
    const char* devicePaths[qsim::kMaxDevices];
    int deviceCount = 0;
    int controlPort = -1;  // -1: no control port
    bool unplugged[qsim::kMaxDevices] = {};
    bool pace = true;
    bool paceRead = false;
    const char* memoryDir = nullptr;
};

bool ParseNumber(const char* text, long min, long max, long& value)
{
    if (!text || !*text)
        return false;
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || v < min || v > max)
        return false;
    value = v;
    return true;
}

bool ParseOptions(int argc, char** argv, Options& opt)
{
    long unplugged[qsim::kMaxDevices * 4];
    int unpluggedCount = 0;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
        if (std::strcmp(a, "--device") == 0 && next) {
            if (opt.deviceCount >= qsim::kMaxDevices) {
                std::fprintf(stderr, "qsim: at most %d devices\n", qsim::kMaxDevices);
                return false;
            }
            opt.devicePaths[opt.deviceCount++] = next;
            ++i;
        } else if (std::strcmp(a, "--control") == 0 && next) {
            long port = 0;
            if (!ParseNumber(next, 0, 65535, port))
                return false;
            opt.controlPort = static_cast<int>(port);
            ++i;
        } else if (std::strcmp(a, "--no-pace") == 0) {
            opt.pace = false;
        } else if (std::strcmp(a, "--pace-read") == 0) {
            opt.paceRead = true;
        } else if (std::strcmp(a, "--memory") == 0 && next) {
            opt.memoryDir = next;
            ++i;
        } else if (std::strcmp(a, "--unplugged") == 0) {
            // One or more device numbers follow.
            long n = 0;
            if (!next || !ParseNumber(next, 1, qsim::kMaxDevices, n))
                return false;
            while (i + 1 < argc && ParseNumber(argv[i + 1], 1, qsim::kMaxDevices, n)) {
                if (unpluggedCount < static_cast<int>(sizeof unplugged / sizeof unplugged[0])) {
                    unplugged[unpluggedCount++] = n;
                }
                ++i;
            }
        } else {
            return false;
        }
    }
    if (opt.deviceCount == 0)
        return false;
    for (int k = 0; k < unpluggedCount; ++k) {
        if (unplugged[k] > opt.deviceCount) {
            std::fprintf(stderr, "qsim: --unplugged %ld: no such device\n", unplugged[k]);
            return false;
        }
        opt.unplugged[unplugged[k] - 1] = true;
    }
    return true;
}

void OnSignal(int)
{
    if (g_sim)
        qsim::RequestQuit(*g_sim, 's');
}

void InstallSignals()
{
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

void PrintLines(const std::vector<std::string>& lines)
{
    for (const std::string& line : lines)
        std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

// Commands typed at a terminal; an empty line presses device 1's Reset switch.
void ServeStdin(Simulator* sim)
{
    qsim::LineInput input;
    char buf[4096];
    for (;;) {
        pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {sim->stopPipe[0], POLLIN, 0}};
        int r = poll(fds, 2, -1);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0 || fds[1].revents != 0)
            return;
        ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            // End of input ends the simulator only when no control port can reach it.
            if (!sim->hasControl)
                qsim::RequestQuit(*sim, 'e');
            return;
        }
        std::vector<std::string> lines;
        qsim::TakeLines(input, buf, static_cast<size_t>(n), qsim::kMaxCommandLine, lines);
        for (std::string& line : lines) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (line.empty())
                line = "reset 1";
            std::vector<std::string> reply;
            bool quit = qsim::ExecuteCommand(*sim, line, reply);
            PrintLines(reply);
            if (quit) {
                qsim::RequestQuit(*sim, 'q');
                return;
            }
        }
    }
}

bool MakeAbsentDir(Simulator& sim)
{
    const char* tmp = std::getenv("TMPDIR");
    char path[4096];
    std::snprintf(path, sizeof path, "%s/qsim-absent-XXXXXX", (tmp && *tmp) ? tmp : "/tmp");
    if (!mkdtemp(path))
        return false;
    sim.absentDir = path;
    return true;
}

bool SetUpDevice(Simulator& sim, const Options& opt, int i)
{
    qsim::Device& dev = sim.devices[i];
    dev.number = i + 1;
    dev.linkPath = opt.devicePaths[i];
    char error[256];
    if (!qsim::OpenPtyPort(dev.port, error, sizeof error)) {
        std::fprintf(stderr, "qsim: device %d: %s\n", dev.number, error);
        return false;
    }
    qsim::PowerOnContents(dev.regs);
    if (opt.memoryDir) {
        dev.memoryPath = std::string(opt.memoryDir) + "/dev" + std::to_string(dev.number) + ".regs";
        qsim::LoadRegisterFile(dev.memoryPath.c_str(), dev.regs);
    }
    dev.plugged = !opt.unplugged[i];
    const char* target = dev.plugged ? dev.port.slaveName : sim.absentDir.c_str();
    if (!qsim::PointLink(dev.linkPath.c_str(), target, error, sizeof error)) {
        std::fprintf(stderr, "qsim: device %d: %s\n", dev.number, error);
        return false;
    }
    return true;
}

void WaitForQuit(Simulator& sim)
{
    char c = 0;
    for (;;) {
        ssize_t n = read(sim.wakePipe[0], &c, 1);
        if (n == 1 || (n < 0 && errno != EINTR) || n == 0)
            return;
    }
}

void BeginShutdown(Simulator& sim)
{
    {
        std::lock_guard<std::mutex> lock(sim.stopMu);
        sim.stopping.store(true);
        sim.stopCv.notify_all();
    }
    char c = 'x';
    ssize_t n = write(sim.stopPipe[1], &c, 1);
    (void)n;
    for (int i = 0; i < sim.deviceCount; ++i) {
        std::lock_guard<std::mutex> lock(sim.devices[i].mu);
        sim.devices[i].cv.notify_all();
    }
}

}  // namespace

int main(int argc, char** argv)
{
    Options opt;
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (!ParseOptions(argc, argv, opt)) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    static Simulator sim;
    g_sim = &sim;
    sim.pace = opt.pace;
    sim.paceRead = opt.paceRead && opt.pace;  // --no-pace turns all pacing off
    sim.hasControl = opt.controlPort >= 0;
    if (pipe(sim.stopPipe) != 0 || pipe(sim.wakePipe) != 0) {
        std::perror("qsim: pipe");
        return 1;
    }
    InstallSignals();

    int status = 0;
    int listenFd = -1;
    int controlPort = -1;
    std::thread control;
    std::thread console;

    if (opt.memoryDir && mkdir(opt.memoryDir, 0755) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "qsim: --memory %s: %s\n", opt.memoryDir, std::strerror(errno));
        return 1;
    }
    if (!MakeAbsentDir(sim)) {
        std::perror("qsim: empty directory for unplugged ports");
        return 1;
    }
    for (int i = 0; i < opt.deviceCount && status == 0; ++i) {
        if (!SetUpDevice(sim, opt, i))
            status = 1;
        sim.deviceCount = i + 1;  // set-up done so far, for the clean-up
    }
    if (status == 0 && sim.hasControl) {
        char error[256];
        if (!qsim::OpenControlServer(opt.controlPort, listenFd, controlPort, error, sizeof error)) {
            std::fprintf(stderr, "qsim: %s\n", error);
            status = 1;
        }
    }

    if (status == 0) {
        for (int i = 0; i < sim.deviceCount; ++i)
            qsim::StartDevice(sim, sim.devices[i]);
        for (int i = 0; i < sim.deviceCount; ++i) {
            std::printf("device %d %s %s\n", i + 1, sim.devices[i].port.slaveName,
                        sim.devices[i].linkPath.c_str());
        }
        if (sim.hasControl)
            std::printf("control %d\n", controlPort);
        std::printf("ready\n");
        std::fflush(stdout);

        if (sim.hasControl)
            control = std::thread(qsim::ServeControl, &sim, listenFd);
        console = std::thread(ServeStdin, &sim);
        WaitForQuit(sim);
    }

    BeginShutdown(sim);
    if (control.joinable())
        control.join();
    if (console.joinable())
        console.join();
    for (int i = 0; i < sim.deviceCount; ++i)
        qsim::JoinDevice(sim.devices[i]);
    for (int i = 0; i < sim.deviceCount; ++i) {
        qsim::RemoveLink(sim.devices[i].linkPath.c_str());
        qsim::ClosePtyPort(sim.devices[i].port);
    }
    if (listenFd >= 0)
        close(listenFd);
    rmdir(sim.absentDir.c_str());
    return status;
}
