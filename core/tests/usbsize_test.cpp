#include "usbsize.h"

#include <cstdint>
#include <limits>
#include <string>

#include <gtest/gtest.h>

namespace {

using kv::core::SectorsFromSize;
using kv::core::SectorsFromText;
using kv::core::SizesMatch;

constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

struct TextCase {
    std::string text;
    std::int32_t value;
};

TEST(SectorCount, ParsesLikeAtolAndWrapsModulo2To32) {
    const TextCase cases[] = {
        {"1953525168", 1953525168}, {"100", 100},          {"  +42", 42},
        {"\t\n\v\f\r7", 7},         {"-7", -7},            {"12abc", 12},
        {"NULL", 0},                {"", 0},               {"+-5", 0},
        {"- 5", 0},                 {"2147483647", kMax},  {"2147483648", kMin},
        {"4294967295", -1},         {"4294967296", 0},     {"4294967396", 100},
        {"-4294967396", -100},      {"000000000000000000012", 12},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(SectorsFromText(c.text), c.value);
    }
}

TEST(SectorCount, SizeIsDividedBy512TowardsZeroThenWrapped) {
    const TextCase cases[] = {
        {"1024", 2},
        {"1023", 1},
        {"511", 0},
        {"-1023", -1},
        {"-1024", -2},
        {"-511", 0},
        {"NULL", 0},
        {" 250059350016", 488397168},
        {"1099511627264", kMax},
        {"1099511627776", kMin},         // 2^31 sectors
        {"2199023255552", 0},            // 2^32 sectors
        {"2199023306752", 100},          // 2^32 + 100 sectors
        {"18446744073709554176", 5},     // 2^64 + 2560 bytes wraps in 64 bits first
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(SectorsFromSize(c.text), c.value);
    }
}

TEST(SizeMatch, IsStrictlyWithinFivePercent) {
    for (std::int32_t volume = 90; volume <= 110; ++volume) {
        SCOPED_TRACE(volume);
        const bool expected = volume >= 96 && volume <= 105;
        EXPECT_EQ(SizesMatch(100, volume), expected);
    }
    EXPECT_FALSE(SizesMatch(19, 20)) << "exactly 0.95";
    EXPECT_FALSE(SizesMatch(21, 20)) << "exactly 1.05";
    EXPECT_TRUE(SizesMatch(1953525168, 1953523120));
    EXPECT_TRUE(SizesMatch(kMax, kMax - 1));
}

TEST(SizeMatch, ZeroCountsNeverMatch) {
    EXPECT_FALSE(SizesMatch(0, 0));
    EXPECT_FALSE(SizesMatch(100, 0));
    EXPECT_FALSE(SizesMatch(0, 100));
}

TEST(SizeMatch, UsesTheAbsoluteRatioOfWrappedCounts) {
    EXPECT_TRUE(SizesMatch(-100, 98));
    EXPECT_TRUE(SizesMatch(-100, -98));
    EXPECT_TRUE(SizesMatch(kMin, kMin));
    EXPECT_FALSE(SizesMatch(kMin, 100));
}

}  // namespace
