#include "sysinfo.h"

#include <iterator>
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

// Each 8-bit character of text as one UTF-16 code unit, with the byte-order
// mark in front.
std::string Utf16(std::u16string_view text, bool bigEndian) {
    std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (const char16_t unit : text) {
        const char hi = static_cast<char>(unit >> 8);
        const char lo = static_cast<char>(unit & 0xFF);
        out += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
    }
    return out;
}

TEST(SystemIdFile, ReadsUnicodeFilesByTheirByteOrderMark) {
    const IdCase cases[] = {
        {"UTF-16 LE, as Notepad saves Unicode", Utf16(u"SystemID:ABC12\r\n", false), "ABC12"},
        {"UTF-16 BE", Utf16(u"SystemID:ABC12\r\n", true), "ABC12"},
        {"UTF-8 with its mark", "\xEF\xBB\xBFSystemID:ABC12\r\n", "ABC12"},
        {"UTF-16 character beyond 8 bits", Utf16(u"ID:AB\u041A\n", false), "AB?"},
        {"UTF-16 surrogate pair is one character", Utf16(u"ID:A\U0001F600B", false), "A?B"},
        {"UTF-16 zero unit ends it", Utf16(std::u16string(u"ID:AB\0CD", 8), false), "AB"},
        {"UTF-16 odd last byte", Utf16(u"ID:AB", false) + "C", "AB?"},
        {"UTF-8 two-byte letter", "\xEF\xBB\xBFID:\xC3\x89X", "\xC9X"},
        {"UTF-8 three-byte character", "\xEF\xBB\xBFID:A\xE2\x82\xAC", "A?"},
        {"UTF-8 broken sequence", "\xEF\xBB\xBFID:A\xC3Z", "A?Z"},
        {"half a mark is plain bytes", "\xFFID:AB\n", "AB"},
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

TEST(DateText, AnythingButEightLeadingDigitsGivesEmptyText) {
    const wchar_t beyondEightBits[] = {0x132, 0x130, 0x130, 0x138, 0x4130, 0x4132, 0x131, 0x135, 0};
    const wchar_t* const dates[] = {
        nullptr, L"", L"2008021", L"ABCDEFGHIJ", L"2008 215", L"20080-15", L"2008021X",
        beyondEightBits,
    };
    for (std::size_t i = 0; i < std::size(dates); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(DateText(dates[i]), "");
    }
}

}  // namespace
