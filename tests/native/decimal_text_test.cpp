#include "link/decimal_text.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

struct DecimalCase {
    const char* text;
    int32_t expected;
};

TEST(ParseDecimal, ReadsSignAndDigitsAfterWhiteSpaceAndSaturates)
{
    const DecimalCase cases[] = {
        {"", 0},
        {"abc", 0},
        {"0", 0},
        {"007", 7},
        {"  42", 42},
        {" \t\n\v\f\r9", 9},
        {"+5", 5},
        {"-13", -13},
        {"- 5", 0},
        {"--5", 0},
        {"12abc", 12},
        {"1 2", 1},
        {"2147483647", INT32_MAX},
        {"2147483648", INT32_MAX},
        {"99999999999999999999999999999", INT32_MAX},
        {"-2147483648", INT32_MIN},
        {"-2147483649", INT32_MIN},
        {"-99999999999999999999999999999", INT32_MIN},
        {"000000000000000000000000000012", 12},
    };
    for (const DecimalCase& c : cases) {
        EXPECT_EQ(ParseDecimal(c.text), c.expected) << "text \"" << c.text << "\"";
    }
}

TEST(ParseDecimal, BoundedReadStopsAtSizeAndNeverReadsPastTheArray)
{
    struct Case {
        const char* text;
        size_t size;
        int32_t expected;
    };
    const Case cases[] = {
        {"12345", 2, 12}, {"12345", 0, 0}, {"-7", 1, 0}, {" 9", 1, 0}, {"4", 5, 4},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseDecimalBounded(c.text, c.size), c.expected) << c.text << " size " << c.size;
    }
    char unterminated[30];  // ASan reports a read of byte 30
    std::memset(unterminated, '9', sizeof unterminated);
    EXPECT_EQ(ParseDecimalBounded(unterminated, sizeof unterminated), INT32_MAX);
}

struct FrameCase {
    const char* text;
    int32_t emptyValue, lowest, highest;
    int32_t expected;
};

TEST(FrameFromText, EmptyTextGivesItsValueOtherTextIsLimited)
{
    const FrameCase cases[] = {
        // start frame rules
        {"", 1, 1, 53999, 1},
        {"0", 1, 1, 53999, 1},
        {"-40", 1, 1, 53999, 1},
        {"abc", 1, 1, 53999, 1},
        {"007", 1, 1, 53999, 7},
        {"53999", 1, 1, 53999, 53999},
        {"54000", 1, 1, 53999, 53999},
        {"60000", 1, 1, 53999, 53999},
        {"99999999999999999999", 1, 1, 53999, 53999},
        // end frame rules
        {"", 2, 2, 54000, 2},
        {" ", 2, 2, 54000, 2},  // not empty: no digits give 0, raised to 2
        {"1", 2, 2, 54000, 2},
        {"3", 2, 2, 54000, 3},
        {"54000", 2, 2, 54000, 54000},
        {"99999", 2, 2, 54000, 54000},
        {"-99999999999999999999", 2, 2, 54000, 2},
    };
    for (const FrameCase& c : cases) {
        EXPECT_EQ(FrameFromText(c.text, c.emptyValue, c.lowest, c.highest), c.expected)
            << "text \"" << c.text << "\"";
    }
}

TEST(FrameFromText, BoundedFormHandlesAnUnterminatedArray)
{
    char text[31];
    std::memset(text, '8', sizeof text);
    EXPECT_EQ(FrameFromTextBounded(text, sizeof text, 1, 1, 53999), 53999);
    EXPECT_EQ(FrameFromTextBounded(text, 0, 2, 2, 54000), 2);  // nothing readable counts as empty
}

}  // namespace
