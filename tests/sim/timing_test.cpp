// Line-rate pacing. Only lower bounds are asserted: a byte cannot come before
// the device has waited its line time. Upper bounds depend on the machine.
#include <string>
#include <vector>

#include "sim_harness.h"

namespace simtest {
namespace {

constexpr int kWaitMs = 3000;
// Stamps are printed to 0.001 ms; a difference of two may lose that much.
constexpr double kStampSlack = 0.001;

class SimTiming : public SimFixture {};

TEST_F(SimTiming, PacedAnswerTakesItsLineTime)
{
    ASSERT_NO_FATAL_FAILURE(Boot(SimOptions{}));
    Clock::time_point sent = Clock::now();
    ASSERT_EQ(line[0].Ask("R?\r", 4, kWaitMs), Hex(Answer("05")));
    // The first byte leaves after the frame was sent; three byte times follow it.
    EXPECT_GE(MsSince(sent), 3 * kByteMs);

    WireLog log;
    ASSERT_NO_FATAL_FAILURE(ReadWireLog("tx", log));
    ASSERT_EQ(log.chunks, (std::vector<std::string>{"30", "35", "0a", "0d"}));
    for (size_t i = 1; i < log.stamps.size(); ++i)
        EXPECT_GE(log.stamps[i] - log.stamps[i - 1], kByteMs - kStampSlack) << i;
    EXPECT_GE(log.stamps[3] - log.stamps[0], 3 * kByteMs - kStampSlack);
}

TEST_F(SimTiming, PacedSplitAnswerAddsItsPause)
{
    ASSERT_NO_FATAL_FAILURE(Boot(SimOptions{}));
    ASSERT_EQ(ctl.Cmd("mode 1 split").back(), "ok");
    ASSERT_EQ(line[0].Ask("R?\r", 4, kWaitMs), Hex(Answer("05")));
    WireLog log;
    ASSERT_NO_FATAL_FAILURE(ReadWireLog("tx", log));
    ASSERT_EQ(log.chunks.size(), 4u);
    EXPECT_GE(log.stamps[2] - log.stamps[1], kByteMs + 60.0 - kStampSlack);
}

// "ok" to an output command means the bytes are on the line: the last of the
// banner's 8 bytes comes 7 byte times after the first.
TEST_F(SimTiming, ResetIsAcknowledgedAfterItsLineTime)
{
    ASSERT_NO_FATAL_FAILURE(Boot(SimOptions{}));
    Clock::time_point sent = Clock::now();
    ASSERT_EQ(ctl.Cmd("reset 1").back(), "ok");
    EXPECT_GE(MsSince(sent), 7 * kByteMs);
    EXPECT_EQ(line[0].ReadExactly(8, kWaitMs), "ATS0=1\n\r");
}

// With --pace-read the device takes one byte per byte time, so 43 bytes sent
// at once are answered no sooner than 42 byte times later.
TEST_F(SimTiming, PaceReadConsumesInputAtLineRate)
{
    SimOptions o;
    o.extraArgs = {"--pace-read"};
    ASSERT_NO_FATAL_FAILURE(Boot(o));
    std::string frames;
    std::vector<std::string> want;
    for (char code = 'h'; code <= 'o'; ++code) {
        frames += std::string("W") + code + "x" + code + "\r";
        want.push_back("W " + Hex({code, 'x', code}));
    }
    ASSERT_EQ(frames.size(), 40u);
    want.push_back("R 3f");

    Clock::time_point sent = Clock::now();
    ASSERT_EQ(line[0].Ask(frames + "R?\r", 4, kWaitMs), Hex(Answer("05")));
    EXPECT_GE(MsSince(sent), 42 * kByteMs);

    EXPECT_EQ(ctl.Data("frames 1"), want);
    WireLog log;
    ASSERT_NO_FATAL_FAILURE(ReadWireLog("rx", log));
    ASSERT_EQ(log.chunks.size(), 43u);
    for (size_t i = 0; i < log.chunks.size(); ++i)
        EXPECT_EQ(log.chunks[i].size(), 2u) << "chunk " << i << ": " << log.chunks[i];
    for (size_t i = 1; i < log.stamps.size(); ++i)
        EXPECT_GE(log.stamps[i] - log.stamps[i - 1], kByteMs - kStampSlack) << i;
}

// Without pacing an answer goes out in one write (how fast is not asserted).
TEST_F(SimTiming, NoPaceAnswersInOneWrite)
{
    SimOptions o;
    o.extraArgs = {"--no-pace", "--pace-read"};  // --no-pace turns read pacing off too
    ASSERT_NO_FATAL_FAILURE(Boot(o));
    ASSERT_EQ(line[0].Ask("R?\rR>\r", 8, kWaitMs), Hex(Answer("05") + Answer("01")));
    WireLog log;
    ASSERT_NO_FATAL_FAILURE(ReadWireLog("tx", log));
    EXPECT_EQ(log.chunks, (std::vector<std::string>{"30 35 0a 0d", "30 31 0a 0d"}));
}

}  // namespace
}  // namespace simtest
