// The native qsync run as a child process straight on the simulator's pseudo-terminals: qsync's
// device tables, and the POSIX port's own rows (line settings put back, exclusive use, a pulled
// cable, a stop signal mid-write, a port the user may not open).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <grp.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "tests/sim/sim_harness.h"
#include "tests/support/qsync_rows.h"
#include "tests/support/sim_control.h"

namespace {

// Words of a command line; "..." keeps spaces.
std::vector<std::string> Words(const std::string& line)
{
    std::vector<std::string> words;
    std::string word;
    bool quoted = false, any = false;
    for (char c : line + " ") {
        if (c == '"') {
            quoted = !quoted;
            any = true;
        } else if (c == ' ' && !quoted) {
            if (any)
                words.push_back(word);
            word.clear();
            any = false;
        } else {
            word += c;
            any = true;
        }
    }
    return words;
}

// Reads both outputs to their end; `whenSaid` runs once standard error holds `said`.
void Collect(int outFd, int errFd, QsyncResult& result, const std::string& said,
             const std::function<void()>& whenSaid)
{
    bool pending = !said.empty();
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    std::string* into[2] = {&result.out, &result.err};
    while (fds[0].fd >= 0 || fds[1].fd >= 0) {
        if (poll(fds, 2, -1) < 0)
            break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            char chunk[512];
            const ssize_t n = read(fds[i].fd, chunk, sizeof chunk);
            if (n <= 0) {
                close(fds[i].fd);
                fds[i].fd = -1;
            } else {
                into[i]->append(chunk, static_cast<size_t>(n));
            }
        }
        if (pending && result.err.find(said) != std::string::npos) {
            pending = false;
            whenSaid();
        }
    }
    EXPECT_FALSE(pending) << "never said: " << said;
}

class NativeQsync : public ::testing::Test, public QsyncHost {
protected:
    static void SetUpTestSuite()
    {
        sim_ = new simtest::SimProcess;
        simtest::SimOptions options;
        options.devices = 4;
        // Unpaced: on a loaded machine a paced reply's bytes can lie further apart than the
        // reads' 10 ms interval; the pacing's own effects are the bench's and Wine tests' business.
        options.extraArgs = {"--no-pace"};
        ASSERT_TRUE(sim_->Start(options)) << sim_->why();
        setenv("QSIM_CONTROL_PORT", std::to_string(sim_->controlPort()).c_str(), 1);
    }
    static void TearDownTestSuite()
    {
        delete sim_;
        sim_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(SimResetAll()); }

    std::string Port(int device) const override { return sim_->LinkPath(device); }
    std::string NoPort(int device) const override { return "No such port: " + Port(device); }
    std::string File(const std::string& text) override
    {
        std::ofstream(file_, std::ios::binary) << text;
        return file_;
    }
    bool IsWindows() const override { return false; }
    QsyncResult Run(const std::string& arguments, const std::string& said = "",
                    const std::function<void()>& whenSaid = nullptr) override
    {
        return RunAs(QSYNC_PATH, arguments, said, whenSaid, false);
    }
    // As Run; `whenSaid` runs at once when `said` is empty, and may signal child_. asNobody drops
    // root first.
    QsyncResult RunAs(const std::string& program, const std::string& arguments, const std::string& said,
                      const std::function<void()>& whenSaid, bool asNobody)
    {
        std::vector<std::string> words = Words(arguments);
        words.insert(words.begin(), program);
        std::vector<char*> argv;
        for (std::string& word : words)
            argv.push_back(&word[0]);
        argv.push_back(nullptr);
        const passwd* nobody = getpwnam("nobody");
        int out[2], err[2];
        EXPECT_EQ(pipe(out) | pipe(err), 0);
        child_ = fork();
        if (child_ == 0) {
            dup2(out[1], STDOUT_FILENO);
            dup2(err[1], STDERR_FILENO);
            if (asNobody && geteuid() == 0 &&
                (!nobody || setgroups(0, nullptr) != 0 || setgid(nobody->pw_gid) != 0 ||
                 setuid(nobody->pw_uid) != 0))
                _exit(126);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(out[1]);
        close(err[1]);
        if (said.empty() && whenSaid)
            whenSaid();
        QsyncResult result{-1, "", ""};
        Collect(out[0], err[0], result, said, whenSaid);
        int status = 0;
        waitpid(child_, &status, 0);
        result.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return result;
    }

    static simtest::SimProcess* sim_;
    std::string file_ = "/tmp/qsync_native_test_" + std::to_string(getpid()) + ".ini";
    pid_t child_ = -1;
};

simtest::SimProcess* NativeQsync::sim_ = nullptr;

// The line as another program left it: all of termios, compared field by field.
termios LineOf(const std::string& path)
{
    termios line = {};
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    EXPECT_GE(fd, 0) << path;
    EXPECT_EQ(tcgetattr(fd, &line), 0);
    close(fd);
    return line;
}

void ExpectSameLine(const termios& before, const termios& after)
{
    EXPECT_EQ(before.c_iflag, after.c_iflag);
    EXPECT_EQ(before.c_oflag, after.c_oflag);
    EXPECT_EQ(before.c_cflag, after.c_cflag);
    EXPECT_EQ(before.c_lflag, after.c_lflag);
    EXPECT_EQ(cfgetospeed(&before), cfgetospeed(&after));
    EXPECT_EQ(0, memcmp(before.c_cc, after.c_cc, sizeof before.c_cc));
}

TEST_F(NativeQsync, ReadWritesTheFileALoadShowsAndWritingItBackChangesNoRegister)
{
    CheckReadAndWriteBack(*this);
}

TEST_F(NativeQsync, AnEditedFileIsWrittenAndThenVerifies)
{
    CheckEditedFiles(*this);
}

TEST_F(NativeQsync, EachFailureHasItsExitCodeAndMessage)
{
    CheckFailures(*this);
}

TEST_F(NativeQsync, FindPrintsThePortOfTheBannerOrSaysNotFound)
{
    CheckFind(*this);
}

// The POSIX port's rows: each leaves the pty's line as it found it, whatever ended the command.
TEST_F(NativeQsync, ThePortIsPutBackAndHeldAlone)
{
    const struct {
        const char* what;
        const char* sim;  // first, after "line 1 4800 8N2"
        const char* arguments;
        bool lockFirst;  // another program holds the device's lock
        int signal;      // sent once the device has taken five frames
        int code;
        const char* err;
    } rows[] = {
        {"a read", "", "read PORT1", false, 0, 0, ""},
        {"a device held by another program", "", "read PORT1", true, 0, 1, "Serial port in use"},
        {"a cable pulled during a read", "pull 1 4", "read PORT1", false, 0, 1, "Bad Data in Synchronizer"},
        {"SIGINT mid-write", "", "write PORT1 FILE", false, SIGINT, 130, "Interrupted"},
        {"SIGTERM mid-write", "", "write PORT1 FILE", false, SIGTERM, 130, "Interrupted"},
        {"SIGHUP mid-write", "", "write PORT1 FILE", false, SIGHUP, 130, "Interrupted"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        ASSERT_TRUE(SimResetAll());
        ASSERT_TRUE(SimCommand("line 1 4800 8N2").ok);
        const termios before = LineOf(Port(1));
        if (*row.sim) {
            ASSERT_TRUE(SimCommand(row.sim).ok);
        }
        const int holder = open(Port(1).c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(holder, 0);
        if (row.lockFirst) {
            ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
        }
        // The signal waits for the write to be under way: five frames taken by the device.
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        const std::function<void()> signalMidWrite = [&] {
            while (SimFrames(1).size() < 5 && std::chrono::steady_clock::now() < giveUp) {
            }
            kill(child_, row.signal);
        };
        const QsyncResult result = RunAs(QSYNC_PATH, Expand(*this, row.arguments, kPowerOnSettingsBody), "",
                                         row.signal ? signalMidWrite : nullptr, false);
        close(holder);
        EXPECT_EQ(result.code, row.code) << result.err;
        EXPECT_NE(result.err.find(row.err), std::string::npos) << result.err;
        if (!*row.sim)
            ExpectSameLine(before, LineOf(Port(1)));
        if (row.lockFirst) {
            EXPECT_EQ(SimFrames(1), std::vector<std::string>{});
        }
    }
}

// A port the user may not open says how to gain the right; root passes every check, so the row
// runs as nobody (a copy of qsync it can reach).
TEST_F(NativeQsync, APortTheUserMayNotOpenNamesTheDialoutGroup)
{
    char dir[] = "/tmp/qsync-denied-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    chmod(dir, 0755);
    const std::string program = std::string(dir) + "/qsync", locked = std::string(dir) + "/locked";
    {
        std::ifstream from(QSYNC_PATH, std::ios::binary);
        std::ofstream(program, std::ios::binary) << from.rdbuf();
        std::ofstream(locked) << "";
    }
    chmod(program.c_str(), 0755);
    chmod(locked.c_str(), 0);
    const QsyncResult result = RunAs(program, "read " + locked, "", nullptr, true);
    EXPECT_EQ(result.code, 1) << result.err;
    EXPECT_NE(result.err.find("Permission denied on " + locked +
                              ": add yourself to the dialout group (sudo usermod -aG dialout $USER)"),
              std::string::npos)
        << result.err;
    unlink(program.c_str());
    unlink(locked.c_str());
    rmdir(dir);
}

}  // namespace
