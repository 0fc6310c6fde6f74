// The checks before a flash through the fake platform and served WMI:
// power, image checksums, drive encryption.
#include <gtest/gtest.h>

#include <wbemidl.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "checks/encryption.h"
#include "checks/image_checksum.h"
#include "checks/power.h"
#include "checksums.h"
#include "common/run_log.h"
#include "fake_platform.h"
#include "flash/flash_hold.h"
#include "flash/flash_procedure.h"
#include "forms/Main.h"
#include "served_method_source.h"
#include "tasks/update_result.h"

namespace kv {
namespace {

using test::ScopedFake;

using test::Has;

// --- power ------------------------------------------------------------------

TEST(PowerCheck, RefusesOnBatteryAndAsksWhenLow) {
    struct Case {
        const char* what;
        BYTE ac, flag, percent;
        int answer;
        bool goesOn;
        UINT box;  // 0: no box
    };
    const Case cases[] = {
        {"AC, charged", 1, 1, 90, 0, true, 0},
        {"AC, 20% is not low", 1, 2, 20, 0, true, 0},
        {"AC, 19%, Yes", 1, 4, 19, IDYES, true, MB_YESNO | MB_ICONWARNING},
        {"AC, 19%, No", 1, 4, 19, IDNO, false, MB_YESNO | MB_ICONWARNING},
        {"AC, charge unknown", 1, 4, 255, 0, true, 0},
        {"AC, charging", 1, 8, 5, IDNO, false, MB_YESNO | MB_ICONWARNING},
        {"battery", 0, 1, 90, 0, false, MB_OK | MB_ICONERROR},
        {"battery, low", 0, 2, 10, 0, false, MB_OK | MB_ICONERROR},
        {"no battery", 0, 128, 255, 0, true, 0},
        {"battery status unknown", 0, 255, 255, 0, true, 0},
        {"AC status unknown", 255, 1, 50, 0, true, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScopedFake s;
        s.fake.power.ACLineStatus = c.ac;
        s.fake.power.BatteryFlag = c.flag;
        s.fake.power.BatteryLifePercent = c.percent;
        if (c.answer) s.fake.answers.push_back(c.answer);
        EXPECT_EQ(CheckPower(Boxes()), c.goesOn);
        if (!c.box) {
            EXPECT_TRUE(s.fake.messages.empty());
            continue;
        }
        ASSERT_EQ(s.fake.messages.size(), 1u);
        EXPECT_EQ(s.fake.messages[0].title, kFlashTitle);
        EXPECT_EQ(s.fake.messages[0].style, c.box | MB_TOPMOST);
        if (c.ac == 0) {
            EXPECT_TRUE(Has(s.fake.messages[0].text, "connect the AC adapter"));
        }
    }
    ScopedFake unreadable;
    unreadable.fake.powerFails = true;
    EXPECT_TRUE(CheckPower(Boxes()));
    EXPECT_TRUE(unreadable.fake.messages.empty());
}

// --- checksums ----------------------------------------------------------------

TEST(ChecksumCheck, EachOutcome) {
    const std::string good(32, '\x11'), other(32, '\x22');
    const std::string goodHex(64, '1'), otherHex(64, '2');
    struct Case {
        const char* what;
        bool listShown;           // the folder lists the file
        const char* list;         // nullptr: cannot be read
        bool imageReadable;
        bool goesOn;
        const char* boxPart;      // nullptr: no box
        const char* logPart;
    };
    const std::string matching = goodHex + "  a.010\r\n" + otherHex + " *B.020\n";
    const std::string mismatching = otherHex + "  A.010\n";
    const std::string notListed = goodHex + "  B.020\n" + goodHex + "  BIOS\\A.010\n";
    const std::string malformed = goodHex + "  A.010\nA.010\n";
    const Case cases[] = {
        {"no list", false, nullptr, true, true, nullptr, "A.010 not verified (no checksum list)"},
        {"listed, matching", true, matching.c_str(), true, true, nullptr, "A.010 verified"},
        {"listed, differing", true, mismatching.c_str(), true, false, "BIOS image A.010 does not match", "listed"},
        {"not listed", true, notListed.c_str(), true, false, "A.010 is not listed in the checksum list "
         "C:\\KAVELTON\\SHA256SUMS.\nThe BIOS image is not used.\n\nTo use it, add its line", "A.010 refused"},
        {"no checksum line", true, "\r\n", true, false, "SHA256SUMS is damaged: it holds no checksum line",
         "no checksum line"},
        {"malformed", true, malformed.c_str(), true, false, "SHA256SUMS is damaged: line 2", "damaged"},
        {"unreadable", true, nullptr, true, false, "SHA256SUMS cannot be read", "cannot be read"},
        {"image unreadable", true, matching.c_str(), false, false, "A.010 cannot be computed", "cannot"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScopedFake s;
        if (c.listShown) s.fake.folders[kChecksumListPath] = {{"SHA256SUMS", FILE_ATTRIBUTE_ARCHIVE}};
        if (c.list) s.fake.files[kChecksumListPath].bytes = c.list;
        s.fake.files["C:\\KAVELTON\\ROM\\A.010"].bytes = "image bytes";
        if (!c.imageReadable) s.fake.files["C:\\KAVELTON\\ROM\\A.010"].failReadAt = 0;
        s.fake.digests["image bytes"] = good;
        EXPECT_EQ(CheckImageChecksum("A.010", "Create Flash BIOS Penlet", Boxes()), c.goesOn);
        if (c.boxPart) {
            ASSERT_EQ(s.fake.messages.size(), 1u);
            EXPECT_TRUE(Has(s.fake.messages[0].text, c.boxPart)) << s.fake.messages[0].text;
            EXPECT_EQ(s.fake.messages[0].title, "Create Flash BIOS Penlet");
            EXPECT_EQ(s.fake.messages[0].style, MB_OK | MB_ICONERROR | MB_TOPMOST);
        } else {
            EXPECT_TRUE(s.fake.messages.empty());
        }
        EXPECT_TRUE(Has(s.fake.RunLog(), c.logPart)) << s.fake.RunLog();
        EXPECT_EQ(s.fake.openHandles(), 0);
        EXPECT_EQ(s.fake.openHashes(), 0);
    }
}

// --- drive encryption -----------------------------------------------------------

const wchar_t kNameSpace[] = L"root\\CIMV2\\Security\\MicrosoftVolumeEncryption";
const wchar_t kPath[] = L"\\\\PC\\root\\CIMV2\\Security\\MicrosoftVolumeEncryption:Win32_EncryptableVolume."
                        L"DeviceID=\"\\\\\\\\?\\\\Volume{1}\\\\\"";

wmi::ServedMethodSource ProtectedVolume(std::uint32_t status, bool withCount = true) {
    wmi::ServedMethodSource source;
    source.nameSpace = kNameSpace;
    source.instances.push_back({L"Win32_EncryptableVolume", L"other", {{L"DriveLetter", L"D:"}}});
    source.instances.push_back({L"Win32_EncryptableVolume", kPath, {{L"DriveLetter", L"c:"}}});
    source.methods[L"Win32_EncryptableVolume.GetProtectionStatus"] = {{}, S_OK, {{L"ReturnValue", 0}, {L"ProtectionStatus", status}}};
    std::vector<std::wstring> in;
    if (withCount) in.push_back(L"DisableCount");
    source.methods[L"Win32_EncryptableVolume.DisableKeyProtectors"] = {in, S_OK, {{L"ReturnValue", 0}}};
    source.methods[L"Win32_EncryptableVolume.EnableKeyProtectors"] = {{}, S_OK, {{L"ReturnValue", 0}}};
    return source;
}

TEST(EncryptionCheck, EachOutcome) {
    using Source = wmi::ServedMethodSource;
    const auto none = [](Source&) {};
    struct Case {
        const char* what;
        std::uint32_t status;
        bool withCount;
        std::function<void(Source&)> setup;
        int answer;
        bool goesOn;
        std::vector<const char*> boxParts;  // one per box, in order
        int suspendParameters;              // -1: no suspend call
    };
    const Case cases[] = {
        {"off", 0, true, none, 0, true, {}, -1},
        {"on, Yes", 1, true, none, IDYES, true, {"suspend the protection for one restart"}, 1},
        {"unknown counts as on, No", 2, true, none, IDNO, false, {"recovery key"}, -1},
        {"no suspend count, Yes", 1, false, none, IDYES, true, {"resume the protection"}, 0},
        {"suspend fails", 1, true,
         [](Source& s) { s.methods[L"Win32_EncryptableVolume.DisableKeyProtectors"].out[L"ReturnValue"] = 0x80310000; },
         IDYES, false, {"recovery key", "could not be suspended (error 0x80310000)"}, 1},
        {"no namespace", 1, true, [](Source& s) { s.nameSpace = L"root\\cimv2"; }, 0, true, {}, -1},
        {"no class", 1, true, [](Source& s) { s.findResult = WBEM_E_INVALID_CLASS; }, 0, true, {}, -1},
        {"no instance of the system drive", 1, true, [](Source& s) { s.instances.pop_back(); }, 0, true, {}, -1},
        {"access denied, Yes", 1, true, [](Source& s) { s.findResult = WBEM_E_ACCESS_DENIED; }, IDYES, true,
         {"cannot be told (find volume: error 0x80041003)"}, -1},
        {"status refused, No", 1, true,
         [](Source& s) { s.methods[L"Win32_EncryptableVolume.GetProtectionStatus"].out = {{L"ReturnValue", 5}}; },
         IDNO, false, {"suspend the protection yourself"}, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScopedFake s;
        Source source = ProtectedVolume(c.status, c.withCount);
        c.setup(source);
        if (c.answer) s.fake.answers.push_back(c.answer);
        DriveEncryption encryption(Boxes(), source);
        EXPECT_EQ(encryption.Check("C:"), c.goesOn);
        ASSERT_EQ(s.fake.messages.size(), c.boxParts.size());
        for (std::size_t i = 0; i < c.boxParts.size(); ++i) {
            EXPECT_TRUE(Has(s.fake.messages[i].text, c.boxParts[i])) << s.fake.messages[i].text;
            EXPECT_EQ(s.fake.messages[i].title, kFlashTitle);
            EXPECT_TRUE(s.fake.messages[i].style & MB_TOPMOST);
        }
        std::vector<wmi::MethodCall> suspends;
        for (const auto& call : source.calls)
            if (call.method == L"DisableKeyProtectors") suspends.push_back(call);
        if (c.suspendParameters < 0) {
            EXPECT_TRUE(suspends.empty());
        } else {
            ASSERT_EQ(suspends.size(), 1u);
            EXPECT_EQ(suspends[0].path, kPath);
            ASSERT_EQ(suspends[0].in.size(), static_cast<std::size_t>(c.suspendParameters));
            if (c.suspendParameters) {
                EXPECT_EQ(suspends[0].in[0].name, L"DisableCount");
                EXPECT_EQ(suspends[0].in[0].value, 1u);
            }
        }
        EXPECT_EQ(encryption.Suspended(), c.goesOn && c.suspendParameters >= 0);
        EXPECT_EQ(source.connects, source.disconnects);
    }
}

TEST(EncryptionCheck, ResumesOnlyWhatItSuspended) {
    ScopedFake s;
    wmi::ServedMethodSource source = ProtectedVolume(1);
    DriveEncryption encryption(Boxes(), source);
    encryption.Resume();
    EXPECT_TRUE(source.calls.empty());

    s.fake.answers.push_back(IDYES);
    ASSERT_TRUE(encryption.Check("C:"));
    encryption.Resume();
    ASSERT_EQ(source.calls.back().method, L"EnableKeyProtectors");
    EXPECT_EQ(source.calls.back().path, kPath);
    EXPECT_FALSE(encryption.Suspended());
    EXPECT_EQ(s.fake.messages.size(), 1u);

    source.methods[L"Win32_EncryptableVolume.EnableKeyProtectors"].result = WBEM_E_ACCESS_DENIED;
    s.fake.answers.push_back(IDYES);
    ASSERT_TRUE(encryption.Check("C:"));
    encryption.Resume();
    ASSERT_EQ(s.fake.messages.size(), 3u);
    EXPECT_TRUE(Has(s.fake.messages[2].text, "could not be resumed")) << s.fake.messages[2].text;
    EXPECT_EQ(source.connects, source.disconnects);
}

}  // namespace
}  // namespace kv
