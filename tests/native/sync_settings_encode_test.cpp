// The save side: EncodeForSave, RegisterText and ApplyDefaults.
#include <cstring>
#include <string>
#include <vector>

#include "sync_test_support.h"

namespace {

std::string Bels(size_t n)
{
    return std::string(n, '\x07');
}

TEST_F(SyncTest, EncodeLimitsModelAndChannelPositions)
{
    struct Case {
        int32_t modelPos, channelPos;
        int32_t model, channel;
        std::string modelPair, channelPair;
    };
    const Case cases[] = {
        {0, 0, 5, 1, "05", "01"},
        {100, 100, 5, 1, "05", "01"},
        {-1, -1, 5, 1, "05", "01"},  // a failed UDM_GETPOS
        {INT32_MIN, INT32_MAX, 5, 1, "05", "01"},
        {1, 1, 1, 1, "01", "01"},
        {99, 99, 99, 99, "99", "99"},
        {42, 7, 42, 7, "42", "07"},
    };
    for (const Case& c : cases) {
        SaveInputs in = ValidInputs();
        in.modelPos = c.modelPos;
        in.channelPos = c.channelPos;
        EncodeForSave(in);
        EXPECT_EQ(Numbers(), Numbers(c.model, c.channel, 1, 500, 7, 12)) << c.modelPos << "," << c.channelPos;
        EXPECT_EQ(PairsFrom('>', 2), c.channelPair + c.modelPair) << c.modelPos << "," << c.channelPos;
    }
}

TEST_F(SyncTest, EncodeBaudPositionAndSynchronizeGiveRegisterSix)
{
    struct Case {
        uint32_t baudPos;
        bool synchronize;
        int32_t baudCode, flags;
        std::string pair;
    };
    const Case cases[] = {
        {0, true, 0, 12, "0<"},           {1200, true, 0, 12, "0<"}, {2399, false, 0, 4, "04"},
        {2400, true, 4, 12, "4<"},        {4799, true, 4, 12, "4<"}, {4800, false, 6, 4, "64"},
        {9599, true, 6, 12, "6<"},        {9600, true, 7, 12, "7<"}, {9600, false, 7, 4, "74"},
        {0x80000000u, true, 7, 12, "7<"},  // negative as signed: compared unsigned
        {0xFFFFFFFFu, true, 7, 12, "7<"},  // a failed UDM_GETPOS
    };
    for (const Case& c : cases) {
        SaveInputs in = ValidInputs();
        in.baudPos = c.baudPos;
        in.synchronize = c.synchronize;
        EncodeForSave(in);
        EXPECT_EQ(Numbers(), Numbers(5, 1, 1, 500, c.baudCode, c.flags)) << "baud position " << c.baudPos;
        EXPECT_EQ(PairOf('6'), c.pair) << "baud position " << c.baudPos;
    }
}

TEST_F(SyncTest, EncodeFrameTextsAndTheirRegisters)
{
    struct Case {
        const char* start;
        const char* end;
        int32_t startFrame, endFrame;
        const char* startRegs;  // pairs of '0', '1', '2'
        const char* endRegs;    // pairs of '3', '4', '5'
    };
    const Case cases[] = {
        {"1", "500", 1, 500, "000010", "005000"},
        {"", "", 1, 2, "000010", "000020"},
        {"0", "1", 1, 2, "000010", "000020"},
        {"60000", "99999", 53999, 54000, "539990", "540000"},
        {"  007", "+12x", 7, 12, "000070", "000120"},
        {"abc", "-3", 1, 2, "000010", "000020"},
        {"5000", "100", 5000, 100, "050000", "001000"},  // no rule relates the two frames
        {"999999999999999999999999999999", "-99999999999999999999999999999", 53999, 2, "539990", "000020"},
    };
    for (const Case& c : cases) {
        SaveInputs in = ValidInputs();
        std::strcpy(in.startFrame, c.start);
        std::strcpy(in.endFrame, c.end);
        EncodeForSave(in);
        EXPECT_EQ(Numbers(), Numbers(5, 1, c.startFrame, c.endFrame, 7, 12)) << c.start << " " << c.end;
        EXPECT_EQ(PairsFrom('0', 6), std::string(c.startRegs) + c.endRegs) << c.start << " " << c.end;
    }
}

TEST_F(SyncTest, EncodeReadsUnterminatedFrameTextsOnlyWithinTheirArrays)
{
    SaveInputs in = ValidInputs();
    std::memset(in.startFrame, '7', sizeof in.startFrame);
    std::memset(in.endFrame, '1', sizeof in.endFrame);
    EncodeForSave(in);
    EXPECT_EQ(Numbers(), Numbers(5, 1, 53999, 54000, 7, 12));
}

// The working area past the block holds the packing uncut: 23,23,23,22 pack to 95 bytes and their
// BEL is the 96th byte; four of 23 pack to 96 and their BEL has no room. ASan reports any write
// beyond initBlock (the last member of Sync).
TEST_F(SyncTest, EncodePacksInitTexts)
{
    struct Case {
        const char* name;
        std::string texts[4];
        std::string block;      // the 64 bytes of 'P'..'o'
        std::string tail = "";  // bytes 92..95 of the working area, when the packing reaches them
    };
    const std::string s15(15, 'a'), s14(14, 'b'), s23(23, 'c');
    const Case cases[] = {
        {"example", {"0KL0DS", "", "AT", ""}, "0KL0DS\rAT\r" + Bels(1) + Bels(53)},
        {"all empty", {"", "", "", ""}, Bels(64)},
        {"only the last", {"", "", "", "Z"}, "Z\r" + Bels(62)},
        {"one of 23", {s23, "", "", ""}, s23 + "\r" + Bels(40)},
        {"63 bytes: BEL at 63",
         {s15, s15, s15, s14},
         s15 + "\r" + s15 + "\r" + s15 + "\r" + s14 + "\r" + Bels(1)},
        {"64 bytes: cut",
         {s15, s15, s15, s15},
         s15 + "\r" + s15 + "\r" + s15 + "\r" + std::string(14, 'a') + "\r" + Bels(1)},
        {"65 bytes: cut",
         {s15, s15, s15, std::string(16, 'a')},
         s15 + "\r" + s15 + "\r" + s15 + "\r" + std::string(14, 'a') + "\r" + Bels(1)},
        {"editor maximum 23,23,23,22: cut",
         {s23, s23, s23, std::string(22, 'c')},
         s23 + "\r" + s23 + "\r" + std::string(14, 'c') + "\r" + Bels(1),
         "cc\r\x07"},
        {"four of 23 after a load: cut",
         {s23, s23, s23, s23},
         s23 + "\r" + s23 + "\r" + std::string(14, 'c') + "\r" + Bels(1),
         "ccc\r"},
    };
    for (const Case& c : cases) {
        EncodeForSave(InputsWithInitTexts(c.texts));
        ASSERT_EQ(c.block.size(), 64u) << c.name;
        EXPECT_EQ(PairsFrom('P', 32), c.block) << c.name;
        EXPECT_EQ(Bytes(Sync.initBlock, 64), c.block) << c.name;
        ExpectInitStrings(c.texts, c.name);
        if (!c.tail.empty()) {
            EXPECT_EQ(Bytes(Sync.initBlock + 92, 4), c.tail) << c.name;
        }
    }
}

TEST_F(SyncTest, EncodeStoresAtMost23CharactersOfAnUnterminatedInitText)
{
    SaveInputs in = ValidInputs();
    for (int s = 0; s < 4; ++s)
        std::memset(in.initTexts[s], 'a' + s, sizeof in.initTexts[s]);
    std::memset(in.comment, 'z', sizeof in.comment);
    EncodeForSave(in);
    for (int s = 0; s < 4; ++s) {
        EXPECT_EQ(std::string(Sync.initStrings[s]), std::string(23, static_cast<char>('a' + s)));
    }
    EXPECT_EQ(Bytes(Sync.comment, 16), std::string(15, 'z') + Bels(1));
}

// The comment's block, and a load's decoding of it gives the text back.
TEST_F(SyncTest, EncodeTurnsTheCommentIntoItsBlockAndDecodeBack)
{
    struct Case {
        const char* text;
        std::string block;
    };
    const Case cases[] = {
        {"", Bels(16)},
        {"HELLO", "HELLO" + Bels(11)},
        {"123456789012345", "123456789012345" + Bels(1)},
    };
    for (const Case& c : cases) {
        SaveInputs in = ValidInputs();
        std::strcpy(in.comment, c.text);
        EncodeForSave(in);
        EXPECT_EQ(Bytes(Sync.comment, 16), c.block) << c.text;
        EXPECT_EQ(PairsFrom('H', 8), c.block) << c.text;
        DecodeComment(reinterpret_cast<const unsigned char*>(Sync.comment));
        EXPECT_STREQ(Sync.comment, c.text);
    }
}

TEST_F(SyncTest, RegisterTextOfACodeOutsideTheMapIsTwoNuls)
{
    EncodeForSave(ValidInputs());
    for (RegisterCode code :
         {RegisterCode{'7'}, RegisterCode{'G'}, RegisterCode{'p'}, RegisterCode{0}, RegisterCode{0xFF}}) {
        EXPECT_EQ(PairOf(code), std::string(2, '\0')) << "code " << int{code};
    }
}

TEST_F(SyncTest, RegisterSixCarriesTheLowByteOfLoadedValues)
{
    Sync.baudCode = 5;
    Sync.flags = 15;
    EXPECT_EQ(PairOf('6'), "5?");
    Sync.baudCode = 0x100 + 7;  // only the low byte counts
    Sync.flags = 0;
    EXPECT_EQ(PairOf('6'), "70");
}

TEST_F(SyncTest, ApplyDefaultsKeepsModelAndChannelInRange)
{
    struct Case {
        int32_t model, channel;
        int32_t expectModel, expectChannel;
    };
    const Case cases[] = {
        {12, 3, 12, 3}, {0, 0, 5, 1}, {100, 100, 5, 1}, {-1, 99, 5, 99}, {1, 0, 1, 1}, {99, -5, 99, 1},
    };
    for (const Case& c : cases) {
        std::memset(&Sync, 0x5A, sizeof Sync);  // whatever a load or a failed save left
        Sync.model = c.model;
        Sync.channel = c.channel;
        defaultsPending = 0;
        ApplyDefaults();
        EXPECT_EQ(Numbers(), Numbers(c.expectModel, c.expectChannel, 1, 500, 7, 12))
            << c.model << "," << c.channel;
        EXPECT_EQ(defaultsPending, 1);
        for (int s = 0; s < 4; ++s)
            EXPECT_STREQ(Sync.initStrings[s], s == 0 ? "0KL0DS" : "") << "string " << s + 1;
        EXPECT_STREQ(Sync.comment, "");
        EXPECT_EQ(Sync.initBlock[0], 0x5A);  // left for the next EncodeForSave
        EXPECT_EQ(Sync.initBlock[95], 0x5A);
    }
}

// The rate the editor shows for a code is the one a save turns back into that code; a code a load
// replaces has no rate; the rates shown rise with the code and are the device's four.
TEST(BaudRates, IndexedByBaudCode)
{
    std::vector<int32_t> shown;
    for (int32_t code = 0; code < 8; ++code) {
        if (ClampLoaded(LoadedField::BaudCode, code) != code) {
            EXPECT_EQ(BaudRates[code], 0) << code;
            continue;
        }
        SaveInputs in = ValidInputs();
        in.baudPos = static_cast<uint32_t>(BaudRates[code]);
        EncodeForSave(in);
        EXPECT_EQ(Sync.baudCode, code) << "rate " << BaudRates[code];
        shown.push_back(BaudRates[code]);
    }
    EXPECT_EQ(shown, (std::vector<int32_t>{1200, 2400, 4800, 9600}));
}

}  // namespace
