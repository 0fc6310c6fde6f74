// What reaches the event log, through the fake platform: each outcome of the
// windows' side gives its event ID, its type and its inserts.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "checks/folder_trust.h"
#include "common/dialogue.h"
#include "fake_platform.h"
#include "forms.h"
#include "tasks/restart.h"
#include "tasks/task_steps.h"
#include "tasks/update_result.h"

namespace kv {
namespace {

TEST(Events, EachOutcomeWritesItsEvent) {
    const WORD warning = EVENTLOG_WARNING_TYPE, error = EVENTLOG_ERROR_TYPE;
    struct Case {
        const char* what;
        std::function<void(test::FakePlatform&)> run;
        DWORD id;
        WORD type;
        std::vector<std::wstring> inserts;
    };
    const TaskSteps usb("Create Flash BIOS Penlet");
    auto batch = [&usb](test::FakePlatform& fake) {
        OsHandle process;
        if (usb.StartBatch("ToUSB.bat", "ToUSB.bat  E: F", process)) usb.BatchSucceeded("ToUSB.bat", process);
    };
    auto secure = [](int answer) {
        return [answer](test::FakePlatform& fake) {
            fake.security["C:\\KAVELTON"] = "O:BAD:(A;;FA;;;WD)";
            fake.answers = {answer};
            InstallFolderTrustedAtStart();
        };
    };
    const Case cases[] = {
        {"a refusal names its check and says what the box said",
         [&usb](test::FakePlatform&) { usb.Refuse("USB disk", "Please select one USB disk!"); }, 120, error,
         {L"Create Flash BIOS Penlet", L"in its window", L"USB disk", L"Please select one USB disk!"}},
        {"a batch file that fails", [&](test::FakePlatform& fake) { fake.exitCodes["ToUSB.bat"] = 7; batch(fake); }, 130,
         error,
         {L"Create Flash BIOS Penlet", L"in its window", L"ToUSB.bat", L"7",
          L"ToUSB.bat failed with exit code 7.\nThe BIOS file was not copied."}},
        {"a batch file that does not start",
         [&](test::FakePlatform& fake) { fake.startErrors["ToUSB.bat"] = ERROR_FILE_NOT_FOUND; batch(fake); }, 131, error,
         {L"Create Flash BIOS Penlet", L"in its window", L"ToUSB.bat", L"2"}},
        {"an update that did not take",
         [](test::FakePlatform& fake) {
             fake.files[kLastUpdatePath].bytes = "KVD.101\r\n";
             ShowLastUpdateResult("KVD.100");
         },
         140, warning, {}},
        {"the folder secured", secure(IDYES), 150, warning, {L"C:\\KAVELTON"}},
        {"the folder left open", secure(IDNO), 151, warning, {L"C:\\KAVELTON", L"C:\\KAVELTON: Everyone can change it"}},
        {"a restart refused during a flash",
         [](test::FakePlatform& fake) {
             fake.processes.push_back({"WinFlash64.exe", 9});
             RestartForUpdate("KVD.101", Boxes(), RestartBy::Gui);
         },
         160, warning, {L"in its window"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::ScopedFake s;
        c.run(s.fake);
        ASSERT_FALSE(s.fake.events.empty());
        const auto& event = s.fake.events.back();
        EXPECT_EQ(event.id, c.id);
        EXPECT_EQ(event.type, c.type);
        if (!c.inserts.empty()) EXPECT_EQ(event.inserts, c.inserts);
    }
}

}  // namespace
}  // namespace kv
