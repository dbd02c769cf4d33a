// What the device answers on the wire, and how it reads what it is sent.
#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "sim_harness.h"

namespace simtest {
namespace {

using namespace std::string_literals;

// Each test starts with one fresh device that does not pace its output.
class SimReply : public SimFixture {
protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(Boot(Fast())); }
};

// A fresh device's registers, read over the line.
TEST_F(SimReply, ReadFrameGetsPairThenLfCr)
{
    struct Row {
        char code;
        std::string pair;
    };
    const Row rows[] = {
        {'?', "05"}, {'>', "01"},                                // model, channel
        {'0', "00"}, {'1', "00"}, {'2', "10"},                   // start frame 1
        {'3', "00"}, {'4', "50"}, {'5', "00"},                   // end frame 500
        {'6', "7<"},                                             // baud code 7, flags 12
        {'H', "QS"}, {'I', "IM"}, {'J', "\a\a"}, {'O', "\a\a"},  // comment
        {'P', "0K"}, {'Q', "L0"}, {'R', "DS"},   {'S', "\r\a"}, {'T', "\a\a"}, {'o', "\a\a"},  // init block
    };
    for (const Row& row : rows) {
        EXPECT_EQ(line[0].Ask("R"s + row.code + "\r", 4), Hex(Answer(row.pair))) << "register " << row.code;
    }
    EXPECT_EQ(Hex(line[0].ReadFor(50)), "");
}

// Data bytes are taken by position, whatever they are, even frame bytes.
TEST_F(SimReply, WriteThenReadReturnsWrittenPair)
{
    struct Row {
        char code;
        std::string pair;
        std::string regsLine;
    };
    const Row rows[] = {
        {'?', "42", "3f 34 32"},   {'6', "4?", "36 34 3f"}, {'o', "\x00\xff"s, "6f 00 ff"},
        {'H', "\r\n", "48 0d 0a"}, {'W', "RW", "57 52 57"}, {'O', "OK", "4f 4f 4b"},
        {'R', "\r\r", "52 0d 0d"}, {'0', "99", "30 39 39"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(line[0].Ask("W"s + row.code + row.pair + "\r" + "R" + row.code + "\r", 4),
                  Hex(Answer(row.pair)))
            << "register " << row.code;
        const std::vector<std::string> regs = ctl.Data("regs 1");
        EXPECT_NE(std::find(regs.begin(), regs.end(), row.regsLine), regs.end())
            << "regs lacks " << row.regsLine;
    }
}

// What the device reports having received, item by item, and what the input itself makes it send
// (most send nothing). Each input is followed by a read of '>' whose answer shows the device has
// taken it all, and must come first when the input is not answered.
TEST_F(SimReply, FramesReportEveryItemInOrder)
{
    struct Row {
        std::string input;
        std::string answers;  // what the input itself makes the device send
        std::vector<std::string> frames;
    };
    const Row rows[] = {
        {"OK\r\n", "", {"OK"}},  // handshake text
        {"OK\r\nOK\r\n", "", {"OK", "OK"}},
        {"R?\r", Answer("05"), {"R 3f"}},
        {"Wo07\r", "", {"W 6f 30 37"}},  // a write is never answered
        {"Wo12\r", "", {"W 6f 31 32"}},
        {"RA\r", "", {"R 41"}},  // 'A' is no register
        // Just outside the map.
        {"R\x00\r"s, "", {"R 00"}},
        {"R\x2f\r", "", {"R 2f"}},
        {"R\x37\r", "", {"R 37"}},
        {"R\x3d\r", "", {"R 3d"}},
        {"R\x40\r", "", {"R 40"}},
        {"R\x47\r", "", {"R 47"}},
        {"R\x70\r", "", {"R 70"}},
        {"R\xff\r", "", {"R ff"}},
        {"\x01\xff", "", {"X 01", "X ff"}},
        {"\x01\x02\xfe", "", {"X 01", "X 02", "X fe"}},  // bytes of no frame
        // A broken frame gives up its first byte; a frame starting inside it is found.
        {"RR?\r", Answer("05"), {"X 52", "R 3f"}},
        {"Wo1\rR?\r", Answer("05"), {"X 57", "X 6f", "X 31", "X 0d", "R 3f"}},
        {"OK\n", "", {"X 4f", "X 4b", "X 0a"}},
        {"OK\r\r", "", {"X 4f", "X 4b", "X 0d", "X 0d"}},
        {"OR?\r", Answer("05"), {"X 4f", "R 3f"}},
        {"OOK\r\n", "", {"X 4f", "OK"}},
        {"Wo12X", "", {"X 57", "X 6f", "X 31", "X 32", "X 58"}},
        {"R?\n", "", {"X 52", "X 3f", "X 0a"}},
        // 'O', 'R' and 'W' are register codes too.
        {"RO\r", Answer("\a\a"), {"R 4f"}},
        {"WWRW\r", "", {"W 57 52 57"}},
        {"R\r\r", "", {"R 0d"}},
        {"WA12\r", "", {"W 41 31 32"}},
    };
    for (const Row& row : rows) {
        ASSERT_EQ(ctl.Cmd("clear 1").back(), "ok");
        ASSERT_TRUE(line[0].Write(row.input + "R>\r"));
        std::string expected = row.answers + Answer("01");
        EXPECT_EQ(Hex(line[0].ReadExactly(expected.size(), kWaitMs)), Hex(expected))
            << "input " << Hex(row.input);
        std::vector<std::string> want = row.frames;
        want.push_back("R 3e");
        EXPECT_EQ(ctl.Data("frames 1"), want) << "input " << Hex(row.input);
    }
    EXPECT_EQ(Hex(line[0].ReadFor(50)), "");
}

TEST_F(SimReply, WriteToUnknownCodeChangesNoRegister)
{
    std::vector<std::string> before = ctl.Data("regs 1");
    ASSERT_EQ(line[0].Ask("WA12\rW\x70"s + "34\rR>\r", 4), Hex(Answer("01")));
    EXPECT_EQ(ctl.Data("regs 1"), before);
}

// What each command puts on the line: a mode shapes the answer to a read of '?' (sent when the
// row has `read`), reset sends the banner, send its bytes; nothing follows.
TEST_F(SimReply, CommandsShapeWhatTheLineCarries)
{
    struct Row {
        const char* command;
        bool read;
        std::string bytes;
    };
    const Row rows[] = {
        {"mode 1 normal", true, "05\n\r"},
        {"mode 1 crlf", true, "05\r\n"},
        {"mode 1 stray", true,
         "\x55"
         "05\n\r"},
        {"mode 1 split", true, "05\n\r"},
        {"mode 1 shape abn/r", true, "05\n\r"},
        {"mode 1 shape abn", true, "05\n"},
        {"mode 1 shape ab/nrs", true, "05\n\r\x55"},
        {"mode 1 shape rsnba", true, "\r\x55\n50"},
        {"mode 1 delay 30", true, "05\n\r"},
        {"mode 1 latency 16", true, "05\n\r"},
        {"mode 1 normal", true, "05\n\r"},
        {"reset 1", false, "ATS0=1\n\r"},
        {"reset 1 crfirst", false, "ATS0=1\r\n"},
        {"send 1 00 ff 41 a 0D", false, "\x00\xff\x41\x0a\x0d"s},
    };
    for (const Row& row : rows) {
        ASSERT_EQ(ctl.Cmd(row.command).back(), "ok") << row.command;
        ASSERT_TRUE(!row.read || line[0].Write("R?\r"));
        EXPECT_EQ(Hex(line[0].ReadExactly(row.bytes.size(), kWaitMs)), Hex(row.bytes)) << row.command;
        EXPECT_EQ(Hex(line[0].ReadFor(20)), "") << row.command;
    }
}

// A split answer comes in writes at least 60 ms apart (a shape's pauses: 16 ms), by the device's
// own clock, the pauses where the mode puts them.
TEST_F(SimReply, SplitModesPauseInsideTheAnswer)
{
    struct Row {
        const char* mode;
        std::vector<std::string> chunks;
    };
    const Row rows[] = {
        {"split", {"30 35", "0a 0d"}},
        {"shape abn/r", {"30 35 0a", "0d"}},
        {"shape a/bnrs", {"30", "35 0a 0d 55"}},
        {"shape a/b/n/r", {"30", "35", "0a", "0d"}},
    };
    for (const Row& row : rows) {
        ASSERT_EQ(ctl.Cmd(std::string("mode 1 ") + row.mode).back(), "ok");
        ASSERT_EQ(ctl.Cmd("clear 1").back(), "ok");
        ASSERT_TRUE(line[0].Write("R?\r"));
        size_t size = 0;
        for (const std::string& chunk : row.chunks)
            size += (chunk.size() + 1) / 3;
        ASSERT_EQ(line[0].ReadExactly(size, kWaitMs).size(), size) << row.mode;
        WireLog tx;
        ASSERT_NO_FATAL_FAILURE(ReadWireLog("tx", tx));
        ASSERT_EQ(tx.chunks, row.chunks) << row.mode;
        const double pause = row.mode[0] == 's' && row.mode[1] == 'h' ? 16.0 : 60.0;
        for (size_t i = 1; i < tx.stamps.size(); ++i)
            EXPECT_GE(tx.stamps[i] - tx.stamps[i - 1], pause - 0.001) << row.mode;
    }
}

TEST_F(SimReply, SilentModeAnswersNothingButStillListens)
{
    ASSERT_EQ(ctl.Cmd("mode 1 silent").back(), "ok");
    ASSERT_TRUE(line[0].Write("Wo33\rR?\r"));
    ASSERT_NO_FATAL_FAILURE(WaitForReads(1, 1));
    EXPECT_EQ(Hex(line[0].ReadFor(100)), "");
    // Writes still land while silent.
    ASSERT_EQ(ctl.Cmd("mode 1 normal").back(), "ok");
    EXPECT_EQ(line[0].Ask("Ro\r", 4), Hex(Answer("33")));
}

TEST_F(SimReply, StopAfterAnswersThatManyReadsThenFallsSilent)
{
    ASSERT_EQ(ctl.Cmd("mode 1 stopafter 2").back(), "ok");
    // A read of an unknown code is never answered and does not use one up.
    EXPECT_EQ(line[0].Ask("RA\rR?\r", 4), Hex(Answer("05")));
    EXPECT_EQ(line[0].Ask("R>\r", 4), Hex(Answer("01")));
    ASSERT_TRUE(line[0].Write("R?\r"));
    ASSERT_NO_FATAL_FAILURE(WaitForReads(1, 4));
    EXPECT_EQ(Hex(line[0].ReadFor(100)), "");
    ASSERT_EQ(ctl.Cmd("mode 1 stopafter 1").back(), "ok");
    ASSERT_TRUE(line[0].Write("R?\rR?\r"));
    ASSERT_NO_FATAL_FAILURE(WaitForReads(1, 6));
    EXPECT_EQ(Hex(line[0].ReadFor(100)), Hex(Answer("05")));
}

// Delay mode holds each reply back: nothing for the given time, then the whole reply.
TEST_F(SimReply, DelayModeHoldsTheReplyBack)
{
    ASSERT_EQ(ctl.Cmd("mode 1 delay 300").back(), "ok");
    const Clock::time_point sent = Clock::now();
    ASSERT_TRUE(line[0].Write("R?\r"));
    EXPECT_EQ(Hex(line[0].ReadFor(200)), "");
    EXPECT_EQ(Hex(line[0].ReadExactly(4, kWaitMs)), Hex(Answer("05")));
    EXPECT_GE(MsSince(sent), 300.0);
}

TEST_F(SimReply, NoiseHasNeitherAnANorANul)
{
    constexpr size_t kCount = 3000;
    ASSERT_EQ(ctl.Cmd("noise 1 3000").back(), "ok");
    std::string noise = line[0].ReadExactly(kCount, kWaitMs);
    ASSERT_EQ(noise.size(), kCount);
    EXPECT_EQ(noise.find('A'), std::string::npos);
    EXPECT_EQ(noise.find('\0'), std::string::npos);
    // Noise, not a repeated byte: 3000 draws over 254 values miss hardly any.
    EXPECT_GT(std::set<char>(noise.begin(), noise.end()).size(), 200u);
    ASSERT_EQ(ctl.Cmd("noise 1 0").back(), "ok");
    EXPECT_EQ(Hex(line[0].ReadFor(20)), "");
}

}  // namespace
}  // namespace simtest
