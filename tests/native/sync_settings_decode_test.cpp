// The load side: parsing register pairs, the load's range rules and the block decoders.
#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>

#include "sync_test_support.h"

namespace {

const unsigned char* U(const std::string& s)
{
    return reinterpret_cast<const unsigned char*>(s.data());
}

TEST(ParseTwoDigits, ReadsThePairAsDecimalText)
{
    struct Case {
        std::string pair;
        int32_t expected;
    };
    const Case cases[] = {
        {"07", 7},       {"7x", 7},  {"x7", 0}, {"00", 0}, {"99", 99},
        {" 5", 5},       {"-5", -5}, {"+7", 7}, {"--", 0}, {std::string("4\0", 2), 4},
        {"\x07\x07", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseTwoDigits(U(c.pair)), c.expected) << "pair \"" << c.pair << "\"";
    }
}

TEST(ParseTwoDigits, ReadsNoMoreThanTwoBytes)
{
    const unsigned char pair[2] = {'1', '2'};  // no NUL after it; ASan reports a third read
    EXPECT_EQ(ParseTwoDigits(pair), 12);
}

TEST(ParseFrame, FiveDigitsOrTheFallback)
{
    struct Case {
        std::string text;
        const char* fallback;
        int32_t expected;
    };
    const Case cases[] = {
        {"000010", "2", 1},
        {"005000", "501", 500},
        {"540000", "2", 54000},
        {"999990", "2", 99999},
        {"00001x", "2", 1},
        {"000000", "2", 0},
        {"123a50", "2", 2},
        {"123a50", "501", 501},
        {" 00010", "2", 2},
        {"0000 0", "501", 501},
        {"-00010", "2", 2},
        {std::string(2, '0') + '\0' + "000", "2", 2},
        {"\x07\x07\x07\x07\x07\x07", "501", 501},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(c.text.size(), 6u);
        EXPECT_EQ(ParseFrame(U(c.text), c.fallback), c.expected) << "text \"" << c.text << "\"";
    }
}

TEST(ParseBaudFlags, TakesThreeAndFourLowBits)
{
    struct Case {
        std::string pair;
        int32_t baudCode, flags;
    };
    const Case cases[] = {
        {"7<", 7, 12}, {"74", 7, 4}, {"5?", 5, 15}, {"00", 0, 0}, {"\xFF\xFF", 7, 15}, {"8@", 0, 0},
    };
    for (const Case& c : cases) {
        int32_t baudCode = -1, flags = -1;
        ParseBaudFlags(U(c.pair), &baudCode, &flags);
        EXPECT_EQ(baudCode, c.baudCode) << "pair \"" << c.pair << "\"";
        EXPECT_EQ(flags, c.flags) << "pair \"" << c.pair << "\"";
    }
}

TEST_F(SyncTest, ClampLoadedAppliesTheLoadRangeRules)
{
    struct Case {
        LoadedField field;
        int32_t startFrame;  // the start frame loaded before (EndFrame only)
        int32_t value, expected;
    };
    const Case cases[] = {
        {LoadedField::Model, 0, 0, 0},
        {LoadedField::Model, 0, 100, 0},
        {LoadedField::Model, 0, -1, 0},
        {LoadedField::Model, 0, 1, 1},
        {LoadedField::Model, 0, 99, 99},
        {LoadedField::Channel, 0, 0, 1},
        {LoadedField::Channel, 0, 100, 1},
        {LoadedField::Channel, 0, -7, 1},
        {LoadedField::Channel, 0, 3, 3},
        {LoadedField::StartFrame, 0, 99999, 1},
        {LoadedField::StartFrame, 0, 54000, 1},
        {LoadedField::StartFrame, 0, 53999, 53999},
        {LoadedField::StartFrame, 0, 0, 0},
        {LoadedField::EndFrame, 1, 99999, 2},
        {LoadedField::EndFrame, 300, 54001, 301},
        {LoadedField::EndFrame, 300, 54000, 54000},
        {LoadedField::EndFrame, 300, 0, 0},
        {LoadedField::EndFrame, INT32_MAX, 99999, INT32_MAX},  // no overflow
        {LoadedField::BaudCode, 0, 0, 0},
        {LoadedField::BaudCode, 0, 4, 4},
        {LoadedField::BaudCode, 0, 6, 6},
        {LoadedField::BaudCode, 0, 7, 7},
        {LoadedField::BaudCode, 0, 1, 7},
        {LoadedField::BaudCode, 0, 2, 7},
        {LoadedField::BaudCode, 0, 3, 7},
        {LoadedField::BaudCode, 0, 5, 7},
        {LoadedField::Flags, 0, 15, 15},
        {LoadedField::Flags, 0, 0, 0},
    };
    for (const Case& c : cases) {
        Sync.startFrame = c.startFrame;
        EXPECT_EQ(ClampLoaded(c.field, c.value), c.expected)
            << "field " << static_cast<int>(c.field) << " value " << c.value;
    }
}

// A load of the number registers as the load dialog strings the steps together.
TEST_F(SyncTest, LoadedNumberRegistersGiveTheDocumentedValues)
{
    struct Case {
        std::string model, channel, start, end, baud;
        int32_t expModel, expChannel, expStart, expEnd, expBaud, expFlags;
    };
    const Case cases[] = {
        {"00", "00", "000010", "005000", "7<", 0, 1, 1, 500, 7, 12},
        {"12", "03", "123a50", "123a50", "74", 12, 3, 2, 501, 7, 4},
        {"99", "99", "999990", "999990", "5?", 99, 99, 1, 2, 7, 15},
        {"x7", "7x", "539990", "540000", "60", 0, 7, 53999, 54000, 6, 0},
    };
    for (const Case& c : cases) {
        Sync.model = ClampLoaded(LoadedField::Model, ParseTwoDigits(U(c.model)));
        Sync.channel = ClampLoaded(LoadedField::Channel, ParseTwoDigits(U(c.channel)));
        Sync.startFrame = ClampLoaded(LoadedField::StartFrame, ParseFrame(U(c.start), "2"));
        Sync.endFrame = ClampLoaded(LoadedField::EndFrame, ParseFrame(U(c.end), "501"));
        int32_t baudCode = 0, flags = 0;
        ParseBaudFlags(U(c.baud), &baudCode, &flags);
        Sync.baudCode = ClampLoaded(LoadedField::BaudCode, baudCode);
        Sync.flags = ClampLoaded(LoadedField::Flags, flags);
        EXPECT_EQ(Numbers(), Numbers(c.expModel, c.expChannel, c.expStart, c.expEnd, c.expBaud, c.expFlags))
            << c.model << " " << c.channel << " " << c.start << " " << c.end << " " << c.baud;
    }
}

// 64 bytes: `text`, then `fill` to the end.
std::string Image(const std::string& text, char fill)
{
    std::string s = text.substr(0, 64);
    s.resize(64, fill);
    return s;
}

TEST_F(SyncTest, DecodeInitBlockSplitsAtCrAndRollsOverAt23)
{
    struct Case {
        const char* name;
        std::string image;
        std::string expected[4];
    };
    const std::string letters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789+-";
    const std::string l23 = letters.substr(0, 23);
    const Case cases[] = {
        {"A CR B CR BEL", Image("A\rB\r", '\x07'), {"A", "B", "", ""}},
        {"all BEL", Image("", '\x07'), {"", "", "", ""}},
        {"23 letters CR X CR BEL", Image(l23 + "\rX\r", '\x07'), {l23, "X", "", ""}},
        {"23 letters BEL", Image(l23, '\x07'), {l23, "", "", ""}},
        {"30 letters BEL", Image(letters.substr(0, 30), '\x07'), {l23, letters.substr(23, 7), "", ""}},
        {"64 letters", letters, {l23, letters.substr(23, 23), letters.substr(46, 17), ""}},
        {"CR ending string 4 ends the walk", Image("\r\r\rX\rYZ", '\x07'), {"", "", "", "X"}},
        {"string 4 full drops the rest", Image("\r\r\r", 'q'), {"", "", "", std::string(23, 'q')}},
        {"full string 4 still ends at BEL",
         Image("\r\r\r" + std::string(30, 'q'), '\x07'),
         {"", "", "", std::string(23, 'q')}},
        {"NUL ends the visible text", Image(std::string("A\0B\rC", 5), '\x07'), {"A", "C", "", ""}},
        {"no BEL: byte 63 reads as NUL",
         Image("\r\r", 'w'),
         {"", "", std::string(23, 'w'), std::string(23, 'w')}},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(c.image.size(), 64u) << c.name;
        std::memset(Sync.initStrings, 'J', sizeof Sync.initStrings);  // junk to be replaced
        DecodeInitBlock(U(c.image));
        ExpectInitStrings(c.expected, c.name);
    }
}

TEST_F(SyncTest, DecodeInitBlockReadsTheBlockAsTheSaveWroteIt)
{
    // The save's read-back: what EncodeForSave packed decodes to the stored strings.
    const std::string cases[][4] = {
        {"0KL0DS", "", "AT", ""},
        {"", "", "", ""},
        {std::string(23, 'x'), "y", std::string(23, 'z'), "w"},
        {"ATZ", "ATE0", "ATS0=1", "AT&W"},
    };
    for (const auto& texts : cases) {
        EncodeForSave(InputsWithInitTexts(texts));
        std::memset(Sync.initStrings, 0, sizeof Sync.initStrings);
        DecodeInitBlock(U(PairsFrom('P', 32)));
        // Empty texts contribute no CR, so the strings come back packed to the front.
        std::string expected[4];
        std::copy_if(std::begin(texts), std::end(texts), expected,
                     [](const std::string& t) { return !t.empty(); });
        ExpectInitStrings(expected, texts[0].c_str());
    }
}

TEST_F(SyncTest, DecodeCommentTurnsBelIntoNul)
{
    struct Case {
        std::string image;
        const char* expected;
    };
    const Case cases[] = {
        {"ABCDE" + std::string(11, '\x07'), "ABCDE"},
        {"ABCDEFGHIJKLMNOP", "ABCDEFGHIJKLMNO"},
        {std::string(16, '\x07'), ""},
        {"AB\aCD" + std::string(11, '\x07'), "AB"},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(c.image.size(), 16u);
        std::memset(Sync.comment, 'J', sizeof Sync.comment);
        DecodeComment(U(c.image));
        EXPECT_STREQ(Sync.comment, c.expected);
        EXPECT_EQ(Sync.comment[15], '\0');
        for (char ch : std::string(Sync.comment, 16))
            EXPECT_NE(ch, '\x07') << c.expected;

        std::memcpy(Sync.comment, c.image.data(), 16);  // in place, as the load decodes
        DecodeComment(reinterpret_cast<const unsigned char*>(Sync.comment));
        EXPECT_STREQ(Sync.comment, c.expected) << "in place";
    }
}

}  // namespace
