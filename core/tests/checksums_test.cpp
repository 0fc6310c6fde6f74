#include "checksums.h"

#include <cctype>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using namespace kv::core;

const std::string kAbc = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
const std::string kEmpty = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

struct ParseCase {
    const char* what;
    std::string bytes;
    std::size_t badLine;
    std::vector<std::string> names;
};

TEST(ChecksumList, ReadsTheFormatAndRefusesAnythingElse) {
    std::string upper = kAbc;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const ParseCase cases[] = {
        {"text and binary mode, LF and CRLF, blank lines",
         kAbc + "  A.010\r\n\n" + kEmpty + " *B.020\n\r\n", 0, {"A.010", "B.020"}},
        {"last line without end, upper-case hex, byte-order mark",
         "\xEF\xBB\xBF" + upper + "  a b.030", 0, {"a b.030"}},
        {"escaped name keeps its backslash", "\\" + kAbc + "  x\\\\y.010\n", 0, {"x\\\\y.010"}},
        {"one blank only", kAbc + " A.010\n", 1, {}},
        {"tab instead of blanks", kAbc + "\t A.010\n", 1, {}},
        {"no name", kAbc + "  \n", 1, {}},
        {"63 digits", kAbc.substr(1) + "  A.010\n", 1, {}},
        {"65 digits", kAbc + "0  A.010\n", 1, {}},
        {"not hex", "g" + kAbc.substr(1) + "  A.010\n", 1, {}},
        {"comment line after a good one", kAbc + "  A.010\n# list\n", 2, {}},
        {"zero byte in the name", kAbc + "  A.0" + std::string(1, '\0') + "10\n", 1, {}},
        {"a different digest format", "SHA256 (A.010) = " + kAbc + "\n", 1, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const ChecksumList list = ParseChecksumList(c.bytes);
        EXPECT_EQ(list.badLine, c.badLine);
        std::vector<std::string> names;
        for (const auto& entry : list.entries) names.push_back(entry.name);
        EXPECT_EQ(names, c.names);
    }
}

TEST(ChecksumList, AListThatNamesNothingIsNotUsable) {
    for (const std::string bytes : {"", "\r\n\n", "\xEF\xBB\xBF"}) {
        SCOPED_TRACE(testing::PrintToString(bytes));
        const ChecksumList list = ParseChecksumList(bytes);
        EXPECT_TRUE(list.Empty());
        EXPECT_FALSE(list.Ok());
    }
    EXPECT_TRUE(ParseChecksumList(kAbc + "  A.010\n").Ok());
}

// The names sha256sum writes when run in the install folder or in ROM, by
// hand or from Windows; anything else names no image.
TEST(ChecksumList, NamesTheImageByItsNameOrUnderRom) {
    const struct {
        const char* listed;
        bool names;
    } cases[] = {
        {"A.010", true},          {"a.010", true},          {"./A.010", true},
        {".\\A.010", true},       {"ROM/A.010", true},      {"rom\\a.010", true},
        {"./ROM/A.010", true},    {".\\Rom/A.010", true},   {"././A.010", false},
        {"ROM/./A.010", false},   {"ROM/ROM/A.010", false}, {"BIOS/A.010", false},
        {"/ROM/A.010", false},    {"../ROM/A.010", false},  {"C:A.010", false},
        {"C:/KAVELTON/ROM/A.010", false}, {"ROMA.010", false}, {"ROM//A.010", false},
        {".A.010", false},        {"A.01", false},          {"A.0100", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.listed);
        const ChecksumList list = ParseChecksumList(kAbc + "  " + c.listed + "\n");
        ASSERT_TRUE(list.Ok());
        EXPECT_EQ(ListedDigests(list, "A.010").size(), c.names ? 1u : 0u);
    }
    // Every line that names it counts, in list order; a name with a path is
    // no image name, whatever the list holds.
    const ChecksumList list = ParseChecksumList(kAbc + "  ./ROM/a.010\n" + kEmpty + "  A.010\n" + kEmpty +
                                                "  ROM/ROM/A.010\n");
    const auto both = ListedDigests(list, "A.010");
    ASSERT_EQ(both.size(), 2u);
    EXPECT_EQ(DigestText(both[0]), kAbc);
    EXPECT_EQ(DigestText(both[1]), kEmpty);
    EXPECT_TRUE(ListedDigests(list, "ROM/A.010").empty());
    EXPECT_TRUE(ListedDigests(list, "").empty());
}

}  // namespace
