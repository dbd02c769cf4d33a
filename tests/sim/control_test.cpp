// The control protocol and the life of the process.
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "sim_harness.h"

namespace simtest {
namespace {

using namespace std::string_literals;

bool LinkExists(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

class SimControl : public SimFixture {};

TEST_F(SimControl, RegsListsPowerOnContentsSortedByCode)
{
    ASSERT_NO_FATAL_FAILURE(Boot(Fast()));
    std::vector<std::string> want = {
        "30 30 30", "31 30 30", "32 31 30",  // start frame 000010
        "33 30 30", "34 35 30", "35 30 30",  // end frame 005000
        "36 37 3c",                          // '7' '<'
        "3e 30 31", "3f 30 35",              // channel 01, model 05
        "48 51 53", "49 49 4d",              // "QSIM"
    };
    for (char code = 0x4A; code <= 0x4F; ++code)
        want.push_back(Hex(code + "\a\a"s));
    want.insert(want.end(), {"50 30 4b", "51 4c 30", "52 44 53", "53 0d 07"});  // "0KL0DS" CR BEL
    for (char code = 0x54; code <= 0x6F; ++code)
        want.push_back(Hex(code + "\a\a"s));
    ASSERT_EQ(want.size(), 49u);
    EXPECT_EQ(ctl.Data("regs 1"), want);
}

TEST_F(SimControl, SetregChangesWhatTheDeviceAnswers)
{
    ASSERT_NO_FATAL_FAILURE(Boot(Fast()));
    ASSERT_EQ(ctl.Cmd("setreg 1 3f 30 37").back(), "ok");
    ASSERT_EQ(ctl.Cmd("setreg 1 6F FF 0").back(), "ok");
    EXPECT_EQ(line[0].Ask("R?\rRo\r", 8), Hex(Answer("07") + Answer("\xff\x00"s)));
    std::vector<std::string> regs = ctl.Data("regs 1");
    ASSERT_EQ(regs.size(), 49u);
    EXPECT_EQ(regs[8], "3f 30 37");
    EXPECT_EQ(regs[48], "6f ff 00");
}

// The wire log holds exactly the bytes that passed, in order, stamped in
// milliseconds with three decimals.
TEST_F(SimControl, LogAndFramesRecordExactBytes)
{
    ASSERT_NO_FATAL_FAILURE(Boot(Fast()));
    const std::string sent = "OK\r\nR?\r\x01";
    ASSERT_EQ(line[0].Ask(sent, 4), Hex(Answer("05")));
    ASSERT_EQ(line[0].Ask("R>\r", 4), Hex(Answer("01")));

    WireLog all, rx, tx;
    ASSERT_NO_FATAL_FAILURE(ReadWireLog(nullptr, all));
    ASSERT_NO_FATAL_FAILURE(ReadWireLog("rx", rx));
    ASSERT_NO_FATAL_FAILURE(ReadWireLog("tx", tx));
    EXPECT_TRUE(std::is_sorted(all.stamps.begin(), all.stamps.end()));
    EXPECT_EQ(Hex(rx.bytes), Hex(sent + "R>\r"));
    EXPECT_EQ(Hex(tx.bytes), Hex(Answer("05") + Answer("01")));
    EXPECT_EQ(ctl.Data("frames 1"), (std::vector<std::string>{"OK", "R 3f", "X 01", "R 3e"}));
    EXPECT_EQ(ctl.Data("reads 1"), std::vector<std::string>{"2"});

    ASSERT_EQ(ctl.Cmd("clear 1").back(), "ok");
    EXPECT_TRUE(ctl.Data("frames 1").empty());
    EXPECT_TRUE(ctl.Data("log 1").empty());
    // clear does not reset the read count.
    EXPECT_EQ(ctl.Data("reads 1"), std::vector<std::string>{"2"});
}

// Bad commands are refused with one error line and nothing else, and the
// connection goes on working.
TEST_F(SimControl, BadCommandsGetOneErrorLine)
{
    ASSERT_NO_FATAL_FAILURE(Boot(Fast(2)));
    const std::string rows[] = {
        "",
        "bogus",
        "REGS 1",
        "regs",
        "regs 0",
        "regs 3",
        "regs -1",
        "regs x",
        "regs 1 2",
        "regs 99999999999999999999",
        "setreg 1 40 30 30",
        "setreg 1 3f 300 30",
        "setreg 1 3f 30",
        "send 1",
        "send 1 zz",
        "send 1 123",
        "noise 1 x",
        "noise 1 -5",
        "noise 1 5 later",
        "hush",
        "mode 1 turbo",
        "mode 1 stopafter",
        "mode 1 stopafter -1",
        "mode 1 normal 3",
        "mode 1 shape",
        "mode 1 shape abx",
        "mode 1 shape abnrabnrs",
        "mode 1 shape /abnr",
        "mode 1 shape abnr/",
        "mode 1 shape a//bnr",
        "mode 1 latency 0",
        "mode 1 split abnr",
        "mode 1 delay",
        "mode 1 delay 60001",
        "pull",
        "pull 7",
        "line 1 9600",
        "line 1 9601 8N1",
        "line 1 9600 9N1",
        "line 1 9600 8X1",
        "line 1 9600 8N3",
        "reset 1 lffirst",
        "reset 5",
        "plug 9",
        "quit now",
        "\x01\x02\xff\x7f"s,
        std::string(20000, 'x'),
        "regs 1" + std::string(20000, ' ') + "x",
    };
    for (const std::string& row : rows) {
        std::vector<std::string> reply = ctl.Cmd(row);
        ASSERT_EQ(reply.size(), 1u) << Hex(row.substr(0, 32));
        EXPECT_EQ(reply[0].rfind("error ", 0), 0u) << Hex(row.substr(0, 32)) << " -> " << reply[0];
    }
    EXPECT_EQ(ctl.Data("reads 2"), std::vector<std::string>{"0"});
    // CR LF line ends are accepted too.
    EXPECT_EQ(ctl.RawCmd("reads 1\r\n"), (std::vector<std::string>{"0", "ok"}));
}

// line reports and sets the pty's settings. A Linux pty keeps the speed and the stop bits but
// forces 8 data bits and no parity, whatever is asked.
TEST_F(SimControl, LineSetsAndReportsThePtySettings)
{
    ASSERT_NO_FATAL_FAILURE(Boot(Fast()));
    ASSERT_EQ(ctl.Cmd("line 1 9600 8N2").back(), "ok");
    EXPECT_EQ(ctl.Data("line 1"), std::vector<std::string>{"9600 8N2"});
    ASSERT_EQ(ctl.Cmd("line 1 1200 7E1").back(), "ok");
    EXPECT_EQ(ctl.Data("line 1"), std::vector<std::string>{"1200 8N1"});
}

// pull closes the pty, at once or once the device has taken the frames it was told to (without
// answering the last): the program's end fails to write and reads a hang-up, the slave node goes,
// and the device keeps its registers; plug gives it a fresh pty behind the same link.
TEST_F(SimControl, PullClosesTheLineAndPlugGivesAFreshOne)
{
    ASSERT_NO_FATAL_FAILURE(Boot(Fast()));
    ASSERT_EQ(ctl.Cmd("setreg 1 3f 30 37").back(), "ok");
    const std::string oldPty = sim.PtyName(1);
    ASSERT_EQ(ctl.Cmd("pull 1 1").back(), "ok");
    ASSERT_TRUE(line[0].Write("R?\r"));
    ASSERT_NO_FATAL_FAILURE(WaitForReads(1, 1));  // the line is closed in the same step
    EXPECT_EQ(ctl.Data("frames 1"), std::vector<std::string>{"R 3f"});
    EXPECT_FALSE(line[0].Write("R>\r")) << "a write went through after the pull";
    EXPECT_EQ(line[0].ReadNow(), "") << "the device answered through a pulled cable";
    // A hung-up slave reads end of file (or EIO on some kernels), never "try again".
    char byte = 0;
    const ssize_t got = read(line[0].fd(), &byte, 1);
    EXPECT_TRUE(got == 0 || (got < 0 && errno == EIO)) << got << " " << errno;
    EXPECT_EQ(ctl.Cmd("line 1").back(), "error cable pulled");
    EXPECT_EQ(ctl.Cmd("reset 1").back(), "ok");  // goes nowhere, and does not hang
    EXPECT_EQ(ctl.Cmd("pull 1").back(), "ok");   // pulling twice is harmless
    line[0].Close();
    struct stat st;
    EXPECT_NE(stat(oldPty.c_str(), &st), 0) << oldPty << " still there";

    ASSERT_EQ(ctl.Cmd("plug 1").back(), "ok");
    ASSERT_TRUE(line[0].Open(sim.LinkPath(1)));
    EXPECT_EQ(line[0].Ask("R?\r", 4), Hex(Answer("07")));
    ASSERT_EQ(ctl.Cmd("pull 1").back(), "ok");
    EXPECT_FALSE(line[0].Write("R>\r")) << "a write went through after the pull";
}

TEST_F(SimControl, ConnectionsAreServedOneAfterAnother)
{
    ASSERT_NO_FATAL_FAILURE(Boot(Fast()));
    // Several commands in one packet are answered in order.
    EXPECT_EQ(ctl.RawCmd("setreg 1 3f 31 31\nreads 1\n"), std::vector<std::string>{"ok"});
    EXPECT_EQ(ctl.Next(), (std::vector<std::string>{"0", "ok"}));
    ctl.Close();
    for (int i = 0; i < 3; ++i) {
        Control other;
        ASSERT_TRUE(other.Connect(sim.controlPort()));
        EXPECT_EQ(other.Cmd("reads 1"), (std::vector<std::string>{"0", "ok"}));
    }
    Control again;
    ASSERT_TRUE(again.Connect(sim.controlPort()));
    EXPECT_EQ(again.Data("regs 1")[8], "3f 31 31");
}

TEST_F(SimControl, DevicesAreIndependent)
{
    ASSERT_NO_FATAL_FAILURE(Boot(Fast(3)));
    EXPECT_NE(sim.PtyName(1), sim.PtyName(2));
    ASSERT_EQ(ctl.Cmd("setreg 2 3f 32 32").back(), "ok");
    ASSERT_EQ(ctl.Cmd("mode 3 crlf").back(), "ok");
    const std::string expected[] = {Answer("05"), Answer("22"), "05\r\n"};
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(line[i].Write("R?\r"));
        EXPECT_EQ(Hex(line[i].ReadExactly(4, kWaitMs)), Hex(expected[i])) << "device " << i + 1;
    }
    // The handshake is not answered: the read after it gets the first bytes.
    EXPECT_EQ(line[1].Ask("OK\r\nR>\r", 4), Hex(Answer("01")));
    ASSERT_EQ(ctl.Cmd("reset 3").back(), "ok");
    EXPECT_EQ(line[2].ReadExactly(8, kWaitMs), "ATS0=1\n\r");
    EXPECT_EQ(Hex(line[0].ReadFor(30)), "");
    EXPECT_EQ(Hex(line[1].ReadFor(0)), "");
    EXPECT_EQ(ctl.Data("frames 1"), std::vector<std::string>{"R 3f"});
    EXPECT_EQ(ctl.Data("frames 2"), (std::vector<std::string>{"R 3f", "OK", "R 3e"}));
}

TEST_F(SimControl, QuitEndsCleanlyAndRemovesLinks)
{
    ASSERT_NO_FATAL_FAILURE(Boot(Fast(2)));
    ASSERT_TRUE(LinkExists(sim.LinkPath(1)));
    EXPECT_EQ(ctl.Cmd("quit"), std::vector<std::string>{"ok"});
    EXPECT_EQ(sim.WaitExit(5000), 0);
    EXPECT_FALSE(LinkExists(sim.LinkPath(1)));
    EXPECT_FALSE(LinkExists(sim.LinkPath(2)));
}

TEST_F(SimControl, SigtermEndsCleanlyEvenWhileOutputIsPaced)
{
    // Paced: a long noise burst is still going when the signal comes.
    ASSERT_NO_FATAL_FAILURE(Boot(SimOptions{}));
    // 10000 bytes take 83 s at line rate; the signal must cut them short.
    ASSERT_TRUE(ctl.Send("noise 1 10000\n"));
    ASSERT_EQ(line[0].ReadExactly(1, kWaitMs).size(), 1u);
    EXPECT_EQ(sim.Stop(), 0);
    EXPECT_FALSE(LinkExists(sim.LinkPath(1)));
}

// hush drops the rest of a burst at once: the next answer is not queued behind it, and no noise
// comes before it.
TEST_F(SimControl, HushCutsABurstShort)
{
    ASSERT_NO_FATAL_FAILURE(Boot(SimOptions{}));  // paced: 10000 bytes would take 83 s
    ASSERT_EQ(ctl.Cmd("setreg 1 3f 30 37").back(), "ok");
    ASSERT_EQ(ctl.Cmd("noise 1 10000 nowait").back(), "ok");
    ASSERT_EQ(line[0].ReadExactly(1, kWaitMs).size(), 1u);
    ASSERT_EQ(ctl.Cmd("hush 1").back(), "ok");
    WireLog sent;
    ASSERT_NO_FATAL_FAILURE(ReadWireLog("tx", sent));
    EXPECT_EQ(line[0].ReadExactly(sent.bytes.size() - 1, kWaitMs).size(), sent.bytes.size() - 1);
    EXPECT_EQ(line[0].Ask("R?\r", 4), Hex(Answer("07")));
}

// Without a control port, standard input is the console and its end ends qsim.
TEST_F(SimControl, StdinTakesCommandsAndEmptyLineResetsDeviceOne)
{
    SimOptions o = Fast(2);
    o.control = false;
    o.stdinPipe = true;
    ASSERT_NO_FATAL_FAILURE(Boot(o));
    ASSERT_TRUE(sim.WriteStdin("reads 2\n", false));
    std::string reply;
    ASSERT_TRUE(sim.ReadStdoutLine(reply, kWaitMs));
    EXPECT_EQ(reply, "0");
    ASSERT_TRUE(sim.ReadStdoutLine(reply, kWaitMs));
    EXPECT_EQ(reply, "ok");

    ASSERT_TRUE(sim.WriteStdin("\n", false));
    EXPECT_EQ(line[0].ReadExactly(8, kWaitMs), "ATS0=1\n\r");
    ASSERT_TRUE(sim.ReadStdoutLine(reply, kWaitMs));
    EXPECT_EQ(reply, "ok");
    EXPECT_EQ(Hex(line[1].ReadFor(20)), "");

    ASSERT_TRUE(sim.WriteStdin("help\n", false));
    int helpLines = 0;
    while (sim.ReadStdoutLine(reply, kWaitMs) && reply != "ok")
        ++helpLines;
    EXPECT_EQ(reply, "ok");
    EXPECT_GT(helpLines, 5);

    ASSERT_TRUE(sim.WriteStdin("", true));
    EXPECT_EQ(sim.WaitExit(5000), 0);
    EXPECT_FALSE(LinkExists(sim.LinkPath(1)));
}

TEST_F(SimControl, QuitOnStdinEndsIt)
{
    SimOptions o = Fast();
    o.stdinPipe = true;
    ASSERT_NO_FATAL_FAILURE(Boot(o));
    ASSERT_TRUE(sim.WriteStdin("quit\n", false));
    EXPECT_EQ(sim.WaitExit(5000), 0);
}

// With a control port, the end of standard input leaves qsim running.
TEST_F(SimControl, StdinEndDoesNotEndItWhenControlled)
{
    SimOptions o = Fast();
    o.stdinPipe = true;
    ASSERT_NO_FATAL_FAILURE(Boot(o));
    ASSERT_TRUE(sim.WriteStdin("", true));
    EXPECT_EQ(sim.WaitExit(200), -1);
    EXPECT_EQ(ctl.Data("reads 1"), std::vector<std::string>{"0"});
}

// Usage errors end with status 2 before anything is set up (the paths lie in
// a directory that does not exist, so a run that got further would end with 1).
TEST(SimCommandLine, BadArgumentsAreRefused)
{
    const std::string d = "/nonexistent-qsim-dir/";
    const std::vector<std::vector<std::string>> rows = {
        {},
        {"--bogus"},
        {"--control", "0"},
        {"--device", d + "a", "--control", "70000"},
        {"--device", d + "a", "--control", "x"},
        {"--device", d + "a", "--unplugged", "2"},
        {"--device", d + "a", "--unplugged"},
        {"--device"},
        {"--device", d + "a", "--device", d + "b", "--device", d + "c", "--device", d + "d", "--device",
         d + "e"},
    };
    for (const std::vector<std::string>& args : rows) {
        std::string cmd = "timeout 10 " + std::string(QSIM_PATH);
        for (const std::string& a : args)
            cmd += " " + a;
        cmd += " </dev/null >/dev/null 2>&1";
        int status = std::system(cmd.c_str());
        ASSERT_TRUE(WIFEXITED(status)) << cmd;
        EXPECT_EQ(WEXITSTATUS(status), 2) << cmd;
    }
}

}  // namespace
}  // namespace simtest
