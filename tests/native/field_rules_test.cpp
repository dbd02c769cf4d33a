// The editor's rules that need no window: baud stepping, model/channel limits, the init-string
// total and the hidden-mode key sequence.
#include <gtest/gtest.h>

#include "dialogs/field_rules.h"

namespace {

struct BaudCase {
    int32_t code;
    uint32_t position;
    int32_t expected;
};

// Up-down clicks move the position by 1 from the shown rate; the code moves one rate per click.
constexpr BaudCase kBaudCases[] = {
    {0, 1201, 4},
    {4, 2401, 6},
    {6, 4801, 7},
    {7, 9600, 7},  // up: 1200 2400 4800 9600, stops
    {7, 9599, 6},
    {6, 4799, 4},
    {4, 2399, 0},
    {0, 1200, 0},  // down, stops at 1200
    {0, 9600, 4},  // a typed value moves one step
    {7, 1200, 6},
    {4, 1199, 4},
    {4, 9601, 4},                 // outside the rates: nothing
    {4, 0xFFFF0000u | 2400u, 4},  // failed UDM_GETPOS: above 9600
    {4, 2400, 4},                 // equal: nothing (nested EN_CHANGE)
};

TEST(FieldRules, BaudSteppingMovesOneRateTowardThePosition)
{
    for (const BaudCase& c : kBaudCases)
        EXPECT_EQ(SteppedBaudCode(c.code, c.position), c.expected)
            << "code " << c.code << " position " << c.position;
}

TEST(FieldRules, BaudSteppingOfAnyStoredCodeStaysInTheTables)
{
    // Codes without a rate (or out of range) never index outside the eight-row tables.
    for (int32_t code : {1, 2, 3, 5, 8, -1, 1000}) {
        const int32_t next = SteppedBaudCode(code, 4800);
        EXPECT_GE(next, 0);
        EXPECT_LE(next, 7);
    }
}

TEST(FieldRules, ModelAndChannelAreLimitedToOneToNinetyNine)
{
    const uint32_t cases[][2] = {{0, 1}, {1, 1}, {99, 99}, {100, 99}, {4000000000u, 99}};
    for (const auto& c : cases)
        EXPECT_EQ(LimitModelOrChannel(c[0]), c[1]) << c[0];
}

TEST(FieldRules, InitStringsTotalCountsOneCrPerNonEmptyString)
{
    const int four15[4] = {15, 15, 15, 15};
    const int last14[4] = {15, 15, 15, 14};
    const int one23[4] = {23, 0, 0, 0};
    const int none[4] = {0, 0, 0, 0};
    EXPECT_EQ(InitStringsTotal(four15), 64);
    EXPECT_GT(InitStringsTotal(four15), kInitStringsLimit);
    EXPECT_EQ(InitStringsTotal(last14), 63);
    EXPECT_EQ(InitStringsTotal(one23), 24);
    EXPECT_EQ(InitStringsTotal(none), 0);
}

struct HiddenCase {
    const char* keys;  // K = Ctrl+K, B = Ctrl+B, x = another hotkey id
    bool hiddenAfter;
    uint32_t countAfter;
};

constexpr HiddenCase kHiddenCases[] = {
    {"KB", true, 0},  {"KBKB", false, 0}, {"KKB", false, 0}, {"B", false, 0},  {"K", false, 1},
    {"KK", false, 0}, {"KxB", true, 0},   {"KBK", true, 1},  {"KBB", true, 0}, {"KKKB", true, 0},
};

TEST(FieldRules, HiddenModeFollowsCtrlKThenCtrlB)
{
    for (const HiddenCase& c : kHiddenCases) {
        uint32_t state = 0;
        for (const char* k = c.keys; *k; ++k)
            state = NextHiddenModeState(state, *k == 'K'   ? HiddenKey::First
                                               : *k == 'B' ? HiddenKey::Second
                                                           : HiddenKey::Other);
        EXPECT_EQ((state & kHiddenModeOn) != 0, c.hiddenAfter) << c.keys;
        EXPECT_EQ(state & kHiddenKeyCount, c.countAfter) << c.keys;
        EXPECT_EQ(state & ~(kHiddenModeOn | kHiddenKeyCount), 0u) << c.keys;
    }
}

}  // namespace
