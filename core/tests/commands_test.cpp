#include "commands.h"

#include <string>

#include <gtest/gtest.h>

namespace {

using namespace kv::core;

TEST(CommandLines, AreExactlyWhatTheOutsideProgramsExpect) {
    EXPECT_EQ(FlasherCommand("KV1.102"), "winflash64.exe C:\\KAVELTON\\Rom\\KV1.102 /exit /py");
    EXPECT_EQ(FlasherCommand("F"), "winflash64.exe C:\\KAVELTON\\Rom\\F /exit /py");
    EXPECT_EQ(DisketteCommand("KV1.102", "A:"), "copybinFile.bat KV1.102 A:");
    EXPECT_EQ(DisketteCommand("B9A1T.F07", "B:"), "copybinFile.bat B9A1T.F07 B:");
    EXPECT_EQ(UsbKeyCommand("E:", "F"), "ToUSB.bat  E: F");
    EXPECT_EQ(UsbKeyCommand("G:", "X-Y_1.ROM"), "ToUSB.bat  G: X-Y_1.ROM");
}

TEST(CommandLines, UsbCommandFitsIn79Characters) {
    // "ToUSB.bat  " + "E:" + " " leaves 65 characters for the name.
    const std::string longest(65, 'N');
    EXPECT_TRUE(UsbKeyCommandFits("E:", longest));
    EXPECT_EQ(UsbKeyCommand("E:", longest).size(), kMaxUsbCommandLength);
    EXPECT_FALSE(UsbKeyCommandFits("E:", longest + "N"));
    EXPECT_FALSE(UsbKeyCommandFits("E:\\some\\long\\folder", longest.substr(0, 50)));
}

TEST(ImageName, OrdinaryBiosNamesPass) {
    for (const char* name : {"KV1.102", "B9A1T.F07", "X-Y_1.ROM", "a", "bios#2+[1].bin",
                             "\xC4nderung.rom", "1234567890123"}) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(IsPlainImageName(name));
    }
}

TEST(ImageName, RefusesEveryCharacterWithAMeaningInACommandLine) {
    const std::string refused = "\\/:*?&|<>^%\"!();,=` \t";
    for (const char c : refused) {
        const std::string name = std::string("KV1") + c + ".102";
        SCOPED_TRACE(name);
        EXPECT_FALSE(IsPlainImageName(name));
    }
    for (const char c : {'\0', '\x01', '\n', '\r', '\x1A', '\x1F', '\x7F'}) {
        const std::string name = std::string("KV1.10") + c;
        SCOPED_TRACE(static_cast<int>(c));
        EXPECT_FALSE(IsPlainImageName(name));
    }
}

TEST(ImageName, RefusesEmptyAndFolderNames) {
    for (const char* name : {"", ".", "..", "...", "..\\KV1.102", "C:\\KV1.102", "ROM/KV1.102",
                             "KV1.102 & del *.*", "KV1.102\" /x"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(IsPlainImageName(name));
    }
}

// One rule for every task: a plain name, within the length its use allows.
TEST(ImageName, EachUseHasItsLengthLimit) {
    const struct {
        ImageUse use;
        std::size_t longest;
    } uses[] = {{ImageUse::Catalogue, 13}, {ImageUse::Diskette, 13}, {ImageUse::UsbKey, 79}, {ImageUse::Flash, 128}};
    for (const auto& u : uses) {
        SCOPED_TRACE(u.longest);
        EXPECT_TRUE(UsableImageName(std::string(u.longest - 4, 'K') + ".101", u.use));
        EXPECT_FALSE(UsableImageName(std::string(u.longest - 3, 'K') + ".101", u.use));
        EXPECT_FALSE(UsableImageName("KV 1.101", u.use)) << "not plain";
    }
}

TEST(DriveText, IsOneLetterAndAColon) {
    for (const char* drive : {"A:", "E:", "z:"}) {
        SCOPED_TRACE(drive);
        EXPECT_TRUE(IsDriveText(drive));
    }
    for (const char* drive : {"", "E", ":", "E:\\", "1:", "EE", "E;", "E: ", " E:", "@:", "[:"}) {
        SCOPED_TRACE(drive);
        EXPECT_FALSE(IsDriveText(drive));
    }
}

}  // namespace
