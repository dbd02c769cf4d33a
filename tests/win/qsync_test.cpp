// qsync.exe run as a child process against the device simulator: its exit codes and outputs, and
// what the devices received and hold.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "link/settings_file.h"
#include "tests/support/power_on_settings.h"
#include "tests/support/register_image.h"
#include "tests/support/sim_control.h"

#ifndef QSYNC_EXE
#define QSYNC_EXE "qsync.exe"
#endif

namespace {

constexpr const char* kPowerOnBody = kPowerOnSettingsBody;

// The power-on file with some lines replaced: {"channel = 1", "channel = 7"}.
std::string Edited(const std::vector<std::pair<std::string, std::string>>& changes)
{
    std::string text = kPowerOnBody;
    for (const auto& [from, to] : changes) {
        const size_t at = text.find(from + "\r\n");
        if (at != std::string::npos)
            text.replace(at, from.size(), to);
        else
            ADD_FAILURE() << "no line " << from;
    }
    return text;
}

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

std::string ReadWholeFile(const std::string& path)
{
    std::string text;
    FILE* file = fopen(path.c_str(), "rb");
    if (!file)
        return text;
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, file)) > 0)
        text.append(chunk, n);
    fclose(file);
    return text;
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
        CloseHandle(errWrite);
        if (startup.hStdInput != INVALID_HANDLE_VALUE)
            CloseHandle(startup.hStdInput);  // the pipe ends when the child's copy closes
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
        out_ = ReadWholeFile(outPath_);
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

struct Result {
    int code;
    std::string out, err;
};

Result RunQsync(const std::string& arguments, const std::string& input = "")
{
    Child child(arguments, input);
    const int code = child.Finish();
    return Result{code, child.out(), child.err()};
}

// The registers a device holds after a save of the file (model and channel as `model`, `channel`
// when they are not written).
RegisterImage EncodedRegisters(const std::string& fileText)
{
    SettingsFileFields f = {};
    char err[200];
    EXPECT_TRUE(ParseSettingsFile(fileText.data(), fileText.size(), &f, err, sizeof err)) << err;
    return EncodeImage({f.model,
                        f.channel,
                        f.startFrame,
                        f.endFrame,
                        BaudCodeOfRate(f.baud),
                        f.synchronize,
                        {f.initStrings[0], f.initStrings[1], f.initStrings[2], f.initStrings[3]},
                        f.comment});
}

class Qsync : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SimResetAll()) << "is the simulator up (tools/bench up)?"; }
    void TearDown() override
    {
        SimResetAll();
        DeleteFileA(file_.c_str());
    }
    // A settings file for the command line; "FILE" in arguments names it.
    std::string WithFile(const std::string& arguments, const std::string& text)
    {
        WriteFile(file_, text);
        std::string line = arguments;
        const size_t at = line.find("FILE");
        if (at != std::string::npos)
            line.replace(at, 4, "\"" + file_ + "\"");
        return line;
    }
    std::string file_ = TempPath("settings.ini");
};

// Without its first line: the time it was read.
std::string Body(const std::string& fileText)
{
    const size_t eol = fileText.find("\r\n");
    return eol == std::string::npos ? std::string() : fileText.substr(eol + 2);
}

TEST_F(Qsync, ReadWritesTheFileALoadShowsAndWritingItBackChangesNoRegister)
{
    const auto before = DeviceImage(1);
    const Result printed = RunQsync("read COM1");
    ASSERT_EQ(printed.code, 0) << printed.err;
    EXPECT_EQ(printed.out.rfind("; read from COM1 on 20", 0), 0u) << printed.out;
    EXPECT_EQ(Body(printed.out), kPowerOnBody);

    const Result saved = RunQsync(WithFile("read COM1 -o FILE", ""));
    ASSERT_EQ(saved.code, 0) << saved.err;
    EXPECT_EQ(saved.out, "");
    EXPECT_EQ(Body(ReadWholeFile(file_)), kPowerOnBody);

    ASSERT_TRUE(SimClear(1));
    const Result written = RunQsync(WithFile("write COM1 FILE", ReadWholeFile(file_)));
    EXPECT_EQ(written.code, 0) << written.err;
    EXPECT_EQ(written.out, "COM1: written and verified\r\n");
    EXPECT_EQ(DeviceImage(1), before);
    EXPECT_EQ(SimFrames(1).size(), 2u + 47u + 47u);  // handshake, writes and read-back without '?' '>'
}

// Each edited file is written, holds in the device what the save encodes, and verifies.
TEST_F(Qsync, AnEditedFileIsWrittenAndThenVerifies)
{
    const struct {
        const char* what;
        std::string text;
        const char* option;
    } rows[] = {
        {"a clone on another channel",
         Edited({{"channel = 1", "channel = 7"}, {"comment = \"QSIM\"", "comment = \"clone 7\""}}),
         " --model-channel"},
        {"every field",
         Edited({{"model = 5", "model = 12"},
                 {"channel = 1", "channel = 99"},
                 {"baud = 9600", "baud = 1200"},
                 {"start_frame = 1", "start_frame = 53999"},
                 {"end_frame = 500", "end_frame = 2"},
                 {"synchronize = yes", "synchronize = no"},
                 {"init1 = \"0KL0DS\"", "init1 = \"AT\\n\\x7F\xC3\xA9\""},
                 {"comment = \"QSIM\"", "comment = \"fifteen chars!!\""}}),
         " --model-channel"},
        // The device packs the strings: a verify compares what it keeps.
        {"an empty init string before others",
         Edited({{"init1 = \"0KL0DS\"", "init1 = \"\""}, {"init3 = \"\"", "init3 = \"B\""}}), ""},
        {"a clone that keeps its own channel", Edited({{"channel = 1", "channel = 2"}}), ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        ASSERT_TRUE(SimResetAll());
        RegisterImage expected = EncodedRegisters(row.text), before = DeviceImage(2);
        if (!*row.option)  // a clone keeps the target's model and channel
            expected['?'] = before['?'], expected['>'] = before['>'];
        const Result written = RunQsync(WithFile(std::string("write COM2 FILE") + row.option, row.text));
        EXPECT_EQ(written.code, 0) << written.err;
        EXPECT_EQ(DeviceImage(2), expected);
        const Result verified = RunQsync(WithFile("verify COM2 FILE", row.text));
        EXPECT_EQ(verified.code, 0) << verified.out;
        EXPECT_EQ(verified.out, "COM2 holds the settings of " + file_ + "\r\n");
    }
}

// Every way a command ends other than success: its exit code, its words, and whether anything
// reached the device.
TEST_F(Qsync, EachFailureHasItsExitCodeAndMessage)
{
    const std::string base = kPowerOnBody;
    const struct {
        const char* what;
        std::vector<std::string> sim;  // commands to the simulator first
        std::string arguments;
        std::string file;
        int code;
        const char* out;  // found in standard output
        const char* err;  // found in standard error
        bool nothingSent;
    } rows[] = {
        {"a changed register",
         {"setreg 1 3e 30 39"},
         "verify COM1 FILE --model-channel",
         base,
         3,
         "channel: file 1, device 9",
         "",
         false},
        {"another channel, not compared",
         {"setreg 1 3e 30 39"},
         "verify COM1 FILE",
         base,
         0,
         "COM1 holds",
         "COM1 is model 5, channel 9; the file says model 5, channel 1 (compared only with --model-channel)",
         false},
        {"the device namespace", {}, "verify \\\\.\\COM1 FILE", base, 0, "COM1 holds", "", false},
        {"a silent device read",
         {"mode 1 silent"},
         "read COM1",
         "",
         1,
         "",
         "Bad Data in Synchronizer (version = 0,0)",
         false},
        {"a silent device read into a file",
         {"mode 1 silent"},
         "read COM1 -o FILE",
         base,
         1,
         "",
         "Bad Data",
         false},
        {"a file that cannot be written",
         {},
         "read COM1 -o no_such_qsync_dir\\x.ini",
         "",
         2,
         "",
         "Can't write no_such_qsync_dir\\x.ini: ",
         false},
        {"dead in init", {"mode 1 stopafter 20"}, "read COM1", "", 1, "", "(init strings = 7,7)", false},
        {"a silent device written",
         {"mode 1 silent"},
         "write COM1 FILE",
         base,
         1,
         "",
         "Can't write to port at register 0 (start frame): no answer to the read-back",
         false},
        {"an unplugged port", {"unplug 1"}, "write COM1 FILE", base, 1, "", "Can't open COM1", true},
        // The cable pulled as the write of '6' arrives, after the handshake and six writes.
        {"a cable pulled during the write",
         {"pull 1 9"},
         "write COM1 FILE",
         base,
         1,
         "",
         "Can't write to port at register 6 (baud and flags)",
         false},
        {"an unplugged port listened to",
         {"unplug 4"},
         "find --port COM4 --wait 1",
         "",
         1,
         "",
         "Can't open COM4",
         true},
        {"another channel, written",
         {"setreg 1 3e 30 39"},
         "write COM1 FILE --model-channel",
         Edited({{"channel = 1", "channel = 2"}}),
         0,
         "COM1: written and verified",
         "",
         false},
        // Each pair read back as its second character twice: '2' holds "10", reads "00".
        {"a register read back otherwise",
         {"mode 1 shape bbnr"},
         "write COM1 FILE",
         base,
         1,
         "",
         "Save failed (data doesn't match) at register 2 (start frame)",
         false},
        {"a refused file",
         {},
         "write COM1 FILE",
         Edited({{"channel = 1", "channel = 100"}}),
         2,
         "",
         "line 3: channel",
         true},
        {"a refused file from standard input",
         {},
         "write COM1 -",
         Edited({{"channel = 1", "channel = 100"}}),
         2,
         "",
         "standard input: line 3: channel",
         true},
        {"a refused file verified",
         {},
         "verify COM1 FILE",
         "[synchronizer]\r\nmodel = 5\r\n",
         2,
         "",
         "line ",
         true},
        {"a file that is not there",
         {},
         "write COM1 no_such_qsync_file.ini",
         "",
         2,
         "",
         "Can't read no_such_qsync_file.ini",
         true},
        {"not a serial port", {}, "read LPT1", "", 2, "", "LPT1 is not a serial port", true},
        {"a missing word", {}, "write COM1", "", 2, "", "usage: qsync write", true},
        {"an option of another command",
         {},
         "read COM1 --wait 3",
         "",
         2,
         "",
         "--wait is not an option of read",
         true},
        {"an unknown command", {}, "erase COM1", "", 2, "", "unknown command erase", true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        ASSERT_TRUE(SimResetAll());
        for (const std::string& command : row.sim)
            ASSERT_TRUE(SimCommand(command).ok) << command;
        const Result result = RunQsync(WithFile(row.arguments, row.file), file_);
        EXPECT_EQ(result.code, row.code) << result.out << result.err;
        // An empty text: nothing on that stream.
        EXPECT_TRUE(*row.out ? result.out.find(row.out) != std::string::npos : result.out.empty())
            << result.out;
        EXPECT_TRUE(*row.err ? result.err.find(row.err) != std::string::npos : result.err.empty())
            << result.err;
        EXPECT_EQ(ReadWholeFile(file_), row.file);     // a failed read -o FILE leaves it as it was
        const size_t com = row.arguments.find("COM");  // the device the row addresses
        if (row.nothingSent) {
            EXPECT_EQ(SimFrames(com == std::string::npos ? 1 : row.arguments[com + 3] - '0'),
                      std::vector<std::string>{});
        }
    }
}

// show sends nothing and lists what a write would send, in the order a save writes.
TEST_F(Qsync, ShowListsTheFramesAWriteWouldSend)
{
    const Result plain = RunQsync(WithFile("show FILE", kPowerOnBody));
    ASSERT_EQ(plain.code, 0) << plain.err;
    EXPECT_EQ(
        plain.out.rfind("W 0 \"00\"\r\nW 1 \"00\"\r\nW 2 \"10\"\r\nW 3 \"00\"\r\nW 4 \"50\"\r\nW 5 \"00\"\r\n"
                        "W 6 \"7<\"\r\nW P \"0K\"\r\nW Q \"L0\"\r\nW R \"DS\"\r\nW S \"\\r\\x07\"\r\n",
                        0),
        0u)
        << plain.out;
    EXPECT_NE(plain.out.find("W H \"QS\"\r\nW I \"IM\"\r\nW J \"\\x07\\x07\"\r\n"), std::string::npos);
    EXPECT_NE(plain.out.find("47 registers written, then 47 read back and compared"), std::string::npos);
    const Result both = RunQsync(WithFile("show FILE --model-channel", kPowerOnBody));
    EXPECT_EQ(both.out.rfind("W ? \"05\"\r\nW 0 \"00\"\r\n", 0), 0u) << both.out;
    EXPECT_NE(both.out.find("W 5 \"00\"\r\nW > \"01\"\r\nW 6 \"7<\"\r\n"), std::string::npos) << both.out;
    EXPECT_NE(both.out.find("49 registers written"), std::string::npos);
    for (int device = 1; device <= 4; ++device)
        EXPECT_EQ(SimFrames(device), std::vector<std::string>{});
}

// find prints the port whose banner it heard: on the named port, or on the first port that passes
// the probe and hears one (COM1 and COM2 absent here). The banner is sent once qsync says it
// listens: one sent earlier is drained by the open, as in the window program.
TEST_F(Qsync, FindPrintsThePortOfTheBannerOrSaysNotFound)
{
    const struct {
        const char* arguments;
        std::vector<std::string> sim;
        int device;  // whose banner, 0 for none; below 0, whose cable is pulled while it listens
        int code;
        const char* out;
        const char* err;
    } rows[] = {
        {"find --port COM2 --wait 20", {}, 2, 0, "COM2\r\n", "listening on COM2"},
        {"find --wait 20", {"unplug 1", "unplug 2"}, 3, 0, "COM3\r\n", "listening on COM3"},
        {"find --port COM2 --wait 2", {}, 0, 1, "", "Synchronizer Not Found"},
        {"find --port COM2 --wait 20", {}, -2, 1, "", "Can't read COM2"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.arguments);
        ASSERT_TRUE(SimResetAll());
        for (const std::string& command : row.sim)
            ASSERT_TRUE(SimCommand(command).ok) << command;
        Child child(row.arguments);
        if (row.device) {
            const int device = row.device > 0 ? row.device : -row.device;
            ASSERT_TRUE(child.WaitForMessage("listening on COM" + std::to_string(device))) << child.err();
            ASSERT_TRUE(row.device > 0 ? SimReset(device) : SimCommand("pull " + std::to_string(device)).ok);
        }
        EXPECT_EQ(child.Finish(), row.code) << child.err();
        EXPECT_EQ(child.out(), row.out);
        EXPECT_NE(child.err().find(row.err), std::string::npos) << child.err();
    }
}

}  // namespace
