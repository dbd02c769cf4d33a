// Where a dialog lands when centred over its owner, on one axis.
#include <gtest/gtest.h>

#include "ui/center_math.h"

namespace {

struct CenterCase {
    const char* name;
    int32_t ownerStart, ownerSize, size, screenSize;
    int32_t expected;
};

constexpr CenterCase kCases[] = {
    {"odd difference halves toward zero", 100, 400, 201, 1024, 199},
    {"dialog 3 wider than owner: -3/2 is -1, not -2", 50, 100, 103, 1024, 49},
    {"difference of -5 halves to -2", 10, 100, 105, 1024, 8},
    {"fits exactly at the left edge", 0, 200, 200, 1024, 0},
    {"would pass the right edge: right edge on the screen width", 900, 300, 200, 1024, 824},
    {"centred position negative: put at 0", -300, 200, 150, 1024, 0},
    {"larger than the screen, centred >= 0: ends at SH - H, negative", 0, 2000, 1000, 768, -232},
    {"larger than the screen, centred negative: 0", 0, 500, 1000, 768, 0},
    {"right edge exactly on the screen is kept", 824, 200, 200, 1024, 824},
};

TEST(CenterCoordinate, PlacesEachCase)
{
    for (const CenterCase& c : kCases)
        EXPECT_EQ(CenterCoordinate(c.ownerStart, c.ownerSize, c.size, c.screenSize), c.expected) << c.name;
}

}  // namespace
