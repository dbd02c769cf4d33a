// qsync.exe run as a child process against the device simulator: its exit codes and outputs, and
// what the devices received and hold.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
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
    EXPECT_TRUE(std::ofstream(path, std::ios::binary) << text) << path;
}

// One run of qsync.exe: standard output into a file, standard error through a pipe that is read
// as the program writes it, so that `whenSaid` runs once it holds `said` (a "listening for").
QsyncResult RunQsync(const std::string& arguments, const std::string& input, const std::string& said,
                     const std::function<void()>& whenSaid)
{
    const std::string outPath = TempPath("stdout.txt");
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE errRead = nullptr, errWrite = nullptr;
    HANDLE out =
        CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    QsyncResult result{-1, "", ""};
    if (out == INVALID_HANDLE_VALUE || !CreatePipe(&errRead, &errWrite, &inherit, 0)) {
        ADD_FAILURE() << "cannot redirect qsync's output";
        return result;
    }
    SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput =
        CreateFileA(input.c_str(), GENERIC_READ, FILE_SHARE_READ, &inherit, OPEN_EXISTING, 0, nullptr);
    startup.hStdOutput = out;
    startup.hStdError = errWrite;
    std::string commandLine = std::string("\"") + QSYNC_EXE + "\" " + arguments;
    PROCESS_INFORMATION info = {};
    const bool started = CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                        nullptr, nullptr, &startup, &info);
    EXPECT_TRUE(started) << "cannot start " << commandLine;
    CloseHandle(out);
    CloseHandle(errWrite);  // the pipe ends when the child's copy closes
    CloseHandle(startup.hStdInput);
    bool pending = static_cast<bool>(whenSaid);
    char chunk[512];
    for (DWORD n = 0;; result.err.append(chunk, n)) {
        if (pending && result.err.find(said) != std::string::npos) {
            pending = false;
            whenSaid();
        }
        if (!ReadFile(errRead, chunk, sizeof chunk, &n, nullptr) || n == 0)
            break;
    }
    CloseHandle(errRead);
    EXPECT_FALSE(pending) << "never said: " << said << "\n" << result.err;
    if (started) {
        DWORD code = 0;
        WaitForSingleObject(info.hProcess, INFINITE);
        GetExitCodeProcess(info.hProcess, &code);
        result.code = static_cast<int>(code);
        CloseHandle(info.hProcess);
        CloseHandle(info.hThread);
    }
    result.out = ReadWhole(outPath, true);
    DeleteFileA(outPath.c_str());
    return result;
}

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
    std::string NoPort(int device) const override { return "COM" + std::to_string(device) + ": can't open"; }
    QsyncResult Run(const std::string& arguments, const std::string& said = "",
                    const std::function<void()>& whenSaid = nullptr) override
    {
        WriteFile(input_, ReadWhole(file_, true));  // a copy: qsync may replace file_ while it runs
        return RunQsync(arguments, input_, said, whenSaid);
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
