#include "link/banner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/accumulator.h"

namespace {

const std::string kBanner = "ATS0=1\n\r";

// Noise without 'A' or NUL.
std::string Noise(size_t count)
{
    return std::string(count, 'x');
}

// Feeds the reads one by one as the search does (append, terminate, look) and tells whether
// the banner was recognised after the last one.
bool RecognizedAfter(const std::vector<std::string>& reads)
{
    Accumulator a;
    AccumulatorReset(a);
    bool recognized = false;
    for (const std::string& r : reads) {
        AccumulatorAppend(a, reinterpret_cast<const unsigned char*>(r.data()), r.size());
        AccumulatorTerminate(a);
        recognized = BannerRecognized(a.bytes, a.end);
    }
    return recognized;
}

TEST(Banner, RecognitionInGatheredBytes)
{
    struct Case {
        const char* name;
        std::vector<std::string> reads;
        bool expected;
    };
    const Case cases[] = {
        {"banner alone", {kBanner}, true},
        {"noise without A or NUL before", {"\x01xyz\xFF\r\n", kBanner}, true},
        {"noise in the same read", {"junk" + kBanner}, true},
        {"split over two reads", {"ATS0", "=1\n\r"}, true},
        {"split over three reads", {"xx", "ATS0=1", "\n\r"}, true},
        {"first half only", {"ATS0"}, false},
        {"no LF CR", {"ATS0=1"}, false},
        {"CR before LF", {"ATS0=1\r\n"}, false},
        {"an A in noise before", {"hAx", kBanner}, false},
        {"a NUL before", {std::string(1, '\0'), kBanner}, false},
        {"a byte after", {kBanner + "x"}, false},
        {"a byte after in the next read", {kBanner, "x"}, false},
        {"banner twice", {kBanner, kBanner}, false},
        {"lower case", {"ats0=1\n\r"}, false},
        {"nothing", {""}, false},
        {"only noise", {"hello world"}, false},
        {"banner ending at byte 255", {Noise(247), kBanner}, true},
        // More than the accumulator holds: the oldest bytes make way for the newest.
        {"banner after 255 noise bytes", {Noise(255), kBanner}, true},
        {"banner after 256 noise bytes", {Noise(256), kBanner}, true},
        {"banner after 1000 noise bytes", {Noise(250), Noise(250), Noise(250), Noise(250), kBanner}, true},
        {"banner split where the accumulator fills", {Noise(251) + "ATS0", "=1\n\r"}, true},
        {"banner split by a read longer than the accumulator", {Noise(300) + "ATS0=", "1\n\r"}, true},
        {"noise and banner in one long read", {Noise(1000) + kBanner}, true},
        {"an A still kept spoils", {"A" + Noise(246), kBanner}, false},
        {"an A no longer kept does not", {"A" + Noise(247), kBanner}, true},
        {"a NUL still kept spoils", {std::string(1, '\0') + Noise(246), kBanner}, false},
        {"an earlier banner still kept spoils", {kBanner, Noise(239), kBanner}, false},
        {"an earlier banner no longer kept does not", {kBanner, Noise(240), kBanner}, true},
        {"noise after a late banner", {Noise(300), kBanner, "x"}, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RecognizedAfter(c.reads), c.expected) << c.name;
}

TEST(Banner, TextEndsAtCountOrFirstZero)
{
    const std::string tail = kBanner + "XYZ";
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(tail.data());
    EXPECT_TRUE(BannerRecognized(bytes, 8));
    EXPECT_FALSE(BannerRecognized(bytes, 9));
    EXPECT_FALSE(BannerRecognized(bytes, 7));
    const std::string zeroed = kBanner + std::string(1, '\0') + "XYZ";
    EXPECT_TRUE(BannerRecognized(reinterpret_cast<const unsigned char*>(zeroed.data()), 12));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(ResetBanner), 8), kBanner);
}

}  // namespace
