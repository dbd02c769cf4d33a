// qsync's command line: port names, seconds, options; and the register count of its progress
// line, from the positions a load or save reports.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/line_trace.h"
#include "qsync/arguments.h"
#include "qsync/register_count.h"

namespace {

TEST(QsyncArguments, PortNamesOpenUnderTheNameWindowsTakes)
{
    const struct {
        const char* text;
        const char* device;  // nullptr: refused
        const char* shown;
    } rows[] = {
        {"COM1", "COM1", "COM1"},
        {"com9", "COM9", "COM9"},
        {"COM10", "\\\\.\\COM10", "COM10"},
        {"\\\\.\\COM3", "COM3", "COM3"},
        {"\\\\.\\cOm256", "\\\\.\\COM256", "COM256"},
        {"COM257", nullptr, nullptr},
        {"COM0", nullptr, nullptr},
        {"COM01", nullptr, nullptr},
        {"COM", nullptr, nullptr},
        {"COM1:", nullptr, nullptr},
        {"COM 1", nullptr, nullptr},
        {"COM99999999999", nullptr, nullptr},
        {"LPT1", nullptr, nullptr},
        {"\\\\.\\LPT1", nullptr, nullptr},
        {"//./COM1", nullptr, nullptr},
        {"", nullptr, nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        PortName port = {"untouched", "same"};
        EXPECT_EQ(ParsePortName(row.text, &port), row.device != nullptr);
        EXPECT_STREQ(port.device, row.device ? row.device : "untouched");
        EXPECT_STREQ(port.shown, row.shown ? row.shown : "same");
    }
}

// The window program's four places: the ports named first, then the others' own ports, a port
// named elsewhere left out ("-"). The refusals are the shell scenario's rows.
TEST(QsyncArguments, PortsNamedTakeTheFirstPlaces)
{
    const struct {
        std::vector<const char*> words;
        const char* devices;
    } rows[] = {
        {{}, "COM1 COM2 COM3 COM4"},
        {{"com12"}, "\\\\.\\COM12 COM2 COM3 COM4"},
        {{"COM3"}, "COM3 COM2 - COM4"},
        {{"COM4", "\\\\.\\COM1"}, "COM4 COM1 COM3 -"},
    };
    for (const auto& row : rows) {
        PortName places[kPortPlaceCount];
        ASSERT_EQ(PlacePorts(row.words.data(), static_cast<int>(row.words.size()), places), -1);
        std::string devices;
        for (const PortName& place : places)
            devices += std::string(devices.empty() ? "" : " ") + (place.device[0] ? place.device : "-");
        EXPECT_EQ(devices, row.devices);
    }
}

TEST(QsyncArguments, SecondsAreWholeNumbersFromOneToAnHour)
{
    const struct {
        const char* text;
        int seconds;  // 0: refused
    } rows[] = {{"1", 1},  {"30", 30}, {"3600", 3600}, {"3601", 0}, {"0", 0},
                {"05", 0}, {"-5", 0},  {"1.5", 0},     {"", 0}};
    for (const auto& row : rows) {
        int seconds = -1;
        EXPECT_EQ(ParseSeconds(row.text, &seconds), row.seconds != 0) << row.text;
        EXPECT_EQ(seconds, row.seconds ? row.seconds : -1) << row.text;
    }
}

TEST(QsyncArguments, OptionsAreTakenAnywhereOnceEachAndOnlyWhereTheCommandAllowsThem)
{
    const unsigned writeOptions = OptionBit(kModelChannelOption);
    const unsigned readOptions = OptionBit(kOutputOption) | OptionBit(kQuietOption);
    const struct {
        std::vector<const char*> argv;
        unsigned allowed;
        const char* err;     // nullptr: accepted
        const char* output;  // the value of -o when accepted
    } rows[] = {
        {{"--model-channel", "COM1", "f.ini"}, writeOptions, nullptr, nullptr},
        {{"COM1", "-o", "f.ini"}, readOptions, nullptr, "f.ini"},
        {{"COM1", "-of.ini"}, readOptions, nullptr, "f.ini"},
        {{"-qo", "f.ini", "COM1"}, readOptions, nullptr, "f.ini"},
        {{"COM1", "--output=f.ini"}, readOptions, nullptr, "f.ini"},
        {{"COM1", "--output", "-"}, readOptions, nullptr, "-"},
        {{"COM1", "--output="}, readOptions, nullptr, ""},
        {{"--", "-o", "f.ini"}, readOptions, nullptr, nullptr},
        {{"COM1", "--outp", "f.ini"}, readOptions, "unknown option --outp", nullptr},
        {{"COM1", "-o"}, readOptions, "-o needs a value", nullptr},
        {{"COM1", "--model-channel"}, readOptions, "--model-channel is not an option of read", nullptr},
        {{"COM1", "-qx"}, readOptions, "unknown option -x", nullptr},
        {{"COM1", "--model-channel=yes"}, writeOptions, "--model-channel takes no value", nullptr},
        {{"COM1", "--model-channel", "--model-channel"},
         writeOptions,
         "--model-channel given twice",
         nullptr},
        {{"COM1", "-o", "a", "--output=b"}, readOptions, "--output given twice", nullptr},
    };
    for (const auto& row : rows) {
        Invocation invocation = {};
        char err[64] = "";
        const bool accepted = ParseInvocation(static_cast<int>(row.argv.size()), row.argv.data(), row.allowed,
                                              "read", &invocation, err, sizeof err);
        EXPECT_EQ(accepted, row.err == nullptr) << err;
        EXPECT_STREQ(err, row.err ? row.err : "");
        EXPECT_STREQ(invocation.options[kOutputOption] ? invocation.options[kOutputOption] : "(none)",
                     row.output ? row.output : "(none)");
    }
    const char* const argv[] = {"--model-channel", "COM1", "f.ini"};
    Invocation invocation = {};
    char err[64];
    ASSERT_TRUE(ParseInvocation(3, argv, writeOptions, "write", &invocation, err, sizeof err));
    EXPECT_EQ(invocation.wordCount, 2);
    EXPECT_STREQ(invocation.words[0], "COM1");
    EXPECT_STREQ(invocation.words[1], "f.ini");
    EXPECT_STREQ(invocation.options[kModelChannelOption], "");
    EXPECT_EQ(invocation.options[kOutputOption], nullptr);
}

// A trace line as qsync --trace writes it, and the trace file of each port of a list.
TEST(QsyncArguments, TraceLinesShowTimeDirectionHexAndTextAndEachPortHasItsFile)
{
    const struct {
        uint64_t ms;
        TraceDirection direction;
        std::string bytes, line;
    } rows[] = {
        {12345, TraceDirection::Sent, "R?\r", "+12.345 TX 52 3F 0D \"R?\\r\"\n"},
        {12390, TraceDirection::Received, "05\n\r", "+12.390 RX 30 35 0A 0D \"05\\n\\r\"\n"},
        {7, TraceDirection::Dropped, std::string("\0\"", 2), "+0.007 DROP 00 22 \"\\x00\\\"\"\n"},
    };
    char line[kTraceLineSize];
    for (const auto& row : rows) {
        const size_t length =
            FormatTraceLine(row.ms, row.direction, reinterpret_cast<const unsigned char*>(row.bytes.data()),
                            row.bytes.size(), line, sizeof line);
        EXPECT_EQ(std::string(line, length), row.line);
    }
    const std::string fullRead(256, '\x01');  // every byte at its widest: "\x01"
    EXPECT_EQ(
        FormatTraceLine(0, TraceDirection::Received, reinterpret_cast<const unsigned char*>(fullRead.data()),
                        fullRead.size(), line, sizeof line),
        9 + 256 * 3 + 2 + 256 * 4 + 2u);
    const char* const paths[][3] = {
        {"line.txt", "COM3", "line-COM3.txt"},
        {"logs/line", "/dev/ttyUSB0", "logs/line-dev_ttyUSB0"},
        {"a.b/line", "/dev/serial/by-id/usb-X:1", "a.b/line-dev_serial_by-id_usb-X_1"},
    };
    for (const auto& row : paths) {
        char out[64];
        EXPECT_TRUE(TracePathForPort(row[0], row[1], out, sizeof out));
        EXPECT_STREQ(out, row[2]);
    }
}

// The positions each operation reports, in order (see the step tables of the load and save).
std::vector<int> Positions(const std::vector<std::pair<int, int>>& ranges)
{
    std::vector<int> positions;
    for (const auto& [first, last] : ranges) {
        for (int p = first; p <= last; ++p)
            positions.push_back(p);
    }
    return positions;
}

TEST(QsyncRegisterCount, CountsEachRegisterOnceAndEndsAtThePhasesTotal)
{
    const struct {
        RegisterPhase phase;
        bool modelAndChannel;
        std::vector<int> positions;
        int total;
        int countAfterInitStrings;  // when the comment loop starts its first register
    } rows[] = {
        {RegisterPhase::Load, false, Positions({{1, 6}, {10, 10}, {14, 59}}), 49, 42},
        {RegisterPhase::Write, true, Positions({{1, 4}, {8, 8}, {12, 51}, {50, 57}, {60, 60}}), 49, 42},
        {RegisterPhase::Write, false, Positions({{1, 4}, {8, 8}, {12, 51}, {50, 57}, {60, 60}}), 47, 40},
        {RegisterPhase::Compare, true, Positions({{1, 4}, {8, 8}, {12, 57}, {60, 60}}), 49, 42},
        {RegisterPhase::Compare, false, Positions({{1, 4}, {8, 8}, {12, 57}, {60, 60}}), 47, 40},
    };
    for (const auto& row : rows) {
        RegisterCounter counter = StartCounting(row.phase, row.modelAndChannel);
        EXPECT_EQ(RegistersInPhase(counter), row.total);
        std::vector<int> counts;
        for (int position : row.positions)
            counts.push_back(CountAt(counter, position));
        EXPECT_EQ(counts.front(), 0);
        EXPECT_EQ(counts.back(), row.total);
        for (size_t i = 1; i < counts.size(); ++i)
            EXPECT_LE(counts[i - 1], counts[i]) << "at report " << i;
        // The first report of the comment loop is the eighth from the end before its last.
        const size_t commentStart = counts.size() - (row.positions.back() == 60 ? 9 : 8);
        EXPECT_EQ(counts[commentStart], row.countAfterInitStrings);
    }
}

}  // namespace
