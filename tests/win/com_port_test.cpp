// The serial port against the device simulator: COM1 of the bench is device 1 of the simulator.
// Each test puts back what it changed on the port and in the simulator and leaves no port open.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "link/com_port.h"
#include "tests/support/com_access.h"
#include "tests/support/elapsed.h"
#include "tests/support/sim_control.h"

namespace {

constexpr int kDevice = 1;     // the simulator's device behind COM1
constexpr int kPortIndex = 0;  // COM1

struct ProfileRow {
    const char* name;
    PortProfile profile;
    COMMTIMEOUTS timeouts;
    bool maskCleared;  // the open sets the event mask to 0
    bool writable;
};

constexpr ProfileRow kProfiles[] = {
    {"Listen", PortProfile::Listen, {10, 0, 10, 0, 0}, true, false},
    {"Exchange", PortProfile::Exchange, {10, 0, 1000, 0, 0}, false, true},
};

DCB ReadDcb(HANDLE port)
{
    DCB dcb = {};
    dcb.DCBlength = sizeof dcb;
    EXPECT_TRUE(GetCommState(port, &dcb));
    return dcb;
}

COMMTIMEOUTS ReadTimeouts(HANDLE port)
{
    COMMTIMEOUTS timeouts = {};
    EXPECT_TRUE(GetCommTimeouts(port, &timeouts));
    return timeouts;
}

DWORD ReadMask(HANDLE port)
{
    DWORD mask = 0;
    EXPECT_TRUE(GetCommMask(port, &mask));
    return mask;
}

// Every field of the timeouts, so that two compare at once and a failure shows them all.
std::string TimeoutsText(const COMMTIMEOUTS& t)
{
    char text[96];
    snprintf(text, sizeof text, "{%lu, %lu, %lu, %lu, %lu}", t.ReadIntervalTimeout,
             t.ReadTotalTimeoutMultiplier, t.ReadTotalTimeoutConstant, t.WriteTotalTimeoutMultiplier,
             t.WriteTotalTimeoutConstant);
    return text;
}

// Whether the port reads back DTR and RTS control as set. A pty under Wine reports both
// enabled whatever was set, so there the check of DTR and RTS cannot be made.
bool PortReportsDtrRts()
{
    HANDLE port = OpenComPort(kDevice);
    if (port == INVALID_HANDLE_VALUE)
        return false;
    DCB original = ReadDcb(port);
    DCB probe = original;
    probe.fDtrControl = DTR_CONTROL_DISABLE;
    probe.fRtsControl = RTS_CONTROL_DISABLE;
    SetCommState(port, &probe);
    const DCB back = ReadDcb(port);
    SetCommState(port, &original);
    CloseHandle(port);
    return back.fDtrControl == DTR_CONTROL_DISABLE && back.fRtsControl == RTS_CONTROL_DISABLE;
}

// Puts on the port, as another program would leave it, settings unlike the synchronizer's line in
// every field a driver keeps, and timeouts and an event mask of their own. Returns what the port
// could represent of them.
DCB ApplyOtherSettings()
{
    HANDLE own = OpenComPort(kDevice);
    DCB other = ReadDcb(own);
    other.BaudRate = CBR_9600;
    other.ByteSize = 7;
    other.Parity = EVENPARITY;
    other.StopBits = TWOSTOPBITS;
    other.fParity = other.fOutxCtsFlow = other.fOutxDsrFlow = other.fDsrSensitivity =
        other.fTXContinueOnXoff = other.fOutX = other.fInX = other.fErrorChar = other.fNull =
            other.fAbortOnError = 1;
    other.fDtrControl = DTR_CONTROL_ENABLE;
    other.fRtsControl = RTS_CONTROL_ENABLE;
    other.XonLim = 100;
    other.XoffLim = 200;
    other.XonChar = 0x11;
    other.XoffChar = 0x13;
    other.ErrorChar = 0x3F;
    other.EofChar = 0x1A;
    other.EvtChar = 0x7E;
    COMMTIMEOUTS timeouts = {50, 2, 300, 3, 400};
    EXPECT_TRUE(SetCommState(own, &other) && SetCommTimeouts(own, &timeouts) &&
                SetCommMask(own, EV_RXCHAR | EV_ERR));
    const DCB kept = ReadDcb(own);
    CloseHandle(own);
    EXPECT_EQ(DcbText(other, true), DcbText(kept, true)) << "the port keeps the other settings";
    return kept;
}

class ComPortTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SimPlug(kDevice, true)) << "is the simulator up (tools/bench up)?";
        ASSERT_TRUE(SimMode(kDevice, "normal"));
        DrainComPort(kDevice);  // a byte an earlier test left on the line would end a drain early
        ASSERT_TRUE(SimClear(kDevice));
        ASSERT_TRUE(ReadPortDcb(kDevice, &original_));
    }
    void TearDown() override
    {
        RestoreAndClosePort();
        SimPlug(kDevice, true);
        SimMode(kDevice, "normal");
        SimClear(kDevice);
        WritePortDcb(kDevice, original_);
    }
    DCB original_ = {};
};

TEST_F(ComPortTest, BothProfilesOpenInTheLineSettingsWithTheirTimeouts)
{
    const bool checkDtrRts = PortReportsDtrRts();
    if (!checkDtrRts)
        printf("[ note     ] this port reads DTR/RTS control back as enabled whatever is set: not checked\n");
    for (const ProfileRow& row : kProfiles) {
        SCOPED_TRACE(row.name);
        ApplyOtherSettings();
        ASSERT_EQ(1, OpenPort(kPortIndex, row.profile));
        ASSERT_NE(ComPort.handle, INVALID_HANDLE_VALUE);
        EXPECT_EQ(DcbText(SyncLine(), true, checkDtrRts),
                  DcbText(ReadDcb(ComPort.handle), true, checkDtrRts));
        EXPECT_EQ(TimeoutsText(row.timeouts), TimeoutsText(ReadTimeouts(ComPort.handle)))
            << "profile timeouts";
        if (row.maskCleared) {
            EXPECT_EQ(0u, ReadMask(ComPort.handle));
        }

        // Listen opens read-only: a write must be refused (and reach nothing).
        if (!row.writable) {
            DWORD written = 0;
            const unsigned char byte = 'x';
            EXPECT_FALSE(WriteFile(ComPort.handle, &byte, 1, &written, nullptr));
        }
        RestoreAndClosePort();
        EXPECT_EQ(ComPort.handle, INVALID_HANDLE_VALUE);
    }
    EXPECT_TRUE(SimFrames(kDevice).empty()) << "nothing was to be sent";
}

// The DCB that OpenPort applies, in both profiles, before it is applied: every field is the
// line's, whatever the DCB held before.
TEST(PortDcbTest, FillSetsEveryFieldOfTheLine)
{
    DCB filled;
    memset(&filled, 0xFF, sizeof filled);
    FillPortDcb(filled);
    EXPECT_EQ(DcbText(SyncLine()), DcbText(filled));
}

// Timeouts and the event mask belong to the handle under Wine (a fresh handle has zeros) but to
// the port under Windows: what OpenPort saw is what a fresh handle shows, and it is watched
// through a duplicate of the program's handle, which outlives its close.
TEST_F(ComPortTest, RestoreAndClosePutsBackTheFormerSettings)
{
    for (const ProfileRow& row : kProfiles) {
        SCOPED_TRACE(row.name);
        const DCB before = ApplyOtherSettings();
        HANDLE own = OpenComPort(kDevice);
        ASSERT_NE(own, INVALID_HANDLE_VALUE);
        const COMMTIMEOUTS freshTimeouts = ReadTimeouts(own);
        const DWORD freshMask = ReadMask(own);
        CloseHandle(own);
        ASSERT_NE(1200u, before.BaudRate) << "the port did not take the other settings";
        ASSERT_NE(TimeoutsText(freshTimeouts), TimeoutsText(row.timeouts)) << "a restore would not show";

        ASSERT_EQ(1, OpenPort(kPortIndex, row.profile));
        HANDLE watch = INVALID_HANDLE_VALUE;
        ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), ComPort.handle, GetCurrentProcess(), &watch, 0,
                                    FALSE, DUPLICATE_SAME_ACCESS));
        EXPECT_EQ(1200u, ReadDcb(watch).BaudRate);
        RestoreAndClosePort();
        EXPECT_EQ(ComPort.handle, INVALID_HANDLE_VALUE);
        EXPECT_EQ(DcbText(before), DcbText(ReadDcb(watch))) << "state after the close";
        EXPECT_EQ(TimeoutsText(freshTimeouts), TimeoutsText(ReadTimeouts(watch)))
            << "timeouts after the close";
        EXPECT_EQ(freshMask, ReadMask(watch));
        CloseHandle(watch);

        own = OpenComPort(kDevice);
        ASSERT_NE(own, INVALID_HANDLE_VALUE);
        EXPECT_EQ(DcbText(before), DcbText(ReadDcb(own))) << "state at the next open";
        CloseHandle(own);
    }
}

// Bytes the device sent while the port was closed, and a byte that arrives during the Exchange
// drain, never reach the accumulator, which the open leaves empty and zero-filled.
TEST_F(ComPortTest, OpenDiscardsPendingBytesAndZeroesTheAccumulator)
{
    const std::vector<unsigned char> banner = {'A', 'T', 'S', '0', '=', '1', 0x0A, 0x0D};
    struct Row {
        const ProfileRow& profile;
        bool sendBefore;       // the banner, sent while the port is closed
        bool sendDuringDrain;  // one byte, sent while the drain waits on a quiet line
    };
    const Row rows[] = {
        {kProfiles[0], true, false}, {kProfiles[1], true, false}, {kProfiles[1], false, true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.profile.name) + (row.sendBefore ? ", bytes before the open" : "") +
                     (row.sendDuringDrain ? ", a byte during the drain" : ""));
        if (row.sendBefore) {
            ASSERT_TRUE(SimSend(kDevice, banner));  // returns once the bytes are on the line
        }
        memset(ComPort.accumulator.bytes, 0xAA, sizeof ComPort.accumulator.bytes);
        ComPort.accumulator.end = 17;

        std::thread late;
        if (row.sendDuringDrain) {
            // Sent once the open has put its line settings on the port: the drain comes next and
            // waits a second on a quiet line, so the byte lands in it.
            ASSERT_TRUE(SimCommandOn(kDevice, "line", "9600 8N2").ok);
            late = std::thread([] {
                const ULONGLONG end = GetTickCount64() + 10000;
                while (SimCommandOn(kDevice, "line").lines != std::vector<std::string>{"1200 8N1"} &&
                       GetTickCount64() < end) {
                }
                SimSend(kDevice, {'A'});
            });
        }
        const auto start = std::chrono::steady_clock::now();
        const int opened = OpenPort(kPortIndex, row.profile.profile);
        const double openMs = MsSince(start);
        if (late.joinable())
            late.join();
        ASSERT_EQ(1, opened);
        printf("[ measured ] %s open: %.0f ms, drain read %lu bytes\n", row.profile.name, openMs,
               static_cast<unsigned long>(ComPort.bytesRead));
        if (row.sendDuringDrain) {
            EXPECT_EQ(1u, ComPort.bytesRead) << "the drain did not read the byte";
        }

        EXPECT_EQ(0u, ComPort.accumulator.end);
        EXPECT_EQ(0, std::count_if(std::begin(ComPort.accumulator.bytes), std::end(ComPort.accumulator.bytes),
                                   [](unsigned char b) { return b != 0; }));

        // Nothing of them is left to read either.
        ASSERT_EQ(1, ReadPort(kReadBufferSize));
        EXPECT_EQ(0u, ComPort.bytesRead);
        AppendToAccumulator();
        EXPECT_EQ(0u, ComPort.accumulator.end);
        RestoreAndClosePort();
    }
}

TEST_F(ComPortTest, AbsentPortFailsToOpenAndLeavesNoPort)
{
    ASSERT_TRUE(SimPlug(kDevice, false));
    for (const ProfileRow& row : kProfiles) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(0, OpenPort(kPortIndex, row.profile));
        EXPECT_EQ(ComPort.handle, INVALID_HANDLE_VALUE);
        RestoreAndClosePort();
        RestoreAndClosePort();
        EXPECT_EQ(ComPort.handle, INVALID_HANDLE_VALUE);
    }
    EXPECT_EQ(0, OpenPort(-1, PortProfile::Exchange));
    EXPECT_EQ(0, OpenPort(kPortCount, PortProfile::Exchange));
    EXPECT_EQ(ComPort.handle, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(SimPlug(kDevice, true));
    // Plugged again, the same index opens.
    EXPECT_EQ(1, OpenPort(kPortIndex, PortProfile::Listen));
}

// A second RestoreAndClosePort must not touch a handle that has taken the old handle's place:
// neither close it nor give it the saved settings.
TEST_F(ComPortTest, SecondCloseLeavesOtherHandlesAlone)
{
    ASSERT_EQ(1, OpenPort(kPortIndex, PortProfile::Listen));
    RestoreAndClosePort();

    HANDLE own = OpenComPort(kDevice);
    ASSERT_NE(own, INVALID_HANDLE_VALUE);
    DCB distinct = ReadDcb(own);
    distinct.BaudRate = CBR_4800;
    ASSERT_TRUE(SetCommState(own, &distinct));
    COMMTIMEOUTS timeouts = {7, 0, 77, 0, 0};
    ASSERT_TRUE(SetCommTimeouts(own, &timeouts));

    RestoreAndClosePort();
    EXPECT_EQ(ComPort.handle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(4800u, ReadDcb(own).BaudRate);
    EXPECT_EQ(TimeoutsText(timeouts), TimeoutsText(ReadTimeouts(own))) << "own handle";
    EXPECT_TRUE(CloseHandle(own)) << "the handle was closed behind our back";
}

TEST_F(ComPortTest, ExchangeOpenOnAQuietLineWaitsForTheDrain)
{
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(1, OpenPort(kPortIndex, PortProfile::Exchange));
    const double exchangeMs = MsSince(start);
    RestoreAndClosePort();

    const auto listenStart = std::chrono::steady_clock::now();
    ASSERT_EQ(1, OpenPort(kPortIndex, PortProfile::Listen));
    const double listenMs = MsSince(listenStart);
    RestoreAndClosePort();

    printf("[ measured ] open on a quiet line: Exchange %.0f ms, Listen %.0f ms\n", exchangeMs, listenMs);
    EXPECT_GE(exchangeMs, 900.0) << "the drain waits its 1000 ms total timeout";
}

}  // namespace
