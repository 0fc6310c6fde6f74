#include "images.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using kv::core::CompareImageVersion;
using kv::core::PickNewest;
using kv::core::RankingValue;
using kv::core::VersionOrder;

const char* Name(VersionOrder order) {
    switch (order) {
    case VersionOrder::ImageNewer: return "ImageNewer";
    case VersionOrder::Equal: return "Equal";
    case VersionOrder::ImageOlder: return "ImageOlder";
    case VersionOrder::Unknown: return "Unknown";
    }
    return "?";
}

struct RankCase {
    std::string name;
    long value;
};

TEST(Ranking, ReadsUpToThreeCharactersAfterTheDotLikeAtol) {
    const RankCase cases[] = {
        {"A.010", 10},   {"KV1.102", 102}, {"B9A1T.F07", 0}, {"X.ROM", 0},
        {"N.1A5", 1},    {"N.12345", 123}, {"C.-12", -12},   {"D. 42", 42},
        {"E.+7x", 7},    {"a.b.300", 0},   {"1A5", 1},       {"123456", 123},
        {"noext", 0},    {"A.", 0},        {"B.7", 7},       {"", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(RankingValue(c.name), c.value);
    }
}

TEST(Ranking, PicksTheFirstOfTheHighestValues) {
    EXPECT_EQ(PickNewest({"A.010", "B.020", "C.020"}), 1u);
    EXPECT_EQ(PickNewest({"X.ROM", "Y.BIN"}), 0u);
    EXPECT_EQ(PickNewest({"Z.-05", "Y.000"}), 0u);
    EXPECT_EQ(PickNewest({"KV1.099", "KV1.1", "KV1.100"}), 2u);
    EXPECT_EQ(PickNewest({"A.001", "B.002", "C.003", "D.004", "E.005", "F.006", "G.007",
                          "H.008", "I.009", "J.010"}),
              9u);
}

TEST(Ranking, ShortNamesRankOnWhatExists) {
    EXPECT_EQ(PickNewest({"A.", "B.7"}), 1u);
    EXPECT_EQ(PickNewest({"B.7", "C", ""}), 0u);
}

TEST(Ranking, SingleNameIsPickedWhateverItLooksLike) {
    EXPECT_EQ(PickNewest({"-.---"}), 0u);
}

struct VersionCase {
    const char* what;
    std::string bios;
    std::string image;
    VersionOrder order;
};

TEST(VersionCheck, ComparesTheThreePositionsAfterTheDot) {
    const VersionCase cases[] = {
        {"image newer", "R01.102", "KV1.103", VersionOrder::ImageNewer},
        {"equal", "R01.102", "KV1.102", VersionOrder::Equal},
        {"image older", "R01.102", "KV1.101", VersionOrder::ImageOlder},
        {"leading zero", "A.015", "B.016", VersionOrder::ImageNewer},
        {"letters count by code: 1A5 is 275", "X.1A5", "Y.275", VersionOrder::Equal},
        {"ROM is (82-48)*100+(79-48)*10+(77-48)", "A.ROM", "B.DMP", VersionOrder::ImageOlder},
        {"small letters count by code too", "A.10a", "B.10Z", VersionOrder::ImageOlder},
        {"the text ends at a zero byte", "A.105", std::string("B.106\0xxxxxxxxxxxxxxxx", 22),
         VersionOrder::ImageNewer},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const VersionOrder got = CompareImageVersion(c.bios, c.image);
        EXPECT_EQ(got, c.order) << "got " << Name(got);
    }
}

TEST(VersionCheck, DotSearchStartsAtOneForBiosAndAtItsDotForTheImage) {
    const VersionCase cases[] = {
        {"BIOS whose only dot is first", ".123", "A.200", VersionOrder::Unknown},
        {"BIOS dot at index 1", "5.105", "A.106", VersionOrder::ImageNewer},
        {"image's later dot is used", "BIOS.105", "A.100.106", VersionOrder::ImageNewer},
        {"image dot before the BIOS's", "BIOS.105", "K.200", VersionOrder::Unknown},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const VersionOrder got = CompareImageVersion(c.bios, c.image);
        EXPECT_EQ(got, c.order) << "got " << Name(got);
    }
}

TEST(VersionCheck, UnreadableTextsGiveUnknown) {
    const VersionCase cases[] = {
        {"BIOS without dot", "Wine", "KV1.102", VersionOrder::Unknown},
        {"empty BIOS", "", "KV1.102", VersionOrder::Unknown},
        {"empty choice", "R01.102", "", VersionOrder::Unknown},
        {"image without dot", "R01.102", "KV1102", VersionOrder::Unknown},
        {"14 characters fit", "ABCDEFGHIJ.123", "abcdefghij.124", VersionOrder::ImageNewer},
        {"15-character BIOS", "ABCDEFGHIJK.123", "abcdefghijk.124", VersionOrder::Unknown},
        {"15-character image", "ABCDEFGHIJ.123", "abcdefghij.124x", VersionOrder::Unknown},
        {"BIOS dot at 12", "ABCDEFGHIJKL.1", "abcdefghijkl.2", VersionOrder::Unknown},
        {"image dot at 12", "ABCDEFGHIJK.12", "abcdefghijkl.", VersionOrder::Unknown},
        {"long running version that reads 1.010", "1.010 build 2024", "B.020",
         VersionOrder::Unknown},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const VersionOrder got = CompareImageVersion(c.bios, c.image);
        EXPECT_EQ(got, c.order) << "got " << Name(got);
    }
}

TEST(VersionCheck, APositionThatIsNeitherDigitNorLetterGivesUnknown) {
    const VersionCase cases[] = {
        {"running version of dots", "....", "KV1.105", VersionOrder::Unknown},
        {"image of letters and dots", "KV1.105", "a.b.c", VersionOrder::Unknown},
        {"BIOS ends one short", "A.1", "B.100", VersionOrder::Unknown},
        {"image ends one short", "A.100", "B.10", VersionOrder::Unknown},
        {"blank", "A.1 5", "B.105", VersionOrder::Unknown},
        {"sign", "A.105", "B.-12", VersionOrder::Unknown},
        {"byte above 127", "A.\x80" "00", "B.000", VersionOrder::Unknown},
        {"a second dot", "A.1.5", "B.105", VersionOrder::Unknown},
        {"dot at 11 reads the closing zero", "ABCDEFGHIJK.12", "abcdefghijk.12",
         VersionOrder::Unknown},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const VersionOrder got = CompareImageVersion(c.bios, c.image);
        EXPECT_EQ(got, c.order) << "got " << Name(got);
    }
}

}  // namespace
