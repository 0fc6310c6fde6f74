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
        {"empty file", "", 0, {}},
        {"blank lines only", "\r\n\n", 0, {}},
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
        EXPECT_EQ(list.Ok(), c.badLine == 0 && !c.names.empty()) << "a list that names nothing is no list";
        std::vector<std::string> names;
        for (const auto& entry : list.entries) names.push_back(entry.name);
        EXPECT_EQ(names, c.names);
    }
}

// The names sha256sum writes in the install folder or in ROM, on Linux or
// from Windows, name the image; any other path names nothing.
TEST(ChecksumList, NamesTheImageByItsNameOrUnderRomAndNeverOtherwise) {
    for (const char* listed :
         {"a.010", "./A.010", ".\\A.010", "ROM/A.010", "rom\\a.010", "./ROM/A.010", ".\\Rom/A.010"})
        EXPECT_EQ(ListedDigests(ParseChecksumList(kAbc + "  " + listed), "A.010").size(), 1u) << listed;
    for (const char* listed : {"././A.010", "ROM/./A.010", "ROM/ROM/A.010", "BIOS/A.010", "/ROM/A.010",
                               "../ROM/A.010", "C:A.010", "ROMA.010", "ROM//A.010", "A.01", "A.0100"})
        EXPECT_TRUE(ListedDigests(ParseChecksumList(kAbc + "  " + listed), "A.010").empty()) << listed;
    const ChecksumList list = ParseChecksumList(kAbc + "  ./ROM/a.010\n" + kEmpty + "  ROM\\B.020\n" + kEmpty +
                                                "  C:B.020\n" + kEmpty + "  rom/b.020\n" + kEmpty +
                                                "  A.010\n");
    ASSERT_TRUE(list.Ok());
    const auto both = ListedDigests(list, "A.010");
    ASSERT_EQ(both.size(), 2u);
    EXPECT_EQ(DigestText(both[0]), kAbc);
    EXPECT_EQ(DigestText(both[1]), kEmpty);
    EXPECT_EQ(ListedDigests(list, "B.020").size(), 2u);
    EXPECT_TRUE(ListedDigests(list, "ROM/B.020").empty()) << "an image name has no path";
}

}  // namespace
