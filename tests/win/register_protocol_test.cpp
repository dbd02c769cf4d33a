// The register protocol against the device simulator behind COM1, checked on what the device
// received (its frames and its wire log) and on what the program got back.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "link/com_port.h"
#include "link/register_protocol.h"
#include "tests/support/elapsed.h"
#include "tests/support/sim_control.h"
#include "tests/support/wire_frames.h"

namespace {

constexpr int kDevice = 1;
constexpr int kPortIndex = 0;

using Bytes = std::vector<unsigned char>;

// Every byte the device received since the last clear, from the "rx" lines of its wire log.
Bytes ReceivedBytes()
{
    Bytes bytes;
    for (const std::string& line : SimCommandOn(kDevice, "log").lines) {
        const size_t rx = line.find(" rx");
        std::istringstream hex(rx == std::string::npos ? "" : line.substr(rx + 3));
        for (unsigned value = 0; hex >> std::hex >> value;)
            bytes.push_back(static_cast<unsigned char>(value));
    }
    return bytes;
}

// An Exchange port on COM1 with the device in normal mode and its logs empty; the registers are
// put back as they were, whatever the test wrote.
class RegisterProtocolTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SimPlug(kDevice, true)) << "is the simulator up (tools/bench up)?";
        ASSERT_TRUE(SimMode(kDevice, "normal"));
        saved_ = DeviceImage(kDevice);
        ASSERT_EQ(49u, saved_.size());
        ASSERT_EQ(1, OpenPort(kPortIndex, PortProfile::Exchange));
        ASSERT_TRUE(SimClear(kDevice));
    }
    void TearDown() override
    {
        RestoreAndClosePort();
        SimMode(kDevice, "normal");
        RegisterImage now = DeviceImage(kDevice);
        for (const auto& [code, pair] : saved_) {
            if (now[code] != pair)
                SetRegisterRun(kDevice, code, pair);
        }
        SimClear(kDevice);
    }
    RegisterImage saved_;
};

TEST_F(RegisterProtocolTest, SendTextSendsUpToFifteenCharacters)
{
    struct Row {
        const char* text;
        int result;
    };
    // Lower-case letters open no frame: the device reports each as a stray byte.
    constexpr Row rows[] = {
        {"abcdefghijklmno", 1},
        {"abcdefghijklmnop", 0},
        {"abcdefghijklmnopqrstuvwxyz", 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        ASSERT_TRUE(SimClear(kDevice));
        EXPECT_EQ(row.result, SendText(row.text));
        const Bytes wantWire = row.result == 1 ? Bytes(row.text, row.text + strlen(row.text)) : Bytes{};
        FrameList wantFrames;
        for (unsigned char c : wantWire)
            wantFrames.push_back(StrayFrame(c));
        EXPECT_EQ(wantWire, ReceivedBytes());
        EXPECT_EQ(wantFrames, SimFrames(kDevice));
    }
}

TEST_F(RegisterProtocolTest, HandshakeIsTwoOkTexts)
{
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(1, SendText(kHandshakeText));
    ASSERT_EQ(1, SendText(kHandshakeText));
    const double ms = MsSince(start);
    printf("[ measured ] handshake: %.0f ms\n", ms);
    EXPECT_EQ((std::vector<std::string>{"OK", "OK"}), SimFrames(kDevice));
    EXPECT_EQ((Bytes{'O', 'K', 0x0D, 0x0A, 'O', 'K', 0x0D, 0x0A}), ReceivedBytes());
    EXPECT_GE(ms, 2 * 4 * 8.3) << "eight bytes take their line time at 1200 baud";
}

// Each row: a write frame, then a read frame of the same register, on the wire byte for byte,
// and the read returns what was written. Pairs holding frame bytes (R, W, CR, LF) are not special.
TEST_F(RegisterProtocolTest, WriteAndReadFramesAndRoundTrip)
{
    struct Row {
        unsigned char code;
        unsigned char pair[2];
    };
    constexpr Row rows[] = {
        {'?', {'0', '7'}}, {'>', {'9', '9'}},   {'6', {'1', '<'}},
        {'H', {'R', 'W'}}, {'P', {0x0D, 0x0A}}, {'o', {0x07, 0x07}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(WriteFrame(row.code, row.pair[0], row.pair[1]));
        ASSERT_TRUE(SimClear(kDevice));
        EXPECT_EQ(1, WriteRegister(row.code, row.pair));
        EXPECT_EQ((Bytes{'W', row.code, row.pair[0], row.pair[1], 0x0D}), ReceivedBytes());
        EXPECT_EQ((FrameList{WriteFrame(row.code, row.pair[0], row.pair[1])}), SimFrames(kDevice));
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(row.pair), 2), DeviceImage(kDevice)[row.code]);

        ASSERT_TRUE(SimClear(kDevice));
        unsigned char got[2] = {0xEE, 0xEE};
        EXPECT_EQ(1, ReadRegister(row.code, got));
        EXPECT_EQ(row.pair[0], got[0]);
        EXPECT_EQ(row.pair[1], got[1]);
        EXPECT_EQ((Bytes{'R', row.code, 0x0D}), ReceivedBytes());
        EXPECT_EQ((FrameList{ReadFrame(row.code)}), SimFrames(kDevice));
    }
}

// A byte that trails a whole reply and waits in the port by the next read frame is thrown away,
// not taken for the start of the next reply.
TEST_F(RegisterProtocolTest, ByteTrailingAReplyIsNotTakenForTheNext)
{
    ASSERT_TRUE(SimMode(kDevice, "shape abnr/s"));
    unsigned char first[2] = {0, 0}, second[2] = {0, 0};
    ASSERT_EQ(1, ReadRegister('?', first));
    const auto bytesSent = [] {  // paced: one " tx" line a byte
        const std::vector<std::string> log = SimCommandOn(kDevice, "log").lines;
        return std::count_if(log.begin(), log.end(),
                             [](const std::string& l) { return l.find(" tx") != l.npos; });
    };
    for (int polls = 0; polls < 1000 && bytesSent() < 5; ++polls) {
    }  // until the trailing byte has reached the port
    EXPECT_EQ(1, ReadRegister('?', second));
    EXPECT_EQ(0, memcmp(first, second, 2));
}

// How a read fares against each way the device may answer. Each row runs in its own process on a
// freshly opened port, so a reply left half read by one row cannot upset the next.
enum class PairFrom { Register, StrayThenFirst, EarlierRead };
struct ReadModeRow {
    const char* mode;
    int result;
    PairFrom pair;
    double minMs;  // what the timeouts make the read last at least
};

constexpr ReadModeRow kReadModes[] = {
    {"normal", 1, PairFrom::Register, 0},
    {"split", 1, PairFrom::Register, 60},  // the device pauses 60 ms inside its reply
    {"crlf", 0, PairFrom::Register, 0},
    {"stray", 0, PairFrom::StrayThenFirst, 0},
    {"silent", 0, PairFrom::EarlierRead, 1900},  // two reads of 1000 ms that get nothing
    // The reply's edges, from the simulator's reply shapes (a b pair, n LF, r CR, s stray, / pause):
    {"shape abn/r", 1, PairFrom::Register, 16},    // 3 bytes, then the last: two reads, accepted
    {"shape abn", 0, PairFrom::Register, 900},     // 3 bytes; the earlier reply's CR still sits 4th
    {"shape abn/rs", 0, PairFrom::Register, 16},   // 3 + 2 over two reads, LF CR in their places
    {"shape a/b/n/r", 1, PairFrom::Register, 48},  // four pieces 16 ms apart, as behind an adapter
    {"latency 20", 1, PairFrom::Register, 0},      // the reply handed on in bursts every 20 ms
    {"shape abnrs", 0, PairFrom::Register, 0},     // 5 in one read, LF CR in their places
};

void PrintTo(const ReadModeRow& row, std::ostream* out)
{
    *out << row.mode;
}

class ReadModeTest : public RegisterProtocolTest, public ::testing::WithParamInterface<ReadModeRow> {};

TEST_P(ReadModeTest, ReadAcceptsOnlyFourBytesEndingLfCr)
{
    const ReadModeRow& row = GetParam();
    constexpr unsigned char kCode = '?', kEarlierCode = '>';
    const unsigned char value[2] = {'4', '2'}, earlier[2] = {'x', 'y'};
    ASSERT_TRUE(SimSetRegister(kDevice, kCode, value[0], value[1]));
    ASSERT_TRUE(SimSetRegister(kDevice, kEarlierCode, earlier[0], earlier[1]));

    // A good read first, so that the accumulator holds its bytes.
    unsigned char pair[2] = {0, 0};
    ASSERT_EQ(1, ReadRegister(kEarlierCode, pair));
    ASSERT_EQ(earlier[0], pair[0]);

    ASSERT_TRUE(SimMode(kDevice, row.mode));
    ASSERT_TRUE(SimClear(kDevice));
    pair[0] = pair[1] = 0xEE;
    const auto start = std::chrono::steady_clock::now();
    const int result = ReadRegister(kCode, pair);
    const double ms = MsSince(start);
    printf("[ measured ] read in mode %s: %.0f ms\n", row.mode, ms);

    EXPECT_EQ(row.result, result);
    const unsigned char strayThenFirst[2] = {0x55, value[0]};
    const unsigned char* want = row.pair == PairFrom::StrayThenFirst ? strayThenFirst
                                : row.pair == PairFrom::EarlierRead  ? earlier
                                                                     : value;
    EXPECT_EQ(want[0], pair[0]);
    EXPECT_EQ(want[1], pair[1]);
    EXPECT_EQ((FrameList{ReadFrame(kCode)}), SimFrames(kDevice));
    EXPECT_GE(ms, row.minMs);
}

INSTANTIATE_TEST_SUITE_P(Modes, ReadModeTest, ::testing::ValuesIn(kReadModes),
                         [](const ::testing::TestParamInfo<ReadModeRow>& info) {
                             std::string name = info.param.mode;
                             for (char& c : name)
                                 c = isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return name;
                         });

// A whole save's worth of writes, then a load's worth of reads, with the device taking its input
// at line speed: none may fail. A program that ran ahead of the line would leave the device
// seconds behind, and the reads would time out before their answers came.
class LineSpeedTest : public RegisterProtocolTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SimCommand("pace read").ok) << "the simulator reads at line speed";
        RegisterProtocolTest::SetUp();
    }
    void TearDown() override
    {
        RegisterProtocolTest::TearDown();
        SimCommand("pace on");  // the bench's own pacing: output only
    }
};

TEST_F(LineSpeedTest, FortyNineWritesThenFortyNineReads)
{
    std::vector<unsigned char> codes;
    for (const auto& [code, pair] : saved_)
        codes.push_back(code);  // all 49: SetUp saw to that
    auto pairOf = [](size_t i, unsigned char out[2]) {
        out[0] = static_cast<unsigned char>('A' + i % 26);
        out[1] = static_cast<unsigned char>('a' + (i * 7) % 26);
    };

    std::vector<std::string> wantFrames;
    const auto writeStart = std::chrono::steady_clock::now();
    for (size_t i = 0; i < codes.size(); ++i) {
        unsigned char pair[2];
        pairOf(i, pair);
        ASSERT_EQ(1, WriteRegister(codes[i], pair)) << "write " << i;
        wantFrames.push_back(WriteFrame(codes[i], pair[0], pair[1]));
    }
    const double writeMs = MsSince(writeStart);

    const auto readStart = std::chrono::steady_clock::now();
    int readsOk = 0;
    for (size_t i = 0; i < codes.size(); ++i) {
        unsigned char want[2], got[2] = {0, 0};
        pairOf(i, want);
        const int ok = ReadRegister(codes[i], got);
        EXPECT_EQ(1, ok) << "read " << i;
        EXPECT_EQ(0, memcmp(want, got, 2)) << "read " << i;
        readsOk += ok;
    }
    const double readMs = MsSince(readStart);
    printf("[ measured ] 49 writes: %.0f ms, 49 reads: %.0f ms (%d read ok)\n", writeMs, readMs, readsOk);

    // Five bytes at 1200 baud take 41.7 ms: 49 write frames cannot leave faster.
    EXPECT_GE(writeMs, 49 * 41.6);

    for (unsigned char code : codes)
        wantFrames.push_back(ReadFrame(code));
    EXPECT_EQ(wantFrames, SimFrames(kDevice));
}

}  // namespace
