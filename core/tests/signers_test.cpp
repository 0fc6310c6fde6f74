#include "signers.h"

#include <string>

#include <gtest/gtest.h>

namespace {

using namespace kv::core;

const std::string kHex = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
const std::string kColons =
    "BA:78:16:BF:8F:01:CF:EA:41:41:40:DE:5D:AE:22:23:B0:03:61:A3:96:17:7A:9C:B4:10:FF:61:F2:00:15:AD";

TEST(SignerList, ReadsTheFormatAndRefusesAnythingElse) {
    struct Case {
        const char* what;
        std::string bytes;
        std::size_t badLine, entries;
    } cases[] = {
        {"empty", "", 0, 0},
        {"comments and blanks only", "# who signs\r\n\n   \n", 0, 0},
        {"cert with and without label, BOM, CRLF", "\xEF\xBB\xBF" "cert " + kHex + "\r\nCERT\t" + kColons + " Maker CA\r\n", 0, 2},
        {"file line", "file " + kHex + "  WinFlash64.exe  \n", 0, 1},
        {"file without a name", "file " + kHex + "\n", 1, 0},
        {"file with a path", "cert " + kHex + "\nfile " + kHex + " ROM\\x.exe\n", 2, 0},
        {"short digest", "cert " + kHex.substr(1) + "\n", 1, 0},
        {"not hex", "cert " + std::string(64, 'g') + "\n", 1, 0},
        {"colons misplaced", "cert " + kColons.substr(1) + ":\n", 1, 0},
        {"unknown kind", "cert " + kHex + "\nsigner " + kHex + "\n", 2, 0},
        {"a sha256sum line", kHex + "  WinFlash64.exe\n", 1, 0},
    };
    for (const Case& c : cases) {
        const SignerList list = ParseSignerList(c.bytes);
        EXPECT_EQ(list.badLine, c.badLine) << c.what;
        EXPECT_EQ(list.entries.size(), c.entries) << c.what;
    }
}

TEST(SignerList, NamesCertificatesAndFilesByTheirLinesOnly) {
    const SignerList list = ParseSignerList("cert " + kColons + " CA\nfile " + kHex + " WinFlash64.exe\n");
    ASSERT_TRUE(list.Ok());
    Sha256Digest digest = list.entries[0].digest, other = digest;
    other[31] ^= 1;
    EXPECT_EQ(DigestText(digest), kHex);
    EXPECT_EQ(list.entries[0].name, "CA");
    EXPECT_TRUE(NamesCertificate(list, digest));
    EXPECT_FALSE(NamesCertificate(list, other));
    EXPECT_TRUE(HasFileLine(list, "winflash64.EXE"));
    EXPECT_FALSE(HasFileLine(list, "BIOS.dll"));
    EXPECT_TRUE(AllowsFile(list, "WINFLASH64.exe", digest));
    EXPECT_FALSE(AllowsFile(list, "WinFlash64.exe", other));
    EXPECT_FALSE(AllowsFile(list, "BIOS.dll", digest));
}

}  // namespace
