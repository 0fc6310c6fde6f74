// The one flash procedure through the fake platform: the late look under
// the flash mutex, drive encryption after a start, the one restart, the
// command line's outcomes, and dialogs that stay under their own questions.
#include <gtest/gtest.h>

#include <wbemidl.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/unattended.h"
#include "common/run_log.h"
#include "fake_platform.h"
#include "flash/flash_procedure.h"
#include "forms/Main.h"
#include "forms/Myfloppy.h"
#include "forms/Myusb.h"
#include "forms/Mywindows.h"
#include "served_method_source.h"
#include "tasks/restart.h"
#include "tasks/task_steps.h"

namespace kv {
namespace {

using test::ScopedFake;

const char kInProgress[] =
    "A BIOS flash is in progress!\nWait until WinFlash64.exe has ended before you start another one.";
const wchar_t kVolume[] = L"Win32_EncryptableVolume.DeviceID='C'";

using test::Has;

// A machine whose board matches, with KVD.101 (newer) and KVD.099 in ROM,
// and a system drive that drive encryption protects.
struct Machine {
    Machine() {
        fake.ScriptBiosLibrary();
        fake.files["C:\\KAVELTON\\System.txt"].bytes = "SystemID:ABC12\r\n";
        fake.folders["C:\\KAVELTON\\ROM\\*.*"] = {{"KVD.101", 0}, {"KVD.099", 0}};
        fake.runMs["WinFlash64.exe"] = 5000;
        encryption.nameSpace = L"root\\CIMV2\\Security\\MicrosoftVolumeEncryption";
        encryption.instances.push_back({L"Win32_EncryptableVolume", kVolume, {{L"DriveLetter", L"C:"}}});
        encryption.methods[L"Win32_EncryptableVolume.GetProtectionStatus"] = {
            {}, S_OK, {{L"ReturnValue", 0}, {L"ProtectionStatus", 1}}};
        encryption.methods[L"Win32_EncryptableVolume.DisableKeyProtectors"] = {{L"DisableCount"}, S_OK, {{L"ReturnValue", 0}}};
        encryption.methods[L"Win32_EncryptableVolume.EnableKeyProtectors"] = {{}, S_OK, {{L"ReturnValue", 0}}};
        SetEncryptionSource(&encryption);
    }
    ~Machine() { SetEncryptionSource(nullptr); }
    int Calls(const wchar_t* method) const {
        int n = 0;
        for (const auto& call : encryption.calls) n += call.method == method;
        return n;
    }
    bool Resumed() const { return Calls(L"EnableKeyProtectors") > 0; }

    ScopedFake scoped;
    test::FakePlatform& fake = scoped.fake;
    wmi::ServedMethodSource encryption;
};

struct Holder : ui::TForm {
    Holder() : TForm(ui::FormStyle{"KvFlashHolder", "", 0, 0, 100, 100}, nullptr) {}
};

// Another run may start a flasher while this one's questions are up: right
// before its own start, the procedure looks again under the flash lock. The
// lock lives in a namespace only administrators can create, entered even
// while its last holder is ending; only a system without namespaces uses the
// global name, which any user could squat.
TEST(FlashProcedure, TheLastLookBeforeTheStartIsUnderTheFlashMutex) {
    const DWORD gone = ERROR_FILE_NOT_FOUND;
    struct Case {
        const char* what;
        DWORD mutexWait, mutexOpenError;
        bool listedMeanwhile, starts;
        std::deque<DWORD> rounds = {};     // the namespace's, in turn
        bool missing = false, squatted = false;  // no namespaces; an event holds the global name
        std::string refusal = kInProgress;
        int calls = 1;  // rounds made
    };
    const Case cases[] = {
        {"nobody else", WAIT_OBJECT_0, ERROR_SUCCESS, false, true},
        {"its last holder ended without letting go", WAIT_ABANDONED, ERROR_SUCCESS, false, true},
        {"another run holds it", WAIT_TIMEOUT, ERROR_SUCCESS, false, false},
        {"it may not be opened", WAIT_OBJECT_0, ERROR_ACCESS_DENIED, false, false},
        {"a flasher was started meanwhile", WAIT_OBJECT_0, ERROR_SUCCESS, true, false},
        {"the namespace is opened", WAIT_OBJECT_0, ERROR_SUCCESS, false, true, {ERROR_ALREADY_EXISTS}},
        // A user outside the boundary can make only a namespace of its own.
        {"a user squats the global name", WAIT_OBJECT_0, ERROR_SUCCESS, false, true, {}, false, true},
        {"its holder ended between create and open", WAIT_OBJECT_0, ERROR_SUCCESS, false, true, {gone}, false,
         false, "", 2},
        {"it goes on ending", WAIT_OBJECT_0, ERROR_SUCCESS, false, false, {gone, gone, gone}, false, false,
         "The flash lock can not be taken (error 2)", 3},
        {"no namespaces", WAIT_OBJECT_0, ERROR_SUCCESS, false, true, {}, true},
        {"no namespaces, an event squats the global name", WAIT_OBJECT_0, ERROR_SUCCESS, false, false, {}, true,
         true, "Another program has taken the name of the flash lock, Global\\Kavelton.Flash"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Machine m;
        Holder holder;
        m.fake.mutexWait = c.mutexWait;
        m.fake.mutexOpenError = c.mutexOpenError;
        m.fake.namespaceRounds = c.rounds;
        m.fake.namespacesMissing = c.missing;
        if (c.squatted) m.fake.squatted["Global\\Kavelton.Flash"] = ERROR_INVALID_HANDLE;
        m.fake.answers = {IDYES};  // suspend the encryption
        m.fake.onMessage = [&](const test::MessageRecord&) {
            if (c.listedMeanwhile) m.fake.processes.push_back({"WinFlash64.exe", 99});
        };
        FlashStart start = StartFlash({"KVD.101", "KVD.100", BoardCheck::Matches}, Boxes(), holder);
        EXPECT_EQ(start.refused, c.starts ? FlashStep::None : FlashStep::InProgress);
        EXPECT_EQ(m.fake.started.size(), c.starts ? 1u : 0u);
        EXPECT_EQ(m.fake.heldMutexes(), c.starts ? 1 : 0);
        EXPECT_EQ(m.fake.blockReasons.size(), c.starts ? 1u : 0u) << "held without a flash";
        EXPECT_EQ(m.Resumed(), !c.starts) << "a suspension for no flash";
        EXPECT_EQ(m.fake.CallCount("AdminNamespace Kavelton"), c.calls);
        EXPECT_EQ(m.fake.CallCount("NamedMutex Global\\Kavelton.Flash"), c.missing ? 1 : 0);
        EXPECT_EQ(Has(m.fake.RunLog(), "no private namespaces"), c.missing);
        if (!c.starts) {
            ASSERT_EQ(m.fake.messages.size(), 2u);
            EXPECT_TRUE(Has(m.fake.messages[1].text, c.refusal)) << m.fake.messages[1].text;
            EXPECT_EQ(m.fake.messages[1].style, static_cast<UINT>(MB_OK | MB_ICONERROR | MB_TOPMOST));
        }
        start.flash.reset();
        EXPECT_EQ(m.fake.openHandles(), 0);
    }
}

// Once a flasher ran, a failure code does not prove that nothing was written:
// the suspension stays for the restart that completes the update. Only a
// flash gone before the watch first looked gives the protection back. The
// flash is the flasher's job: one that hands over and ends before the first
// tick still runs, and no restart starts meanwhile. Without a job or its
// count, the first process and the list decide, as they always did.
TEST(FlashProcedure, DriveEncryptionComesBackOnlyWhenNothingCanHaveBeenWritten) {
    struct Case {
        const char* what;
        DWORD runMs, exitCode, handsOverMs, jobError;
        bool queryFails, resumed;
        const char* logged;
    };
    const Case cases[] = {
        {"failed after it ran", 5000, 1, 0, 0, false, false, "ended with exit code 1"},
        {"gone before the first tick", 500, 3, 0, 0, false, true, "ended with exit code 3"},
        {"handed over before the first tick", 500, 0, 5000, 0, false, false, "exit code 0; the flash goes on"},
        {"handed over, no job can hold it", 500, 0, 5000, ERROR_ACCESS_DENIED, false, true, "no job can hold"},
        {"handed over, its job cannot be counted", 500, 0, 5000, 0, true, true, "cannot be counted, error 5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Machine m;
        m.fake.runMs["WinFlash64.exe"] = c.runMs;
        m.fake.exitCodes["WinFlash64.exe"] = c.exitCode;
        m.fake.handsOverMs["WinFlash64.exe"] = c.handsOverMs;
        m.fake.jobError = c.jobError;
        m.fake.jobQueryFails = c.queryFails;
        m.fake.answers = {IDYES};
        TMainForm main;
        main.BIOSVersion = "KVD.100";
        TWindow dialog(&main);
        dialog.Button1Click();
        const ULONGLONG ends = m.fake.now - 1000 + c.runMs + (c.resumed ? 0 : c.handsOverMs);
        for (int tick = 0; tick < 10 && dialog.Timer1.Enabled(); ++tick) {
            dialog.Timer1Timer();
            EXPECT_EQ(FlashInProgress(), m.fake.now < ends) << "at " << m.fake.now - ends;
            // What was checked stays held while it flashes, and no longer.
            const std::vector<std::string> held = m.fake.Held();
            EXPECT_EQ(std::count(held.begin(), held.end(), kFlasherPath) == 1, FlashInProgress());
            m.fake.now += 1000;
        }
        EXPECT_EQ(m.Resumed(), c.resumed);
        EXPECT_TRUE(Has(m.fake.RunLog(), c.logged));
    }
    Machine m;  // the command line waits for the job as well
    m.fake.runMs["WinFlash64.exe"] = 500;
    m.fake.handsOverMs["WinFlash64.exe"] = 5000;
    const ULONGLONG before = m.fake.now;
    EXPECT_EQ(RunUnattended("/flash KVD.101 /suspendencryption"), kExitRestartNeeded);
    EXPECT_GE(m.fake.now, before + 5500);
    ReleaseRunLog();
}

// The one restart: refused while any flash is in progress, whoever holds it,
// and then nothing is recorded; once the flasher has ended, its hold is let
// go so that the session may end.
TEST(FlashProcedure, NoRestartWhileAFlashIsInProgress) {
    Machine m;
    TMainForm main;
    auto ask = [&] {
        m.fake.messages.clear();
        m.fake.answers = {IDYES};
        return TaskSteps("Create Flash BIOS Penlet").RestartAccepted("Restart?", "Create Flash BIOS diskette ", "KVD.101");
    };
    auto refused = [&](const char* why) {
        SCOPED_TRACE(why);
        EXPECT_FALSE(ask());
        ASSERT_EQ(m.fake.messages.size(), 2u);
        EXPECT_EQ(m.fake.messages[1].title, "Restart system");
        EXPECT_EQ(m.fake.messages[1].text, "A BIOS flash is in progress.\nThe system will not restart now: restart it "
                                           "once WinFlash64.exe has ended.");
        EXPECT_EQ(m.fake.messages[1].style, static_cast<UINT>(MB_OK | MB_ICONWARNING | MB_TOPMOST));
        EXPECT_EQ(m.fake.File(kLastUpdatePath), nullptr);
        EXPECT_EQ(m.fake.CallCount("Restart asking"), 0);
    };
    m.fake.processes = {{"System", 4}, {"WinFlash64.exe", 7}};
    refused("listed, not ours");
    m.fake.processes = {{"System", 4}};

    // The flash dialog was closed during its flash: the main window holds it.
    m.fake.answers = {IDYES};
    FlashStart start = StartFlash({"KVD.101", "KVD.100", BoardCheck::Matches}, Boxes(), main);
    ASSERT_TRUE(start.flash && start.flash->Started());
    main.TakeOverFlash(std::move(start.flash));
    refused("ours, not listed");

    m.fake.now += 5000;
    EXPECT_TRUE(ask());
    EXPECT_EQ(m.fake.CallCount("Restart asking 2147680259"), 1);
    EXPECT_TRUE(m.fake.blockReasons.empty()) << "the ended flash still refuses the session's end";
    EXPECT_NE(m.fake.File(kLastUpdatePath), nullptr);
}

TEST(FlashProcedure, TheCommandLineEndsWithTheProceduresOutcome) {
    struct Case {
        const char* what;
        const char* args;
        std::function<void(Machine&)> setup;
        int code;
        std::size_t started;
        DWORD event;  // the last one written, and its type
        WORD type;
        bool restartAsked;  // of Windows, which may refuse it
    };
    const auto none = [](Machine&) {};
    const WORD info = EVENTLOG_INFORMATION_TYPE, warning = EVENTLOG_WARNING_TYPE, error = EVENTLOG_ERROR_TYPE;
    const Case cases[] = {
        {"a flasher nobody may open is listed", "/flash KVD.101",
         [](Machine& m) {
             m.encryption.nameSpace = L"root\\cimv2";  // no drive encryption here
             m.fake.processes.push_back({"WinFlash64.exe", 9});
         },
         kExitFlasherNotStarted, 0, 120, error, false},
        {"encryption protects, not suspended", "/flash KVD.101 /force", none, kExitEncryption, 0, 120, warning,
         false},
        {"the flasher is not signed", "/flash KVD.101 /force",
         [](Machine& m) { m.fake.signatures["C:\\KAVELTON\\WinFlash64.exe"] = {TRUST_E_NOSIGNATURE}; },
         kExitSignatureRefused, 0, 120, error, false},
        {"encryption cannot be told: /force alone goes on", "/flash KVD.101 /force",
         [](Machine& m) { m.encryption.findResult = WBEM_E_ACCESS_DENIED; }, kExitRestartNeeded, 1, 110, info, false},
        {"restarted", "/flash KVD.101 /suspendencryption /restart:30", none, kExitRestartStarted, 1, 111, info, true},
        {"the restart is refused", "/flash KVD.101 /suspendencryption /restart",
         [](Machine& m) { m.fake.restartError = ERROR_ACCESS_DENIED; }, kExitRestartNeeded, 1, 110, info, true},
        {"another flasher is listed by then", "/flash KVD.101 /suspendencryption /restart",
         [](Machine& m) {
             m.fake.onStart = [&m](const std::string&) { m.fake.processes.push_back({"WinFlash64.exe", 9}); };
         },
         kExitRestartNeeded, 1, 110, info, false},
        {"an exception once it runs", "/flash KVD.101 /suspendencryption",
         [](Machine& m) { m.fake.onWait = [] { throw std::runtime_error("lost"); }; }, kExitFlasherFailed, 1, 130,
         error, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Machine m;
        c.setup(m);
        EXPECT_EQ(RunUnattended(c.args), c.code);
        EXPECT_EQ(m.fake.started.size(), c.started);
        EXPECT_TRUE(m.fake.messages.empty()) << "a box in the command line: " << m.fake.messages[0].text;
        const bool restarted = c.code == kExitRestartStarted;
        EXPECT_EQ(m.fake.restartReasons.size(), c.restartAsked ? 1u : 0u);
        if (restarted)
            EXPECT_EQ(m.fake.restartReasons[0],
                      static_cast<DWORD>(SHTDN_REASON_MAJOR_SOFTWARE | SHTDN_REASON_MINOR_UPGRADE |
                                         SHTDN_REASON_FLAG_PLANNED));
        if (restarted) EXPECT_EQ(m.fake.restartSeconds, 30u) << "the warning /restart:30 asked for";
        EXPECT_EQ(m.fake.CallCount("Restart asking"), 0);
        EXPECT_EQ(m.Resumed(), false) << "resumed after the flasher ran, or for a refusal before it";
        EXPECT_EQ(m.fake.heldMutexes(), 0);
        ASSERT_GE(m.fake.events.size(), 2u);
        EXPECT_EQ(m.fake.events.front().id, 100u) << "the start of the command line";
        EXPECT_EQ(m.fake.events.front().inserts, std::vector<std::wstring>{std::wstring(c.args, c.args + std::strlen(c.args))});
        EXPECT_EQ(m.fake.events.back().id, c.event);
        EXPECT_EQ(m.fake.events.back().type, c.type);
        EXPECT_EQ(m.fake.events.back().inserts[1], L"from the command line");
        if (c.code == kExitSignatureRefused) EXPECT_EQ(m.fake.events.back().inserts[2], L"signature");
        ReleaseRunLog();
    }
}

// The boxes have no owner: a close while one is up would let its Yes go on
// without the dialog. The run's own close, after its last answer, works.
TEST(FlashProcedure, NoDialogClosesUnderItsOwnQuestion) {
    Machine m;
    TMainForm main;
    main.BIOSVersion = "KVD.100";
    main.USBDrive[0][0] = 'E';
    main.USBDrive[0][1] = ':';
    main.USBDriveCount = 1;
    TFloppy floppy;
    TUSB usb(&main);
    TWindow window(&main);
    struct Case {
        ui::TForm& form;
        std::function<void()> run;
        std::function<void()> select;
    };
    const Case cases[] = {
        {floppy, [&] { floppy.OnCreateDiskClick(); }, [&] { floppy.ComboBox1.SetText("KVD.099"); }},
        {usb, [&] { usb.Button1Click(); }, [&] { usb.ComboBox2.SetText("KVD.099"); }},
        {window, [&] { window.Button1Click(); }, [&] { window.ComboBox1.SetText("KVD.099"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.form.Handle()));
        c.form.Show();
        c.select();
        bool shownUnderQuestion = false;
        m.fake.answers = {IDNO};  // the version question
        m.fake.onMessage = [&](const test::MessageRecord&) {
            ::SendMessageA(c.form.Handle(), WM_CLOSE, 0, 0);
            shownUnderQuestion = c.form.Visible();
        };
        c.run();
        m.fake.onMessage = nullptr;
        EXPECT_TRUE(shownUnderQuestion);
        ::SendMessageA(c.form.Handle(), WM_CLOSE, 0, 0);
        EXPECT_FALSE(c.form.Visible()) << "closes once the run is over";
    }
}

}  // namespace
}  // namespace kv

namespace kv {
namespace {

// A flash waits for its restart for every caller; after the restart (a new
// boot identity) its record is judged once and removed.
TEST(PendingRestart, TheRecordAnswersUntilTheBootChanges) {
    Machine m;
    m.encryption.nameSpace = L"root\\cimv2";  // no drive encryption here
    ASSERT_EQ(RunUnattended("/flash KVD.101"), kExitRestartNeeded);
    const std::string record = m.fake.File(kLastUpdatePath)->bytes;
    EXPECT_EQ(record, "KVD.101\r\nfrom=KVD.100\r\nsince=2026-12-08T08:30:05Z\r\nboot=" + m.fake.bootId + "\r\n");
    EXPECT_EQ(RunUnattended("/check"), kExitRestartNeeded);
    m.fake.output.clear();
    EXPECT_EQ(RunUnattended("/scan"), kExitRestartNeeded);
    const auto scan = nlohmann::json::parse(m.fake.output);
    EXPECT_EQ(scan["pendingRestart"],
              nlohmann::json({{"image", "KVD.101"}, {"from", "KVD.100"}, {"since", "2026-12-08T08:30:05Z"}}));
    EXPECT_EQ(scan["updateAvailable"], false);
    EXPECT_EQ(RunUnattended("/flash KVD.101 /force"), kExitRestartNeeded) << "/force is no /reflash";
    EXPECT_EQ(m.fake.started.size(), 1u);
    EXPECT_EQ(RunUnattended("/flash KVD.101 /reflash"), kExitRestartNeeded);
    EXPECT_EQ(m.fake.started.size(), 2u);

    struct Case {
        const char* what;
        std::string record;
        const char* result;  // nullptr: none told
    };
    const std::string restarted = "\r\nfrom=KVD.099\r\nsince=2026-12-08T08:30:05Z\r\nboot=" + m.fake.bootId + "\r\n";
    const Case cases[] = {
        {"the image now runs", "KVD.100" + restarted, "took"},
        {"the old version still runs", "KVD.101" + restarted, "notTaken"},
        {"a record of one line", "KVD.101\r\n", "notTaken"},
        {"a damaged boot", "KVD.101\r\nboot=yesterday\r\n", nullptr},
        {"a damaged line", "KVD.101\r\nnonsense\r\n", nullptr},
    };
    m.fake.bootId = "{00000000-0000-0000-0000-00000000B002}";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        m.fake.files[kLastUpdatePath].bytes = c.record;
        m.fake.events.clear();
        m.fake.output.clear();
        EXPECT_EQ(RunUnattended("/scan"), kExitUpdateAvailable) << "the result changes no exit code";
        const auto json = nlohmann::json::parse(m.fake.output);
        EXPECT_EQ(m.fake.File(kLastUpdatePath), nullptr);
        EXPECT_EQ(json["lastUpdate"].is_null(), c.result == nullptr);
        EXPECT_EQ(std::count_if(m.fake.events.begin(), m.fake.events.end(), [](auto& e) { return e.id == 140; }),
                  c.result ? 1 : 0);
        if (c.result) EXPECT_EQ(json["lastUpdate"]["result"], c.result);
    }
    ReleaseRunLog();
}

// /suspendencryption:N reaches DisableCount; where Windows cannot count the
// restarts, more than one is refused.
TEST(PendingRestart, EncryptionIsSuspendedForTheRestartsAsked) {
    for (const bool counted : {true, false}) {
        SCOPED_TRACE(counted);
        Machine m;
        if (!counted) m.encryption.methods[L"Win32_EncryptableVolume.DisableKeyProtectors"].inParameters.clear();
        EXPECT_EQ(RunUnattended("/flash KVD.101 /suspendencryption:2"), counted ? kExitRestartNeeded : kExitEncryption);
        EXPECT_EQ(m.Calls(L"DisableKeyProtectors"), counted ? 1 : 0);
        for (const auto& call : m.encryption.calls)
            if (call.method == std::wstring(L"DisableKeyProtectors"))
                EXPECT_EQ(call.in.at(0).value, 2u);
        ReleaseRunLog();
    }
    for (const char* bad : {"/suspendencryption:0", "/suspendencryption:16", "/suspendencryption:x"}) {
        Machine m;
        EXPECT_EQ(RunUnattended(std::string("/flash KVD.101 ") + bad), kExitBadArguments) << bad;
        ReleaseRunLog();
    }
}

// One flasher's end, told alike by both callers: the command line's exit code
// and words, the dialog's box, and the event each writes. A flasher that
// ends with 259 cannot be told from one still running: its result is unknown.
TEST(FlashProcedure, AFlashersEndIsToldAlikeByTheCommandLineAndTheDialog) {
    struct Case {
        DWORD exitCode;
        int exit;
        const char* said;
        const char* boxed;      // nullptr: no error box, the restart is offered
        const wchar_t* logged;  // the failure event's code
    };
    const Case cases[] = {
        {0, kExitRestartNeeded, "WinFlash64.exe ended with exit code 0.", nullptr, nullptr},
        {7, kExitFlasherFailed, "WinFlash64.exe ended with exit code 7.",
         "WinFlash64.exe ended with exit code 7: the BIOS may not have been updated!", L"7"},
        {STILL_ACTIVE, kExitFlasherFailed,
         "The result of WinFlash64.exe cannot be read: read its own messages before you restart.",
         "The result of WinFlash64.exe can not be read!", L"unknown"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.exitCode);
        auto failureEvent = [](const test::FakePlatform& fake) {
            for (const auto& event : fake.events)
                if (event.type == EVENTLOG_ERROR_TYPE && event.inserts.size() == 5) return event.inserts[3];
            return std::wstring();
        };
        {
            Machine m;
            m.fake.exitCodes["WinFlash64.exe"] = c.exitCode;
            EXPECT_EQ(RunUnattended("/flash KVD.101 /suspendencryption"), c.exit);
            ReleaseRunLog();
            EXPECT_TRUE(Has(m.fake.output, c.said)) << m.fake.output;
            EXPECT_EQ(failureEvent(m.fake), c.logged ? c.logged : L"");
        }
        Machine m;
        m.fake.exitCodes["WinFlash64.exe"] = c.exitCode;
        m.fake.answers = {IDYES, IDNO};  // suspend the encryption; no restart
        TMainForm main;
        main.BIOSVersion = "KVD.100";
        TWindow dialog(&main);
        dialog.Button1Click();
        for (int tick = 0; tick < 10 && dialog.Timer1.Enabled(); ++tick, m.fake.now += 1000) dialog.Timer1Timer();
        ASSERT_FALSE(m.fake.messages.empty());
        const test::MessageRecord& last = m.fake.messages.back();
        EXPECT_EQ((last.style & MB_ICONMASK) == MB_ICONERROR && Has(last.text, c.boxed ? c.boxed : "?"), c.boxed != nullptr)
            << last.text;
        EXPECT_EQ(failureEvent(m.fake), c.logged ? c.logged : L"");
    }
}

}  // namespace
}  // namespace kv
