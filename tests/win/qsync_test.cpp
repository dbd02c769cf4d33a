// qsync.exe run as a child process against the device simulator: its exit codes and outputs, and
// what the devices received and hold.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/qsync_rows.h"
#include "tests/support/sim_control.h"

#ifndef QSYNC_EXE
#define QSYNC_EXE "qsync.exe"
#endif

namespace {

std::string TempPath(const char* name)
{
    char dir[MAX_PATH];
    GetTempPathA(sizeof dir, dir);
    return std::string(dir) + "qsync_test_" + std::to_string(GetCurrentProcessId()) + "_" + name;
}

void WriteFile(const std::string& path, const std::string& text)
{
    FILE* file = fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    fwrite(text.data(), 1, text.size(), file);
    fclose(file);
}

// One qsync.exe: standard output into a file, standard error through a pipe that the test reads
// as the program writes it (so a test can wait for "listening on").
class Child {
public:
    explicit Child(const std::string& arguments, const std::string& input = "")
        : outPath_(TempPath("stdout.txt"))
    {
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
        HANDLE errWrite = nullptr;
        HANDLE out = CreateFileA(outPath_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0,
                                 nullptr);
        if (out == INVALID_HANDLE_VALUE || !CreatePipe(&errRead_, &errWrite, &inherit, 0)) {
            ADD_FAILURE() << "cannot redirect qsync's output";
            return;
        }
        SetHandleInformation(errRead_, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = input.empty() ? INVALID_HANDLE_VALUE
                                          : CreateFileA(input.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                                        &inherit, OPEN_EXISTING, 0, nullptr);
        startup.hStdOutput = out;
        startup.hStdError = errWrite;
        std::string commandLine = std::string("\"") + QSYNC_EXE + "\" " + arguments;
        PROCESS_INFORMATION info = {};
        if (CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                           nullptr, &startup, &info)) {
            process_ = info.hProcess;
            CloseHandle(info.hThread);
        } else {
            ADD_FAILURE() << "cannot start " << commandLine;
        }
        CloseHandle(out);
        CloseHandle(errWrite);  // the pipe ends when the child's copy closes
        if (startup.hStdInput != INVALID_HANDLE_VALUE)
            CloseHandle(startup.hStdInput);
    }
    ~Child()
    {
        if (errRead_)
            CloseHandle(errRead_);
        if (process_)
            CloseHandle(process_);
        DeleteFileA(outPath_.c_str());
    }

    // Reads standard error until it holds `text`; false when the program ended without it.
    bool WaitForMessage(const std::string& text)
    {
        while (err_.find(text) == std::string::npos) {
            if (!ReadSomeError())
                return false;
        }
        return true;
    }

    // Waits for the end; the exit code, or -1 when the program did not start.
    int Finish()
    {
        if (!process_)
            return -1;
        while (ReadSomeError()) {
        }
        WaitForSingleObject(process_, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(process_, &code);
        out_ = ReadWhole(outPath_, true);
        return static_cast<int>(code);
    }

    const std::string& out() const { return out_; }
    const std::string& err() const { return err_; }

private:
    bool ReadSomeError()
    {
        char chunk[512];
        DWORD n = 0;
        if (!errRead_ || !ReadFile(errRead_, chunk, sizeof chunk, &n, nullptr) || n == 0)
            return false;
        err_.append(chunk, n);
        return true;
    }

    std::string outPath_;
    HANDLE errRead_ = nullptr;
    HANDLE process_ = nullptr;
    std::string out_, err_;
};

// qsync.exe under Wine: COM1..COM4 are the simulator's devices.
class Qsync : public ::testing::Test, public QsyncHost {
protected:
    void SetUp() override { ASSERT_TRUE(SimResetAll()) << "is the simulator up (tools/bench up)?"; }
    void TearDown() override
    {
        SimResetAll();
        DeleteFileA(file_.c_str());
        DeleteFileA(input_.c_str());
    }
    std::string Port(int device) const override { return "COM" + std::to_string(device); }
    std::string NoPort(int device) const override { return "Can't open COM" + std::to_string(device); }
    QsyncResult Run(const std::string& arguments, const std::string& said = "",
                    const std::function<void()>& whenSaid = nullptr) override
    {
        WriteFile(input_, ReadWhole(file_, true));  // a copy: qsync may replace file_ while it runs
        Child child(arguments, input_);
        if (!said.empty()) {
            EXPECT_TRUE(child.WaitForMessage(said)) << child.err();
            whenSaid();
        }
        const int code = child.Finish();
        return QsyncResult{code, child.out(), child.err()};
    }
    std::string File(const std::string& text) override
    {
        WriteFile(file_, text);
        return file_;
    }
    bool IsWindows() const override { return true; }
    std::string file_ = TempPath("settings.ini");
    std::string input_ = TempPath("stdin.ini");
};

TEST_F(Qsync, ReadWritesTheFileALoadShowsAndWritingItBackChangesNoRegister)
{
    CheckReadAndWriteBack(*this);
}

TEST_F(Qsync, AnEditedFileIsWrittenAndThenVerifies)
{
    CheckEditedFiles(*this);
}

TEST_F(Qsync, EachFailureHasItsExitCodeAndMessage)
{
    CheckFailures(*this);
}

// show sends nothing and lists what a write would send, in the order a save writes.
TEST_F(Qsync, ShowListsTheFramesAWriteWouldSend)
{
    const QsyncResult plain = Run(Expand(*this, "show FILE", kPowerOnSettingsBody));
    ASSERT_EQ(plain.code, 0) << plain.err;
    EXPECT_EQ(
        plain.out.rfind("W 0 \"00\"\r\nW 1 \"00\"\r\nW 2 \"10\"\r\nW 3 \"00\"\r\nW 4 \"50\"\r\nW 5 \"00\"\r\n"
                        "W 6 \"7<\"\r\nW P \"0K\"\r\nW Q \"L0\"\r\nW R \"DS\"\r\nW S \"\\r\\x07\"\r\n",
                        0),
        0u)
        << plain.out;
    EXPECT_NE(plain.out.find("W H \"QS\"\r\nW I \"IM\"\r\nW J \"\\x07\\x07\"\r\n"), std::string::npos);
    EXPECT_NE(plain.out.find("47 registers written, then 47 read back and compared"), std::string::npos);
    const QsyncResult both = Run(Expand(*this, "show FILE --model-channel", kPowerOnSettingsBody));
    EXPECT_EQ(both.out.rfind("W ? \"05\"\r\nW 0 \"00\"\r\n", 0), 0u) << both.out;
    EXPECT_NE(both.out.find("W 5 \"00\"\r\nW > \"01\"\r\nW 6 \"7<\"\r\n"), std::string::npos) << both.out;
    EXPECT_NE(both.out.find("49 registers written"), std::string::npos);
    for (int device = 1; device <= 4; ++device)
        EXPECT_EQ(SimFrames(device), std::vector<std::string>{});
}

TEST_F(Qsync, FindPrintsThePortOfTheBannerOrSaysNotFound)
{
    CheckFind(*this);
}

}  // namespace
