#include "sysinfo.h"

#include <string>

#include <gtest/gtest.h>

namespace {

using kv::core::DateText;
using kv::core::ParseSystemId;
using kv::core::SystemIdMatches;

struct IdCase {
    const char* what;
    std::string file;
    std::string id;
};

TEST(SystemIdFile, ReadsTheRunAfterTheFirstColon) {
    const IdCase cases[] = {
        {"CR LF after the ID", "SystemID:ABC12\r\n", "ABC12"},
        {"no line end", "SystemID:ABC12", "ABC12"},
        {"LF only", "SystemID:ABC12\nmore", "ABC12"},
        {"a blank ends it", "ID:KV-7310 rev B\n", "KV-7310"},
        {"a tab belongs to it", "ID:AB\tC D", "AB\tC"},
        {"blank after the colon", "SystemID: ABC12\n", ""},
        {"line end after the colon", "SystemID:\r\nABC12", ""},
        {"no colon", "ABC12\r\n", ""},
        {"empty file", "", ""},
        {"only the first colon counts", "A:first\r\nB:second\r\n", "first"},
        {"later colons belong to it", "ID:a:b:c\n", "a:b:c"},
        {"a lone CR stays", "ID:AB\rCD\n", "AB\rCD"},
        {"CR CR LF keeps one CR", "ID:AB\r\r\n", "AB\r"},
        {"Ctrl-Z ends the text", "ID:AB\x1A" "CD\n", "AB"},
        {"CR before Ctrl-Z stays", "ID:AB\r\x1A\n", "AB\r"},
        {"colon after Ctrl-Z is never read", "\x1A:ABC", ""},
        {"a zero byte ends it", std::string("ID:AB\0CD\n", 9), "AB"},
        {"longer than 19 characters is kept whole", "ID:ABCDEFGHIJKLMNOPQRSTUVWXY\n",
         "ABCDEFGHIJKLMNOPQRSTUVWXY"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ParseSystemId(c.file), c.id);
    }
}

TEST(SystemIdFile, ComparesWholeStringsIgnoringLetterCase) {
    EXPECT_TRUE(SystemIdMatches("abc12", "ABC12"));
    EXPECT_TRUE(SystemIdMatches("KV-7310", "kv-7310"));
    EXPECT_TRUE(SystemIdMatches("", ""));
    EXPECT_FALSE(SystemIdMatches("", "ABC12"));
    EXPECT_FALSE(SystemIdMatches("ABC12", ""));
    EXPECT_FALSE(SystemIdMatches("ABC1", "ABC12"));
    EXPECT_FALSE(SystemIdMatches("ABC123", "ABC12"));
    EXPECT_FALSE(SystemIdMatches("ABC13", "ABC12"));
    // Only letters have a case: '[' and '{' differ by the same bit as 'A' and 'a'.
    EXPECT_FALSE(SystemIdMatches("[", "{"));
}

TEST(SystemIdFile, LongIdNeverMatchesOnItsFirst19Characters) {
    const std::string id = ParseSystemId("SystemID:ABCDEFGHIJKLMNOPQRSTUVWXYZ\r\n");
    ASSERT_EQ(id.size(), 26u) << "got " << id;
    EXPECT_FALSE(SystemIdMatches("ABCDEFGHIJKLMNOPQRS", id));
    EXPECT_TRUE(SystemIdMatches("abcdefghijklmnopqrstuvwxyz", id));
}

TEST(DateText, IsMonthDayYearFromTheFirstEightCharacters) {
    EXPECT_EQ(DateText(L"20080215000000.000000+000"), "02/15/2008");
    EXPECT_EQ(DateText(L"20120608"), "06/08/2012");
    EXPECT_EQ(DateText(L"19991231xyz"), "12/31/1999");
}

TEST(DateText, TakesTheLowByteOfEachCodeUnit) {
    const wchar_t date[] = {0x132, 0x130, 0x130, 0x138, 0x4130, 0x4132, 0x131, 0x135, 0};
    EXPECT_EQ(DateText(date), "02/15/2008");
}

TEST(DateText, MissingOrShortDateGivesEmptyText) {
    EXPECT_EQ(DateText(nullptr), "");
    EXPECT_EQ(DateText(L""), "");
    EXPECT_EQ(DateText(L"2008021"), "");
}

TEST(DateText, ZeroLowByteEndsTheText) {
    const wchar_t date[] = {L'2', L'0', L'0', L'8', L'0', L'2', 0x100, L'5', 0};
    EXPECT_EQ(DateText(date), "02/");
}

}  // namespace
