// The native qsync run as a child process straight on the simulator's pseudo-terminals: qsync's
// device tables, and the POSIX port's own rows (line settings put back, exclusive use, a pulled
// cable, a stop signal mid-write, a port the user may not open).
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tests/sim/sim_harness.h"
#include "tests/support/qsync_rows.h"
#include "tests/support/sim_control.h"

namespace {

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
        // A copy of qsync that the user nobody can reach, a device file only its owner may open,
        // one its group may open, and a pipe that standard input waits on.
        dir_ = new simtest::TempDir;
        chmod(dir_->path.c_str(), 0755);
        std::ofstream(dir_->path + "/qsync", std::ios::binary)
            << std::ifstream(QSYNC_PATH, std::ios::binary).rdbuf();
        chmod((dir_->path + "/qsync").c_str(), 0755);
        for (const char* name : {"/locked", "/grouped"})
            std::ofstream(dir_->path + name) << "";
        chmod((dir_->path + "/locked").c_str(), 0600);
        chmod((dir_->path + "/grouped").c_str(), 0660);
        EXPECT_EQ(chown((dir_->path + "/grouped").c_str(), 0, kGroup), geteuid() == 0 ? 0 : -1);
        mkfifo((dir_->path + "/fifo").c_str(), 0600);
    }
    static void TearDownTestSuite()
    {
        delete sim_;
        delete dir_;
    }
    void SetUp() override { ASSERT_TRUE(SimResetAll()); }

    std::string Port(int device) const override { return sim_->LinkPath(device); }
    std::string NoPort(int device) const override { return Port(device) + ": no such port"; }
    std::string File(const std::string& text) override
    {
        std::ofstream(file_, std::ios::binary) << text;
        return file_;
    }
    bool IsWindows() const override { return false; }
    // Runs qsync through the shell, as the user types it; `whenSaid` runs once standard error holds
    // `said` (at once when `said` is empty) and may signal child_. asNobody drops root first.
    QsyncResult Run(const std::string& arguments, const std::string& said = "",
                    const std::function<void()>& whenSaid = nullptr) override
    {
        return RunAs(arguments, said, whenSaid, "", file_);
    }
    // `wrapper` runs qsync (nohup, env ...); NOBODY in it drops root. Standard input is `input`,
    // opened for writing too, so that a pipe there never ends. A death by a signal is its negative.
    QsyncResult RunAs(const std::string& arguments, const std::string& said,
                      const std::function<void()>& whenSaid, std::string wrapper,
                      const std::string& stdinPath)
    {
        const std::string outPath = file_ + ".out";
        if (wrapper.find("NOBODY") != std::string::npos)
            wrapper.replace(wrapper.find("NOBODY"), 6,
                            "setpriv --reuid=nobody --regid=nogroup --clear-groups");
        const std::string command = "exec " + wrapper + " " + dir_->path + "/qsync " + arguments;
        int err[2];
        EXPECT_EQ(pipe(err), 0);
        child_ = fork();
        if (child_ == 0) {
            const int input = open(stdinPath.c_str(), O_RDWR);
            dup2(input >= 0 ? input : open("/dev/null", O_RDONLY), STDIN_FILENO);
            dup2(open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDOUT_FILENO);
            dup2(err[1], STDERR_FILENO);
            execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(err[1]);
        QsyncResult result{-1, "", ""};
        bool pending = static_cast<bool>(whenSaid);
        char chunk[512];
        for (ssize_t n = 0;; result.err.append(chunk, static_cast<size_t>(n))) {
            // An empty `said` is found at once.
            if (pending && result.err.find(said) != std::string::npos) {
                pending = false;
                whenSaid();
            }
            if ((n = read(err[0], chunk, sizeof chunk)) <= 0)
                break;
        }
        close(err[0]);
        EXPECT_FALSE(pending) << "never said: " << said;
        int status = 0;
        waitpid(child_, &status, 0);
        result.code = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
        result.out = ReadWhole(outPath, true);
        unlink(outPath.c_str());
        return result;
    }

    static constexpr gid_t kGroup = 20;  // the group of the device file its group may open
    static simtest::SimProcess* sim_;
    static simtest::TempDir* dir_;
    std::string file_ = "/tmp/qsync_native_test_" + std::to_string(getpid()) + ".ini";
    pid_t child_ = -1;
};

simtest::SimProcess* NativeQsync::sim_ = nullptr;
simtest::TempDir* NativeQsync::dir_ = nullptr;

// The line as another program left it: the flags, the speed and the control characters of its
// termios as one text, so that two compare at once and a failure shows every field.
std::string LineOf(const std::string& path)
{
    termios line = {};
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    EXPECT_GE(fd, 0) << path;
    EXPECT_EQ(tcgetattr(fd, &line), 0);
    close(fd);
    std::string text;
    for (unsigned long field : {line.c_iflag, line.c_oflag, line.c_cflag, line.c_lflag, cfgetospeed(&line)})
        text += std::to_string(field) + " ";
    return text + std::string(reinterpret_cast<const char*>(line.c_cc), sizeof line.c_cc);
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
// Behind a USB adapter's latency timer the paced replies reach the port in bursts, up to 32 ms
// apart, longer than the reads' 10 ms interval: read and written right at every setting all the
// same (a write first has register '0' spoilt, so that it has something to put right).
TEST_F(NativeQsync, ThePortIsPutBackAndHeldAlone)
{
    constexpr const char* kWriteInterrupted =
        "interrupted during the write: the device may hold old and new values; write again";
    constexpr const char* kWritten = "PORT1: written and verified\n";
    constexpr const char* kRigWritten = "PORT1: written and verified\nPORT2: written and verified\n";
    static const std::string body = Lf(kPowerOnSettingsBody);  // as Linux prints it
    const char* kBody = body.c_str();
    // Standard input a pipe that never ends; a device node of /dev/null's and one of /dev/zero's.
    constexpr const char* kFromPipe = "write PORT1 -";
    constexpr const char* kOwnDev =
        "unshare -m sh -c 'mount -t tmpfs none /dev && mknod -m 600 /dev/ttyUSB0 c 1 3 "
        "&& mknod -m 666 /dev/ttyS1 c 1 5 && exec \"$@\"' sh NOBODY";
    struct Row {
        std::string what;
        std::string sim;  // ';'-separated, first, after "line 1 4800 8N2" and "pace off"
        const char* arguments;
        const char* wrapper;  // what runs qsync; NOBODY: as the user nobody (root passes every check)
        bool lockFirst;       // another program holds the device's lock
        int signal;  // sent once the device has taken five frames (once qsync reads the pipe kFromPipe)
        int code;    // a death by a signal as its negative
        const char* err;
        const char* out;  // standard output; with code 0 the device then holds the power-on file
    };
    std::vector<Row> rows = {
        {"a read", "", "read PORT1", "", false, 0, 0, "", kBody},
        {"a device held by another program", "", "read PORT1", "", true, 0, 1, ": Serial port in use", ""},
        {"a cable pulled during a read", "pull 1 4", "read PORT1", "", false, 0, 1,
         ": no answer from the synchronizer at register", ""},
        {"a device only its owner may open", "", "read LOCKED", "NOBODY", false, 0, 1,
         "LOCKED: Permission denied: owner root, group root, mode 600\n", ""},
        {"a device its group may open", "", "read GROUPED", "NOBODY", false, 0, 1,
         "GROUPED: Permission denied: add yourself to the GROUPNAME group (sudo usermod -aG GROUPNAME "
         "$USER)",
         ""},
        {"find as another user", "", "find --wait 1", kOwnDev, false, 0, 1,
         "qsync: /dev/ttyUSB0: skipped: Permission denied\nqsync: /dev/ttyS1: skipped: not a serial port\n"
         "qsync: find: no port could be opened\n",
         ""},
        {"SIGINT mid-write", "", "write PORT1 FILE", "", false, SIGINT, -SIGINT, kWriteInterrupted, ""},
        {"SIGTERM mid-write", "", "write PORT1 FILE", "", false, SIGTERM, -SIGTERM, kWriteInterrupted, ""},
        {"SIGHUP mid-write", "", "write PORT1 FILE", "", false, SIGHUP, -SIGHUP, kWriteInterrupted, ""},
        {"SIGQUIT mid-write", "", "write PORT1 FILE", "", false, SIGQUIT, -SIGQUIT, kWriteInterrupted, ""},
        {"SIGHUP under nohup", "", "write PORT1 FILE", "nohup", false, SIGHUP, 0, "", kWritten},
        {"SIGINT while standard input is read", "", kFromPipe, "", false, SIGINT, -SIGINT,
         "interrupted before anything was sent: nothing was changed\n", ""},
        // Sent to qsync alone, not to a terminal's whole group: each worker stops too.
        {"SIGINT to a rig mid-write", "", "write PORT1,PORT2 FILE", "", false, SIGINT, -SIGINT, "", ""},
        {"a rig started with SIGCHLD ignored", "", "write PORT1,PORT2 FILE",
         "bash -c 'trap \"\" CHLD; exec \"$@\"' sh", false, 0, 0, "", kRigWritten},
        // The workers hold qsync's standard error too: the run ends once they have gone.
        {"a rig killed mid-write", "", "write PORT1,PORT2 FILE", "", false, SIGKILL, -SIGKILL, "", ""},
        {"a worker with no result in its time", "mode 1 delay 900", "verify PORT1,PORT2 FILE",
         "env QSYNC_TEST_RESULT_SECONDS=4", false, 0, 1, "", "PORT1: no result after 4 s: stopped\n"},
    };
    for (const std::string ms : {"1", "12", "16", "20", "32"}) {
        const std::string latency = "pace on;mode 1 latency " + ms;
        rows.push_back({"a read, " + ms + " ms adapter", latency, "read PORT1", "", false, 0, 0, "", kBody});
        rows.push_back({"a write, " + ms + " ms adapter", "setreg 1 30 39 39;" + latency, "write PORT1 FILE",
                        "", false, 0, 0, "", kWritten});
    }
    const group* grouped = getgrgid(kGroup);
    const std::vector<std::pair<std::string, std::string>> names = {
        {"LOCKED", dir_->path + "/locked"},
        {"GROUPED", dir_->path + "/grouped"},
        {"GROUPNAME", grouped ? grouped->gr_name : std::to_string(kGroup)}};
    for (const auto& row : rows) {
        if (std::string(row.wrapper).find("NOBODY") != std::string::npos && geteuid() != 0)
            continue;
        SCOPED_TRACE(row.what);
        ASSERT_TRUE(SimResetAll());
        const RegisterImage powerOn = DeviceImage(1);
        ASSERT_TRUE(SimCommand("line 1 4800 8N2").ok && SimCommand("pace off").ok);
        const std::string before = LineOf(Port(1));
        std::istringstream commands(row.sim);
        for (std::string command; std::getline(commands, command, ';');)
            ASSERT_TRUE(SimCommand(command).ok) << command;
        const int holder = open(Port(1).c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(holder, 0);
        if (row.lockFirst) {
            ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
        }
        // The signal waits for the write to be under way (five frames taken by the device), or for
        // qsync to wait on the pipe: a read of descriptor 0.
        const bool fromPipe = std::string(row.arguments) == kFromPipe;
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        const std::function<void()> signalMidWrite = [&] {
            const std::string syscall = "/proc/" + std::to_string(child_) + "/syscall";
            while ((fromPipe ? ReadWhole(syscall, true).rfind("0 0x0 ", 0) != 0 : SimFrames(1).size() < 5) &&
                   std::chrono::steady_clock::now() < giveUp) {
            }
            kill(child_, row.signal);
        };
        std::string arguments = Expand(*this, row.arguments, kPowerOnSettingsBody), err = row.err;
        for (std::string* text : {&arguments, &err}) {
            for (const auto& [token, value] : names) {
                for (size_t at; (at = text->find(token)) != std::string::npos;)
                    text->replace(at, token.size(), value);
            }
        }
        const QsyncResult result = RunAs(arguments, "", row.signal ? signalMidWrite : nullptr, row.wrapper,
                                         fromPipe ? dir_->path + "/fifo" : file_);
        close(holder);
        EXPECT_EQ(result.code, row.code) << result.err;
        EXPECT_NE(result.err.find(err), std::string::npos) << result.err;
        EXPECT_NE(result.out.find(Expand(*this, row.out)), std::string::npos) << result.out;
        if (row.code == 0) {
            EXPECT_EQ(DeviceImage(1), powerOn);
        }
        if (row.sim.find("pull") == std::string::npos) {  // a pulled cable gives a new pty
            EXPECT_EQ(before, LineOf(Port(1)));
        }
        if (row.lockFirst || fromPipe) {
            EXPECT_EQ(SimFrames(1), std::vector<std::string>{});
        } else if (row.signal && row.code != 0) {  // stopped: the write never reached its end
            EXPECT_LT(SimFrames(1).size(), 2u + 47u + 47u);
        }
    }
    EXPECT_TRUE(SimCommand("pace off").ok);
}

// Output lands on what the user named, and only there: in a folder of its own, each row makes its
// nodes and links (never /dev's own: a row run as root with the fix undone damages nothing), runs
// qsync, and checks the folder with the shell. A FIFO is read by this process, opened before qsync
// runs. Rows that make device nodes need root.
TEST_F(NativeQsync, OutputLandsOnWhatTheUserNamed)
{
    const struct {
        const char* make;  // shell, in the folder
        const char* arguments;
        int code;
        const char* err;    // DIR: the folder
        const char* check;  // shell, in the folder: exit 0 when all is as it must be
        bool nothingSent;
    } rows[] = {
        {"echo old >target.ini && ln -s target.ini link.ini", "read PORT1 -o DIR/link.ini", 0, "",
         "test -L link.ini && grep -q '^model = 5' target.ini", false},
        {"ln -s made.ini dangling.ini", "read PORT1 -o DIR/dangling.ini", 0, "",
         "test -L dangling.ini && grep -q '^model = 5' made.ini", false},
        {"echo old >private.ini && chmod 600 private.ini", "read PORT1 -o DIR/private.ini", 0, "",
         "test $(stat -c %a private.ini) = 600 && grep -q '^model = 5' private.ini", false},
        {"mkfifo fifo", "read PORT1 -o DIR/fifo", 0, "", "test -p fifo", false},
        {"mknod full c 1 7", "read PORT1 -o DIR/full", 2, "DIR/full: can't write: No space left on device",
         "test -c full", false},
        {"mknod full c 1 7", "read PORT1 --trace DIR/full", 2,
         "DIR/full: can't write: No space left on device", "test -c full", false},
        {"mknod block b 7 0", "read PORT1 -o DIR/block", 2, "DIR/block: can't write: a block device",
         "test -b block", true},
        {"mkdir folder", "read PORT1 -o DIR/folder", 2, "DIR/folder: can't write: Is a directory",
         "test -d folder", true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.arguments + std::string(" after ") + row.make);
        simtest::TempDir dir;
        const std::string in = "cd " + dir.path + " && ";
        if (std::system((in + row.make).c_str()) != 0) {
            EXPECT_NE(geteuid(), 0u) << "root could not " << row.make;  // a user may not make nodes
            continue;
        }
        ASSERT_TRUE(SimResetAll());
        const int fifo = open((dir.path + "/fifo").c_str(), O_RDONLY | O_NONBLOCK);
        std::string arguments = Expand(*this, row.arguments), err = row.err;
        for (std::string* text : {&arguments, &err}) {
            if (text->find("DIR") != std::string::npos)
                text->replace(text->find("DIR"), 3, dir.path);
        }
        const QsyncResult result = Run(arguments);
        EXPECT_EQ(result.code, row.code) << result.err;
        EXPECT_NE(result.err.find(err), std::string::npos) << result.err;
        EXPECT_EQ(std::system((in + row.check).c_str()), 0) << row.check;
        if (fifo >= 0) {
            char text[4096];
            const ssize_t n = read(fifo, text, sizeof text);
            EXPECT_NE(std::string(text, n > 0 ? static_cast<size_t>(n) : 0).find("\nmodel = 5"),
                      std::string::npos);
            close(fifo);
        }
        if (row.nothingSent) {
            EXPECT_EQ(SimFrames(1), std::vector<std::string>{});
        }
    }
}

}  // namespace
