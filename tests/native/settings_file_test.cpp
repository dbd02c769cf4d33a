// The settings file: print and parse, every refusal with its line, differences, and the way from
// a file to a save and from a load back to a file.
#include "link/settings_file.h"
#include "tests/support/power_on_settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "sync_test_support.h"

namespace {

constexpr char kHeader[] = "read from COM1 on 2026-12-07 14:03";

// The editor after Defaults with comment QSIM, as a file.
const std::string kValid = std::string("; read from COM1 on 2026-12-07 14:03\r\n") + kPowerOnSettingsBody;

SettingsFileFields Fields(int32_t model, int32_t channel, int32_t baud, int32_t start, int32_t end, bool sync,
                          const std::string (&init)[4], const std::string& comment)
{
    SettingsFileFields f;
    std::memset(&f, 0, sizeof f);
    f.model = model, f.channel = channel, f.baud = baud, f.startFrame = start, f.endFrame = end;
    f.synchronize = sync;
    for (int s = 0; s < 4; ++s)
        std::memcpy(f.initStrings[s], init[s].data(), init[s].size());
    std::memcpy(f.comment, comment.data(), comment.size());
    return f;
}

SettingsFileFields ValidFields()
{
    return Fields(5, 1, 9600, 1, 500, true, {"0KL0DS", "", "", ""}, "QSIM");
}

bool operator==(const SettingsFileFields& a, const SettingsFileFields& b)
{
    return a.model == b.model && a.channel == b.channel && a.baud == b.baud && a.startFrame == b.startFrame &&
           a.endFrame == b.endFrame && a.synchronize == b.synchronize &&
           std::memcmp(a.initStrings, b.initStrings, sizeof a.initStrings) == 0 &&
           std::memcmp(a.comment, b.comment, sizeof a.comment) == 0;
}

std::string Print(const SettingsFileFields& f, const char* header = kHeader)
{
    char out[kSettingsFileBodySize + 64];
    const size_t n = PrintSettingsFile(f, header, out, sizeof out);
    EXPECT_EQ(n, std::strlen(out));
    return std::string(out, n);
}

// Parses a copy of `text` held in a block of its exact size, so that ASan sees any read past it.
bool Parse(const std::string& text, SettingsFileFields* f, std::string* err)
{
    std::vector<char> exact(text.begin(), text.end());
    char message[128];
    const bool ok = ParseSettingsFile(exact.data(), exact.size(), f, message, sizeof message);
    *err = message;
    return ok;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// kValid (LF endings) with its lines from the one starting with `from` overwritten by the lines of
// `with`, the file growing when they run past its end. No `from`: `with` is the whole text.
std::string Edited(const char* from, const std::string& with)
{
    if (from == nullptr)
        return with;
    std::string lf = kValid;
    lf.erase(std::remove(lf.begin(), lf.end(), '\r'), lf.end());
    std::vector<std::string> lines = Lines(lf), edits = Lines(with);
    size_t at = 0;
    while (lines[at].rfind(from, 0) != 0)
        ++at;
    lines.resize(std::max(lines.size(), at + edits.size()));
    std::copy(edits.begin(), edits.end(), lines.begin() + at);
    std::string text;
    for (const std::string& l : lines)
        text += l + "\n";
    return text;
}

const std::string k23(23, 'A');

struct Refusal {
    const char* from;  // the first line overwritten; nullptr: `with` is the whole file
    std::string with;
    int line;
    const char* reason;
};

const Refusal kRefusals[] = {
    {nullptr, "", 1, "missing [synchronizer] section header"},
    {nullptr, "; nothing\n\n# here\n", 3, "missing [synchronizer] section header"},
    {nullptr, kValid + std::string(kSettingsFileMaxSize, ';'), 1, "larger than 65536 bytes"},
    {"[synchronizer]", ";", 3, "text before the [synchronizer] section header"},
    {"[synchronizer]", "model = 5", 2, "text before the [synchronizer] section header"},
    {"comment", "[synchronizer]", 13, "repeated section header (first on line 2)"},
    {"[synchronizer]", "[synchroniser]", 2, "unknown section [synchroniser], expected [synchronizer]"},
    {"[synchronizer]", "[ synchronizer ]", 2, "unknown section"},
    {"model", "; gone", 13, "missing key 'model'"},
    {"comment", "   ", 13, "missing key 'comment'"},
    {"channel", "model = 6", 4, "duplicate key 'model' (first on line 3)"},
    {"comment", "comment = \"\"\ncolour = 5", 14, "unknown key 'colour'"},
    {"init1", "init1 = \"a\\rb\"", 9,
     "init1 holds a CR (\\r), which the device takes as the end of an init string"},
    {"model", "start frame = 5", 3, "unknown key 'start frame'"},
    {"model", "mod\x01l = 5", 3, "unknown key 'mod\\x01l'"},
    {"model", "model 5", 3, "expected key = value"},
    {"model", "= 5", 3, "expected key = value"},
    {"model", "model = 100", 3, "model out of range 0 to 99"},
    {"model", "model = -5", 3, "model out of range 0 to 99"},
    {"channel", "channel = 0", 4, "channel out of range 1 to 99"},
    {"channel", "channel = 100", 4, "channel out of range 1 to 99"},
    {"start_frame", "start_frame = -1", 6, "start_frame out of range 0 to 53999"},
    {"start_frame", "start_frame = 54000", 6, "start_frame out of range 0 to 53999"},
    {"end_frame", "end_frame = -1", 7, "end_frame out of range 0 to 54000"},
    {"end_frame", "end_frame = 54001", 7, "end_frame out of range 0 to 54000"},
    {"end_frame", "end_frame = 99999999999999999999", 7, "end_frame out of range 0 to 54000"},
    {"baud", "baud = 1201", 5, "baud must be 1200, 2400, 4800 or 9600"},
    {"baud", "baud = 0", 5, "baud must be 1200, 2400, 4800 or 9600"},
    {"model", "model = 5x", 3, "model is not a number"},
    {"model", "model =", 3, "model is not a number"},
    {"model", "model = +", 3, "model is not a number"},
    {"model", "model = 0x10", 3, "model is not a number"},
    {"model", "model = 5 ; five", 3, "model is not a number"},
    {"baud", "baud = 9600.0", 5, "baud is not a number"},
    {"synchronize", "synchronize = Yes", 8, "synchronize must be yes or no"},
    {"synchronize", "synchronize = 1", 8, "synchronize must be yes or no"},
    {"init1", "init1 = 0KL0DS", 9, "init1 must be in double quotes"},
    {"init1", "init1 =", 9, "init1 must be in double quotes"},
    {"init1", "init1 = \"0KL0DS", 9, "missing closing quote"},
    {"init1", "init1 = \"0KL0DS\\\"", 9, "missing closing quote"},
    {"init1", "init1 = \"0KL0DS\\", 9, "missing closing quote"},
    {"init1", "init1 = \"0KL\"0DS\"", 9, "text after the closing quote"},
    {"init1", "init1 = \"0KL0DS\" ; note", 9, "text after the closing quote"},
    {"init1", "init1 = \"\\q\"", 9, "unknown escape \\q"},
    {"init1", "init1 = \"\\\x01\"", 9, "unknown escape \\\\x01"},
    {"init1", "init1 = \"\\x4\"", 9, "\\x needs two hex digits"},
    {"init1", "init1 = \"\\xG1\"", 9, "\\x needs two hex digits"},
    {"init1", "init1 = \"\\x", 9, "\\x needs two hex digits"},
    {"init1", "init1 = \"\\x00\"", 9, "a NUL byte cannot be stored: it would end the text"},
    {"init1", "init1 = \"a\tb\"", 9, "control character in a text: write it as \\x09"},
    {"init1", "init1 = \"a\x7F\"", 9, "control character in a text: write it as \\x7F"},
    {"init1", "init1 = \"a\rb\"", 9, "control character in a text: write it as \\x0D"},
    {"init1", "init1 = \"" + k23 + "B\"", 9, "init1 longer than 23 characters"},
    {"init3", "init3 = \"" + k23 + "\\x41\"", 11, "init3 longer than 23 characters"},
    {"init4", "init4 = \"" + k23 + "B\"", 12, "init4 longer than 23 characters"},
    {"comment", "comment = \"" + std::string(16, 'C') + "\"", 13, "comment longer than 15 characters"},
    {"comment", "comment = \"" + std::string(16 * 4, 0) + "\"", 13,
     "a NUL byte cannot be stored: it would end the text"},
    {"init2", "init2 = \"\\x07\"", 10,
     "init2 holds a BEL (\\x07), which the device takes as the end of the init"},
    {"comment", "comment = \"a\\x07\"", 13,
     "comment holds a BEL (\\x07), which the device takes as the end of the comment"},
    {"comment", "comment = \"\xE9\"", 13, "not UTF-8 text"},
    {"comment", "comment = \"\xE4\xB8\xAD\"", 13, "U+4E2D is not a character of code page 1252"},
};

TEST(SettingsFile, EveryRefusalNamesItsLineAndReasonAndChangesNothing)
{
    for (const Refusal& r : kRefusals) {
        const std::string text = Edited(r.from, r.with);
        SettingsFileFields f;
        std::memset(&f, 0x5A, sizeof f);
        std::string err;
        EXPECT_FALSE(Parse(text, &f, &err)) << text;
        const std::string prefix = "line " + std::to_string(r.line) + ": ";
        EXPECT_EQ(err.compare(0, prefix.size(), prefix), 0) << err << "\n" << text;
        EXPECT_NE(err.find(r.reason), std::string::npos) << err << "\n" << text;
        for (size_t i = 0; i < sizeof f; ++i)
            ASSERT_EQ(reinterpret_cast<const unsigned char*>(&f)[i], 0x5A) << err;
    }
}

TEST(SettingsFile, PrintsTheFileAsAPersonReadsIt)
{
    EXPECT_EQ(Print(ValidFields()), kValid);
    EXPECT_EQ(Print(ValidFields(), nullptr).substr(0, 17), ";\r\n[synchronizer]");
    const SettingsFileFields odd =
        Fields(0, 1, 0, 0, -7, false, {"\"\\\r\n\t\x7F\xFF\x81~ ", "", "", ""}, "");
    const std::string text = Print(odd);  // values as they are, even those a parse refuses
    for (const char* line : {"model = 0\r\n", "baud = 0\r\n", "start_frame = 0\r\n", "end_frame = -7\r\n",
                             "synchronize = no\r\n",
                             "init1 = \"\\\"\\\\\\r\\n\\x09\\x7F\xC3\xBF\\x81~ \"\r\n", "comment = \"\"\r\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
}

TEST(SettingsFile, ReadsWhatItPrintsForEveryByteValueOfATextAndAnyValidNumber)
{
    constexpr int32_t kRates[] = {1200, 2400, 4800, 9600};
    SettingsFileFields back;
    std::string err;
    for (int b = 1; b < 256; ++b) {
        if (b == kBel || b == kCr)  // refused in init strings: the block's own separators
            continue;
        const std::string byte(1, static_cast<char>(b));
        // Each byte with a hex digit after it, at a text's start and end, and in the longest texts.
        const SettingsFileFields f =
            Fields(b % 99 + 1, 99 - b % 99, kRates[b % 4], b * 211 % 53999 + 1, 54000 - b, b % 2,
                   {byte + "0", std::string(22, 'x') + byte, "", byte + std::string(21, 'y')},
                   byte + std::string(13, 'F') + byte);
        std::memset(&back, 0, sizeof back);
        ASSERT_TRUE(Parse(Print(f), &back, &err)) << b << " " << err << "\n" << Print(f);
        EXPECT_TRUE(back == f) << b << "\n" << Print(f);
    }
}

TEST(SettingsFile, ReadsLineEndingsSpacingCommentsOrderAndEscapesAPersonMayWrite)
{
    const std::string crlf = kValid, lf = Edited("model", "model = 5");
    const SettingsFileFields valid = ValidFields();
    SettingsFileFields f;
    std::string err;
    const std::string accepted[] = {
        crlf,
        lf,
        lf.substr(0, lf.size() - 1),                                           // no line ending at the end
        crlf.substr(0, crlf.find("channel")) + lf.substr(lf.find("channel")),  // mixed
        Edited("model", "\t model\t=\t+5 \t"),
        Edited("channel", "channel=01"),
        Edited("comment", "comment = \"QSIM\"\n\n  ; a note\n# another\n"),
        Edited("[synchronizer]", "  [synchronizer]\r"),
        Edited(nullptr,
               "[synchronizer]\ncomment = \"QSIM\"\ninit4 = \"\"\ninit3 = \"\"\ninit2 = \"\"\n"
               "init1 = \"0KL0DS\"\nsynchronize = yes\nend_frame = 500\nstart_frame = 1\n"
               "baud = 9600\nchannel = 1\nmodel = 5"),
        Edited("init1", "init1 = \"\\x30K\\x4c0DS\""),
        "\xEF\xBB\xBF" + Edited("[synchronizer]", "[SYNCHRONIZER]\nModel = 5"),  // Notepad's UTF-8
    };
    for (const std::string& text : accepted) {
        std::memset(&f, 0, sizeof f);
        EXPECT_TRUE(Parse(text, &f, &err)) << err << "\n" << text;
        EXPECT_TRUE(f == valid) << text;
    }
    ASSERT_TRUE(Parse(Edited("init1", "init1 = \"\\\"\\\\\\n\\t\\x41\\xfe\xC3\xA9\xE2\x82\xAC \""), &f, &err))
        << err;
    EXPECT_STREQ(f.initStrings[0], "\"\\\n\tA\xFE\xE9\x80 ");  // UTF-8 to code page 1252
    EXPECT_TRUE(err.empty());
}

TEST(SettingsFile, PrintingFitsAnyRecordOrRefusesWithoutWritingPastItsBuffer)
{
    SettingsFileFields worst;
    std::memset(&worst, 0xFF, sizeof worst);  // no NULs, every byte escaped
    worst.synchronize = true;
    worst.model = worst.channel = worst.baud = worst.startFrame = INT32_MIN;
    const std::string header(200, 'h');
    char big[kSettingsFileBodySize + 200];
    const size_t need = PrintSettingsFile(worst, header.c_str(), big, sizeof big);
    ASSERT_GT(need, 0u);
    for (size_t size = 0; size <= need; ++size) {
        std::vector<char> out(size + 1, '#');  // one guard byte after the buffer
        EXPECT_EQ(PrintSettingsFile(worst, header.c_str(), out.data(), size), 0u) << size;
        if (size > 0) {
            EXPECT_EQ(out[0], '\0');
        }
        EXPECT_EQ(out[size], '#');
    }
    char out[kSettingsFileBodySize + 64];
    for (const char* header : {"COM1\n", "a\rb", "tab\there", "\x7F"})
        EXPECT_EQ(PrintSettingsFile(ValidFields(), header, out, sizeof out), 0u) << header;
}

struct Difference {
    SettingsFileFields device;
    int count;
    const char* text;
};

TEST(SettingsFile, ListsEachFieldThatDiffersOnOneLine)
{
    const SettingsFileFields file = ValidFields();
    const Difference rows[] = {
        {ValidFields(), 0, ""},
        {Fields(5, 3, 9600, 1, 500, true, {"0KL0DS", "", "", ""}, "QSIM"), 1, "channel: file 1, device 3\n"},
        {Fields(99, 1, 1200, 2, 54000, false, {"0KL0DS", "", "A\"", ""}, "qsim"), 7,
         "model: file 5, device 99\nbaud: file 9600, device 1200\nstart_frame: file 1, device 2\n"
         "end_frame: file 500, device 54000\nsynchronize: file yes, device no\n"
         "init3: file \"\", device \"A\\\"\"\ncomment: file \"QSIM\", device \"qsim\"\n"},
    };
    char out[kSettingsDiffSize];
    for (const Difference& row : rows) {
        EXPECT_EQ(ListSettingsDifferences(file, row.device, out, sizeof out), row.count);
        EXPECT_STREQ(out, row.text);
    }
    SettingsFileFields worst;
    std::memset(&worst, 0xFF, sizeof worst);
    worst.model = worst.channel = worst.baud = worst.startFrame = worst.endFrame = INT32_MIN;
    worst.synchronize = false;
    SettingsFileFields other;
    std::memset(&other, 0x01, sizeof other);
    ASSERT_EQ(ListSettingsDifferences(worst, other, out, sizeof out), 11);
    const size_t need = std::strlen(out) + 1;
    std::vector<char> small(need - 1);
    EXPECT_EQ(ListSettingsDifferences(worst, other, small.data(), small.size()), -1);
    EXPECT_EQ(small[0], '\0');
}

class SettingsFileSync : public SyncTest {};

// A file saved through the editor's save path and read back as a load leaves it; the device
// keeps no empty init string before a non-empty one, so those come back moved up.
TEST_F(SettingsFileSync, AFileSavedAndLoadedBackIsTheSameFileUpToEmptyInitStrings)
{
    SettingsFileFields back;
    for (const SettingsFileFields& kept :
         {ValidFields(),
          Fields(99, 42, 2400, 53999, 2, false, {"AT\\X", "\x01\xFE", std::string(22, 'z'), ""},
                 "fifteen chars!!"),
          Fields(1, 99, 4800, 1, 54000, true, {k23, k23, std::string(13, 'q'), ""}, "")}) {
        SettingsFileFieldsAsStored(kept, &back);
        EXPECT_TRUE(back == kept) << Print(back);
    }
    SettingsFileFieldsAsStored(Fields(1, 1, 1200, 1, 2, true, {"", "AT", "", "B"}, "x"), &back);
    EXPECT_TRUE(back == Fields(1, 1, 1200, 1, 2, true, {"AT", "B", "", ""}, "x")) << Print(back);
}

TEST_F(SettingsFileSync, ALoadIsShownAsTheEditorShowsIt)
{
    Sync.model = 0;  // a load's range rules can leave values a file refuses
    Sync.channel = 3;
    Sync.baudCode = 6;
    Sync.flags = 13;
    Sync.startFrame = 0;
    Sync.endFrame = 1;
    std::memcpy(Sync.initStrings[3], k23.data(), 23);  // a loaded fourth string may hold 23
    std::memcpy(Sync.comment, "COMMENT", 8);
    SettingsFileFields f;
    SettingsFileFieldsFromSync(Sync, &f);
    EXPECT_TRUE(f == Fields(0, 3, 4800, 0, 1, true, {"", "", "", k23}, "COMMENT"));
    Sync.flags = 7;
    SettingsFileFieldsFromSync(Sync, &f);
    EXPECT_FALSE(f.synchronize);
}

}  // namespace

// A register pair shown as it stands in a file; what does not fit is refused whole.
TEST(SettingsFile, EscapesTextAsAFileWritesIt)
{
    const struct {
        std::string bytes, shown;
    } rows[] = {
        {"0K", "0K"},
        {std::string("\r\x07", 2), "\\r\\x07"},
        {std::string("\"\\\n\0\xFF", 5), "\\\"\\\\\\n\\x00\xC3\xBF"},
    };
    for (const auto& row : rows) {
        char out[32];
        EXPECT_EQ(EscapeSettingsText(row.bytes.data(), row.bytes.size(), out, sizeof out), row.shown.size());
        EXPECT_EQ(std::string(out), row.shown);
    }
    char small[6];
    EXPECT_EQ(EscapeSettingsText("\r\x07", 2, small, sizeof small), 0u);
    EXPECT_EQ(small[0], '\0');
}
