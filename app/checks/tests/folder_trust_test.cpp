// Trusting the install folder, through the fake platform: the rule over
// access lists made from SDDL, the question at start, /secure and exit 10,
// and the image checked again when a task starts.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "checks/folder_trust.h"
#include "cli/unattended.h"
#include "common/install_paths.h"
#include "common/run_log.h"
#include "fake_platform.h"
#include "tasks/task_steps.h"

namespace kv {
namespace {

using test::ScopedFake;

using test::Has;

const char kTrustedInstaller[] = "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

TEST(FolderTrust, TheRuleOverAccessLists) {
    struct Case {
        const char* what;
        std::string sddl;
        const char* who;  // nullptr: secure
        bool folder = false;
    };
    const Case cases[] = {
        {"a new folder in C:\\", "O:BAD:AI(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)(A;OICIID;0x1200a9;;;BU)"
                                 "(A;ID;0x1301bf;;;AU)(A;OICIIOID;SDGXGWGR;;;AU)",
         "NT AUTHORITY\\Authenticated Users can change it"},
        {"Users may write", "O:BAD:(A;;FA;;;BA)(A;;FR;;;WD)(A;;0x2;;;BU)", "BUILTIN\\Users can change it"},
        {"Everyone full control", "O:SYD:(A;;FA;;;WD)", "Everyone can change it"},
        {"several, each named once", "O:BAD:(A;;0x100;;;BU)(A;;WD;;;AU)(A;;0x40;;;BU)",
         "BUILTIN\\Users, NT AUTHORITY\\Authenticated Users can change it"},
        {"an inherit-only entry", "O:BAD:(A;OICIIO;FA;;;BU)(A;;FA;;;BA)", nullptr},
        {"a deny entry counts for nothing", "O:BAD:(D;;FA;;;BA)(A;;0x1200a9;;;BU)", nullptr},
        {"no access list", "O:BA", "it has no access list, so everyone can change it"},
        {"a foreign owner", "O:BUD:(A;;FA;;;BA)", "it belongs to BUILTIN\\Users"},
        {"TrustedInstaller", "O:" + std::string(kTrustedInstaller) + "D:(A;;FA;;;" + kTrustedInstaller + ")", nullptr},
        {"the lock the MSI sets", "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)", nullptr},
        {"Wine's default", test::FakePlatform::kWineDefaultSddl, nullptr},
        {"the user, but someone else's SID", "O:S-1-5-21-1-2-3-1001D:(A;;FA;;;BA)", "it belongs to "},
        {"unreadable", "", "its owner and access list cannot be read (error 5)"},
        // A folder's inheritable entries are what the files made in it get.
        {"folder: Users' inherit-only grant", "O:BAD:(A;;FA;;;BA)(A;OICIIO;0x116;;;BU)",
         "BUILTIN\\Users can change what is made in it", true},
        {"folder: CREATOR OWNER's grant", "O:BAD:(A;;FA;;;BA)(A;OICIIO;FA;;;CO)(A;;0x1200a9;;;BU)", nullptr, true},
        {"folder: CREATOR GROUP's grant", "O:BAD:(A;;FA;;;BA)(A;OICIIO;FA;;;CG)", "CREATOR GROUP can change what", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScopedFake s;
        s.fake.security["C:\\KAVELTON\\BIOS.dll"] = c.sddl;
        const auto open = CheckEntry("C:\\KAVELTON\\BIOS.dll", c.folder);
        if (!c.who) {
            EXPECT_FALSE(open) << open->who;
            continue;
        }
        ASSERT_TRUE(open);
        EXPECT_TRUE(open->who.rfind(c.who, 0) == 0) << "got \"" << open->who << "\"";
    }
}

// What a handle tells, as Windows answers where Wine cannot show it: each
// makes the walk name its entry, and securing touch nothing at all.
TEST(FolderTrust, TheWalkJudgesEachEntryByItsHandle) {
    using Entry = test::FakePlatform::FakeEntry;
    constexpr DWORD kLinkDir = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    struct Case {
        const char* what;
        std::string path;
        Entry entry;
        const char* finalPath;  // nullptr: where it was walked
        std::string who;
        bool link;
    };
    const Case cases[] = {
        {"a junction at the root", "C:\\KAVELTON", {0, kLinkDir, IO_REPARSE_TAG_MOUNT_POINT}, nullptr,
         "it is a link (reparse point)", true},
        {"a junction at ROM", "C:\\KAVELTON\\ROM", {0, kLinkDir, IO_REPARSE_TAG_MOUNT_POINT}, nullptr,
         "it is a link (reparse point)", true},
        {"a file symlink", "C:\\KAVELTON\\BIOS.dll", {0, FILE_ATTRIBUTE_REPARSE_POINT, IO_REPARSE_TAG_SYMLINK}, nullptr,
         "it is a link (reparse point)", true},
        {"a second name", "C:\\KAVELTON\\BIOS.dll", {0, FILE_ATTRIBUTE_ARCHIVE, 0, 2}, nullptr,
         "it has a second name (hard link)", true},
        {"a link Wine follows unseen", "C:\\KAVELTON\\ROM", {}, "\\\\?\\C:\\Users\\Public", "its final path is "
         "\\\\?\\C:\\Users\\Public", true},
        {"an open image", "C:\\KAVELTON\\ROM\\KVD.101", {ERROR_SHARING_VIOLATION}, nullptr,
         "it is held open by another program", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScopedFake s;
        s.fake.files["C:\\KAVELTON\\ROM\\KVD.101"].bytes = "image";
        s.fake.files["C:\\KAVELTON\\BIOS.dll"].bytes = "library";
        s.fake.entries[c.path] = c.entry;
        if (c.finalPath) s.fake.finalPaths[c.path] = c.finalPath;
        const std::vector<OpenEntry> open = FindOpenEntries();
        ASSERT_EQ(open.size(), 1u) << DescribeOpenEntries(open);
        EXPECT_EQ(open[0].path, c.path);
        EXPECT_EQ(open[0].who, c.who);
        EXPECT_EQ(s.fake.openHandles(), 0);
        HoldRunLog();
        EXPECT_EQ(SecureInstallFolder(), c.link ? kLinksRefused : DWORD(ERROR_SUCCESS));
        EXPECT_EQ(s.fake.resets.empty(), c.link) << "secured through a link";
        EXPECT_EQ(HeldFile(c.path).open().has_value(), true) << "held though open";
        ReleaseRunLog();
    }
}

TEST(FolderTrust, TheQuestionAtStartSecuresOnYesAndEndsEitherWay) {
    struct Case {
        const char* what;
        int answer;
        bool staysOpen;
        UINT icon;  // of the box after securing
        std::string told;
    };
    const Case cases[] = {
        {"No", IDNO, false, 0, ""},
        {"Yes", IDYES, false, MB_ICONWARNING,
         "C:\\KAVELTON is secured: only administrators can change it now.\n\nWhile it was open, others could have "
         "changed the files that Kavelton loads, runs or believes:\n\n" + RestoreList() + "\n\nRestore them, then "
         "start Kavelton again: repair the installation with msiexec /fa Kavelton.msi, or copy them again from the "
         "vendor's package.\n\nKavelton ends now."},
        {"Yes, but something stays open", IDYES, true, MB_ICONERROR,
         "Still open:\n\nC:\\KAVELTON\\BIOS.dll: Everyone can change it\n\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScopedFake s;
        // Seven open entries: the question names five.
        for (const char* name : {"", "\\ROM", "\\BIOS.dll", "\\UsbScan.dll", "\\fdd.imz", "\\System.txt", "\\ToUSB.bat"})
            s.fake.security[std::string("C:\\KAVELTON") + name] = "O:BAD:(A;;FA;;;WD)";
        if (c.staysOpen) s.fake.staysOpen = {"C:\\KAVELTON\\BIOS.dll"};
        s.fake.answers = {c.answer};
        HoldRunLog();
        EXPECT_FALSE(InstallFolderTrustedAtStart());
        EXPECT_EQ(s.fake.CallCount("LoadLibrary"), 0);
        ASSERT_GE(s.fake.messages.size(), 1u);
        const auto& question = s.fake.messages[0];
        EXPECT_EQ(question.title, "Kavelton");
        EXPECT_EQ(question.style, static_cast<UINT>(MB_YESNO | MB_ICONWARNING | MB_TOPMOST));
        EXPECT_TRUE(Has(question.text, ":\n\nC:\\KAVELTON: Everyone can change it\nC:\\KAVELTON\\BIOS.dll: Everyone "
                                       "can change it\n"))
            << question.text;
        EXPECT_TRUE(Has(question.text, "\nand 2 more\n")) << question.text;
        EXPECT_FALSE(Has(question.text, "fdd.imz")) << "more than five are counted, not named";
        EXPECT_EQ(s.fake.File(kRunLogPath), nullptr) << "written before the folder was secure";
        if (c.answer == IDNO) {
            EXPECT_EQ(s.fake.messages.size(), 1u);
            EXPECT_TRUE(s.fake.resets.empty());
        } else {
            // Every entry walked, by handle, the folder first: the seven and
            // the flasher that the fake's folder holds from the start.
            ASSERT_EQ(s.fake.resets.size(), 8u);
            EXPECT_EQ(s.fake.resets[0],
                      "SecureEntry C:\\KAVELTON O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)");
            const auto at = [&](const std::string& call) {
                return std::find(s.fake.calls.begin(), s.fake.calls.end(), call) - s.fake.calls.begin();
            };
            EXPECT_LT(at("EnablePrivilege SeTakeOwnershipPrivilege"), at("SecureEntry C:\\KAVELTON"));
            EXPECT_LT(at("EnablePrivilege SeRestorePrivilege"), at("SecureEntry C:\\KAVELTON"));
            EXPECT_EQ(s.fake.openHandles(), 0) << "the token stays open";
        }
        if (c.icon) {
            ASSERT_EQ(s.fake.messages.size(), 2u);
            EXPECT_EQ(s.fake.messages[1].style, static_cast<UINT>(MB_OK | c.icon | MB_TOPMOST));
            EXPECT_TRUE(Has(s.fake.messages[1].text, c.told)) << s.fake.messages[1].text;
        }
        ReleaseRunLog();
    }
}

TEST(FolderTrust, TheCommandLineRefusesAnOpenFolderAndSecuresIt) {
    struct Case {
        const char* args;
        bool staysOpen;
        int code;
        const char* open = "C:\\KAVELTON\\ROM";  // nullptr: nothing is
    };
    const Case cases[] = {
        {"/check", false, kExitFolderOpen},
        {"/flash KVD.101 /force", false, kExitFolderOpen},
        {"/?", false, kExitSuccess},  // answers first
        {"/check /secure", false, kExitBadArguments},
        {"/secure", true, kExitFolderOpen},
        {"/SECURE", false, kExitFolderSecured},
        {"/secure", false, kExitFolderSecured, "C:\\KAVELTON\\ROM\\KVD.101"},  // what a task sends here
        {"/secure", false, kExitSuccess, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        ScopedFake s;
        s.fake.folders["C:\\KAVELTON\\ROM\\*.*"] = {{"KVD.101", FILE_ATTRIBUTE_ARCHIVE}};
        if (c.open) s.fake.security[c.open] = "O:BAD:(A;;FA;;;BU)";
        if (c.staysOpen) s.fake.staysOpen = {c.open};
        EXPECT_EQ(RunUnattended(c.args), c.code);
        EXPECT_EQ(s.fake.CallCount("LoadLibrary"), 0) << "loaded from an open folder";
        EXPECT_TRUE(s.fake.started.empty());
        EXPECT_EQ(s.fake.File(kRunLogPath) != nullptr, c.code == kExitSuccess && c.args[1] != '?')
            << "written while the folder was open";
        EXPECT_EQ(!s.fake.resets.empty(), c.code == kExitFolderSecured || c.staysOpen);
        EXPECT_EQ(Has(s.fake.output, "C:\\KAVELTON secured now; restore these files, then run Kavelton again:\r\n"
                                     "Kavelton.exe, BIOS.dll, "), c.code == kExitFolderSecured) << s.fake.output;
        ReleaseRunLog();
    }
}

TEST(FolderTrust, AnImageOthersCanChangeIsNotUsed) {
    ScopedFake s;
    s.fake.folders["C:\\KAVELTON\\ROM\\*.*"] = {{"KVD.101", FILE_ATTRIBUTE_ARCHIVE}};
    s.fake.security["C:\\KAVELTON\\ROM\\KVD.101"] = "O:BAD:(A;;FA;;;AU)";
    EXPECT_FALSE(TaskSteps("Flash BIOS in windows").ImageReady("KVD.101"));
    ASSERT_EQ(s.fake.messages.size(), 1u);
    EXPECT_EQ(s.fake.messages[0].text,
              "The BIOS file KVD.101 can be changed by users other than administrators: NT AUTHORITY\\Authenticated "
              "Users can change it.\nIt is not used. Please secure the folder C:\\KAVELTON and check the file.");
    EXPECT_EQ(s.fake.messages[0].style, static_cast<UINT>(MB_OK | MB_ICONERROR | MB_TOPMOST));
    EXPECT_EQ(s.fake.CallCount("ListFolder C:\\KAVELTON\\SHA256SUMS"), 0) << "went on to the checksum";
}

}  // namespace
}  // namespace kv
