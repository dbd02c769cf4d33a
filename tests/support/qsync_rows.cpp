#include "tests/support/qsync_rows.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

#include "link/settings_file.h"
#include "tests/support/sim_control.h"

namespace {

void ReplaceAll(std::string& text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

}  // namespace

std::string Lf(std::string text)
{
    ReplaceAll(text, "\r\n", "\n");
    return text;
}

namespace {

// Every device put back, then the ';'-separated commands sent to the simulator.
void RunSimCommands(const std::string& commands)
{
    ASSERT_TRUE(SimResetAll());
    std::istringstream in(commands);
    for (std::string command; std::getline(in, command, ';');)
        ASSERT_TRUE(SimCommand(command).ok) << command;
}

}  // namespace

std::string ReadWhole(const std::string& path, bool mayBeMissing)
{
    std::ifstream stream(path, std::ios::binary);
    if (!stream && !mayBeMissing)
        ADD_FAILURE() << "cannot read " << path;
    return std::string((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
}

std::string Expand(QsyncHost& host, const std::string& text, const std::string& fileText)
{
    std::string expanded = text;
    for (int device = 1; device <= 4; ++device) {
        ReplaceAll(expanded, "NOPORT" + std::to_string(device), host.NoPort(device));
        ReplaceAll(expanded, "PORT" + std::to_string(device), host.Port(device));
    }
    if (expanded.find("FILE") != std::string::npos)
        ReplaceAll(expanded, "FILE", "\"" + host.File(fileText) + "\"");
    return expanded;
}

std::string Edited(const std::vector<std::pair<std::string, std::string>>& changes)
{
    std::string text = kPowerOnSettingsBody;
    for (const auto& [from, to] : changes) {
        const size_t at = text.find(from + "\r\n");
        if (at != std::string::npos)
            text.replace(at, from.size(), to);
        else
            ADD_FAILURE() << "no line " << from;
    }
    return text;
}

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

std::string Body(const std::string& fileText)
{
    const size_t eol = fileText.find('\n');
    return eol == std::string::npos ? std::string() : fileText.substr(eol + 1);
}

void CheckReadAndWriteBack(QsyncHost& host)
{
    ASSERT_TRUE(SimResetAll());
    const auto before = DeviceImage(1);
    const std::string trace = host.File("") + ".trace";  // every write and read, as the port made it
    const QsyncResult printed = host.Run(Expand(host, "--trace \"" + trace + "\" read PORT1"));
    ASSERT_EQ(printed.code, 0) << printed.err;
    const std::string traced = Lf(ReadWhole(trace, false));
    EXPECT_EQ(traced.find("# qsync "), 0u) << traced;  // the version, what was traced and when
    EXPECT_LT(traced.find(" trace of: qsync --trace "), traced.find('\n')) << traced;
    EXPECT_NE(traced.find(" TX 52 3F 0D \"R?\\r\"\n"), std::string::npos) << traced;
    EXPECT_NE(traced.find(" RX 30 35 0A 0D \"05\\n\\r\"\n"), std::string::npos) << traced;
    std::remove(trace.c_str());
    EXPECT_EQ(printed.out.rfind(Expand(host, "; read from PORT1 on 20"), 0), 0u) << printed.out;
    // A settings file ends its lines as the system's text files do.
    const std::string body = host.IsWindows() ? kPowerOnSettingsBody : Lf(kPowerOnSettingsBody);
    EXPECT_EQ(Body(printed.out), body);

    const std::string file = host.File("");
    const QsyncResult saved = host.Run(Expand(host, "read PORT1 -o FILE", ""));
    ASSERT_EQ(saved.code, 0) << saved.err;
    EXPECT_EQ(saved.out, "");
    const std::string text = ReadWhole(file, false);
    EXPECT_EQ(Body(text), body);

    ASSERT_TRUE(SimClear(1));
    const QsyncResult written = host.Run(Expand(host, "write PORT1 FILE", text));
    EXPECT_EQ(written.code, 0) << written.err;
    EXPECT_EQ(Lf(written.out), Expand(host, "PORT1: written and verified\n"));
    EXPECT_EQ(DeviceImage(1), before);
    EXPECT_EQ(SimFrames(1).size(), 2u + 47u + 47u);  // handshake, writes and read-back without '?' '>'
}

// Each edited file is written, holds in the device what the save encodes, and verifies.
void CheckEditedFiles(QsyncHost& host)
{
    const struct {
        const char* what;
        std::string text;
        const char* option;
        const char* otherPorts = "";  // written at once with PORT2, each keeping its model and channel
        const char* sim = "";
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
        {"a rig of three, each keeping its channel", Edited({{"comment = \"QSIM\"", "comment = \"rig\""}}),
         "", ",PORT1,PORT3", "setreg 1 3e 30 37;setreg 3 3e 31 32"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        ASSERT_NO_FATAL_FAILURE(RunSimCommands(row.sim));
        std::vector<std::pair<int, RegisterImage>> devices;
        for (int device : {2, 1, 3}) {
            if (device == 2 ||
                std::string(row.otherPorts).find("PORT" + std::to_string(device)) != std::string::npos)
                devices.push_back({device, DeviceImage(device)});
        }
        const QsyncResult written = host.Run(
            Expand(host, std::string("write PORT2") + row.otherPorts + " FILE" + row.option, row.text));
        EXPECT_EQ(written.code, 0) << written.out << written.err;
        for (const auto& [device, before] : devices) {
            RegisterImage expected = EncodedRegisters(row.text);
            if (!*row.option)  // a clone keeps the target's model and channel
                expected['?'] = before.at('?'), expected['>'] = before.at('>');
            EXPECT_EQ(DeviceImage(device), expected) << "device " << device;
        }
        const std::string file = host.File(row.text);
        const QsyncResult verified = host.Run(Expand(host, "verify PORT2 FILE", row.text));
        EXPECT_EQ(verified.code, 0) << verified.out;
        EXPECT_EQ(Lf(verified.out), Expand(host, "PORT2 holds the settings of " + file + "\n"));
    }
}

// Every way a command ends other than success: its exit code, its words, and whether anything
// reached the device. Standard input is the row's file.
void CheckFailures(QsyncHost& host)
{
    constexpr int kNothingSent = 1, kWindowsOnly = 2;
    const std::string base = kPowerOnSettingsBody;
    const struct {
        const char* what;
        const char* sim;  // ';'-separated commands to the simulator first
        std::string arguments;
        std::string file;
        int code;
        const char* out;  // found in standard output
        const char* err;  // found in standard error
        int flags = 0;    // kNothingSent: nothing reached the device the row addresses
    } rows[] = {
        {"a changed register", "setreg 1 3e 30 39", "verify PORT1 FILE --model-channel", base, 3,
         "register > (channel): device \"09\", a write stores \"01\"\n", ""},
        // A start frame past its range loads as 1, as the file says; a write would still change it.
        {"a register the load corrects, verified", "setreg 1 30 39 39", "verify PORT1 FILE", base, 3,
         "register 0 (start_frame): device \"99\", a write stores \"00\"\n", ""},
        {"a register the load corrects, read", "setreg 1 30 39 39", "read PORT1", "", 0, "start_frame = 1\n",
         "start_frame: device 99001, file 1"},
        {"another channel, not compared", "setreg 1 3e 30 39", "verify PORT1 FILE", base, 0, "PORT1 holds",
         "PORT1: model 5, channel 9; the file says model 5, channel 1 (compared only with "
         "--model-channel)"},
        {"the device namespace", "", "verify \\\\.\\COM1 FILE", base, 0, "COM1 holds", "", kWindowsOnly},
        {"a silent device read", "mode 1 silent", "read PORT1", "", 1, "",
         "PORT1: no answer from the synchronizer at register ? (model)"},
        {"a silent device read into a file", "mode 1 silent", "read PORT1 -o FILE", base, 1, "",
         "no answer from the synchronizer"},
        {"a file that cannot be written", "", "read PORT1 -o no_such_qsync_dir/x.ini", "", 2, "",
         "no_such_qsync_dir/x.ini: can't write: ", kNothingSent},
        {"a trace that is the settings file", "", "write PORT1 FILE --trace FILE", base, 2, "",
         ": it is the settings file", kNothingSent},
        {"a trace that is the output", "", "read PORT1 -o FILE --trace FILE", base, 2, "",
         ": it is the output", kNothingSent},
        {"a trace that is the port", "", "--trace PORT1 read PORT1", "", 2, "", "it is the port",
         kNothingSent},
        {"a trace to standard error", "", "read PORT1 --trace -", "", 0, "model = 5", " TX 52 3F 0D "},
        {"a trace to standard error from a rig", "", "write PORT1,PORT2 FILE --trace -", base, 2, "",
         "--trace -: takes one port", kNothingSent},
        {"a device name as the output", "", "read PORT1 -o LPT1", "", 2, "",
         "LPT1: can't write: a device other than NUL or CON", kNothingSent | kWindowsOnly},
        {"dead in init", "mode 1 stopafter 20", "read PORT1", "", 1, "",
         "no answer from the synchronizer at register [ (init1 to init4)"},
        {"a silent device written", "mode 1 silent", "write PORT1 FILE", base, 1, "",
         "Can't write to port at register 0 (start frame): no answer to the read-back"},
        {"an unplugged port", "unplug 1", "write PORT1 FILE", base, 1, "", "NOPORT1", kNothingSent},
        // The cable pulled as the write of '6' arrives, after the handshake and six writes.
        {"a cable pulled during the write", "pull 1 9", "write PORT1 FILE", base, 1, "",
         "Can't write to port at register 6 (baud and flags)"},
        {"an unplugged port listened to", "unplug 4", "find --port PORT4 --wait 1", "", 1, "", "NOPORT4",
         kNothingSent},
        {"another channel, written", "setreg 1 3e 30 39", "write PORT1 FILE --model-channel",
         Edited({{"channel = 1", "channel = 2"}}), 0, "PORT1: written and verified", ""},
        // Each pair read back as its second character twice: '2' holds "10", reads "00".
        {"a register read back otherwise", "mode 1 shape bbnr", "write PORT1 FILE", base, 1, "",
         "Save failed (data doesn't match) at register 2 (start frame)"},
        {"a refused file", "", "write PORT1 FILE", Edited({{"channel = 1", "channel = 100"}}), 2, "",
         "line 3: channel", kNothingSent},
        {"a refused file from standard input", "", "write PORT1 -",
         Edited({{"channel = 1", "channel = 100"}}), 2, "", "standard input: line 3: channel", kNothingSent},
        {"a refused file verified", "", "verify PORT1 FILE", "[synchronizer]\r\nmodel = 5\r\n", 2, "",
         "line ", kNothingSent},
        {"a file that is not there", "", "write PORT1 no_such_qsync_file.ini", "", 2, "",
         "qsync: no_such_qsync_file.ini: No such file or directory", kNothingSent},
        {"not a serial port", "", "read LPT1", "", 2, "", "LPT1: not a serial port",
         kNothingSent | kWindowsOnly},
        {"a missing word", "", "write PORT1", "", 2, "", "usage: qsync write", kNothingSent},
        {"an option of another command", "", "read PORT1 --wait 3", "", 2, "",
         "--wait is not an option of read", kNothingSent},
        {"an unknown command", "", "erase PORT1", "", 2, "", "unknown command erase", kNothingSent},
        {"a trace that cannot be written", "", "--trace no_such_qsync_dir/t.txt write PORT1 FILE", base, 2,
         "", "no_such_qsync_dir/t.txt: can't write: ", kNothingSent},
        {"a silent device among three", "mode 2 silent", "write PORT1,PORT2,PORT3 FILE", base, 1,
         "PORT1: written and verified\nPORT2: Can't write to port at register 0 (start frame): no answer to "
         "the read-back\nPORT3: written and verified\n",
         ""},
        {"a rig verified", "setreg 3 30 30 31", "verify PORT1,PORT3 FILE", base, 3,
         "PORT3: register 0 (start_frame): device \"01\", a write stores \"00\"\n", ""},
        {"ports as words of their own", "", "write PORT1 PORT2, FILE", base, 2, "",
         "several ports are separated by commas: PORT1,PORT2", kNothingSent},
        {"quiet", "", "write -q PORT1 FILE", base, 0, "", ""},
        {"verbose", "", "read PORT1 --verbose", "", 0, "model = 5", "register ? (model): read \"05\""},
        {"quiet and verbose", "", "read PORT1 -qv", "", 2, "", "--quiet and --verbose exclude each other",
         kNothingSent},
        {"a command's help", "", "read --help", "", 0, "usage: qsync read ", ""},
        {"a rig verified, another channel on its line", "setreg 1 3e 30 39", "verify PORT1,PORT2 FILE", base,
         0,
         "; model 5, channel 9; the file says model 5, channel 1 (compared only with "
         "--model-channel)\n",
         ""},
        {"spaces around the commas", "", "write \"PORT1 , PORT2\" FILE", base, 0,
         "PORT1: written and verified\nPORT2: written and verified\n", ""},
        {"a list with one channel", "", "write PORT1,PORT2 FILE --model-channel", base, 2, "",
         ": --model-channel takes one port", kNothingSent},
        {"an empty entry", "", "write PORT1,,PORT2 FILE", base, 2, "", "an empty entry in the list of ports",
         kNothingSent},
        {"a port twice", "", "verify PORT2,PORT1,PORT2 FILE", base, 2, "", "are the same port", kNothingSent},
        {"a port twice by two names", "", "write COM1,\\\\.\\com1 FILE", base, 2, "",
         "COM1 and COM1 are the same port", kNothingSent | kWindowsOnly},
    };
    for (const auto& row : rows) {
        if ((row.flags & kWindowsOnly) && !host.IsWindows())
            continue;
        SCOPED_TRACE(row.what);
        ASSERT_NO_FATAL_FAILURE(RunSimCommands(row.sim));
        const std::string file = host.File(row.file);
        const QsyncResult result = host.Run(Expand(host, row.arguments, row.file));
        EXPECT_EQ(result.code, row.code) << result.out << result.err;
        // An empty text: nothing on that stream.
        const std::string out = Expand(host, row.out), err = Expand(host, row.err);
        EXPECT_TRUE(out.empty() ? result.out.empty() : Lf(result.out).find(out) != std::string::npos)
            << result.out;
        EXPECT_TRUE(err.empty() ? result.err.empty() : result.err.find(err) != std::string::npos)
            << result.err;
        EXPECT_EQ(ReadWhole(file, true), row.file);      // a failed read -o FILE leaves it as it was
        const size_t port = row.arguments.find("PORT");  // the device the row addresses
        if (row.flags & kNothingSent) {
            EXPECT_EQ(SimFrames(port == std::string::npos ? 1 : row.arguments[port + 4] - '0'),
                      std::vector<std::string>{});
        }
    }
}

// find prints the port whose banner it heard: on the named port, or on the first port that passes
// the probe and hears one (COM1 and COM2 absent here). The banner is sent once qsync says it
// listens: one sent earlier is drained by the open, as in the window program. A port whose cable
// is pulled while find listens is named.
void CheckFind(QsyncHost& host)
{
    const struct {
        const char* arguments;
        const char* sim;
        const char* listening;  // once find says it listens on this port, `act` goes to the simulator
        const char* act;        // a banner ("reset N"), a pulled cable, an adapter plugged in; or none
        int code;
        const char* out;
        const char* err;
        bool windowsOnly;  // the scan of every port meets the host's own ports elsewhere
    } rows[] = {
        {"find --port PORT2 --wait 20", "", "PORT2", "reset 2", 0, "PORT2\n", "PORT2: listening for 20 s",
         false},
        {"find --wait 20", "unplug 1;unplug 2", "PORT3", "reset 3", 0, "PORT3\n", "PORT3: listening for 20 s",
         true},
        {"find --port PORT2 --wait 2", "", "", nullptr, 1, "", "qsync: find: Synchronizer Not Found", false},
        {"find --port PORT2 --wait 20", "", "PORT2", "pull 2", 1, "",
         "PORT2: can't read: the port stopped working", false},
        // An adapter plugged in during the search is listened to when its turn comes.
        {"find --wait 3", "unplug 2;unplug 3;unplug 4", "PORT1", "plug 3", 1, "", "PORT3: listening for 3 s",
         true},
    };
    for (const auto& row : rows) {
        if (row.windowsOnly && !host.IsWindows())
            continue;
        SCOPED_TRACE(row.arguments);
        ASSERT_NO_FATAL_FAILURE(RunSimCommands(row.sim));
        const std::function<void()> act = [&] { ASSERT_TRUE(SimCommand(row.act).ok) << row.act; };
        const QsyncResult result = host.Run(
            Expand(host, row.arguments),
            row.act ? Expand(host, std::string(row.listening) + ": listening") : "", row.act ? act : nullptr);
        EXPECT_EQ(result.code, row.code) << result.err;
        EXPECT_EQ(Lf(result.out), Expand(host, row.out));
        EXPECT_NE(result.err.find(Expand(host, row.err)), std::string::npos) << result.err;
    }
}
