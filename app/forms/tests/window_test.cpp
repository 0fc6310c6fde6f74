// The in-Windows flash dialog through the fake platform: its checks and
// questions, the flasher's command line, the watch over the process list,
// every message box, and that no handle is left open.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "commands.h"
#include "common/run_log.h"
#include "fake_platform.h"
#include "forms/control_ids.h"
#include "forms/Main.h"
#include "forms/Mywindows.h"
#include "modal_helpers.h"

namespace kv {
namespace {

const char kRom[] = "C:\\KAVELTON\\ROM\\*.*";
const UINT kTop = MB_TOPMOST;

const char kEmptyFolder[] =
    "Please put BIOS files under \nthe folder C:\\KAVELTON\\ROM,\nAnd reopen this Program!";
const char kSelectOne[] = "Please select one BIOS!";
const char kNewer[] = "Your system BIOS version\nis newer than you select,\ndo you want to continue?";
const char kLatest[] =
    "This computer BIOS version is already the latest\nor more updated than the BIOS version you "
    "are going to flash.\nDo you still want to continue (Y/N)?";
const char kNotAward[] = "Your system is not award BIOS!\nIt can not flash your BIOS!";
const char kSnapshotFailed[] = "CreateToolhelp32Snapshot() failed!";
const char kFirstFailed[] = "Process32First() failed!";
const char kRestart[] = "Flash system BIOS successful!\nDo you want to restart your system?";

std::string Describe(const std::vector<test::MessageRecord>& messages) {
    std::string out;
    for (const auto& m : messages) out += "[" + m.title + "] " + m.text + "\n";
    return out.empty() ? "(no message)" : out;
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake.files["C:\\KAVELTON\\System.txt"].bytes = "ID:x\n";
        main = std::make_unique<TMainForm>();
        main->BIOSVersion = "KVD.100";
        Folder({{"KVD.099", 0}, {"KVD.101", 0}, {"KVD.100", 0}});
        fake.messages.clear();
        fake.calls.clear();
    }
    void TearDown() override {
        dialog.reset();
        main.reset();  // with a flash it took over
        EXPECT_EQ(fake.openHandles(), 0) << "a snapshot or process handle was left open";
    }

    // Past the end of the flasher that Watching() started.
    void FlasherEnds() { fake.now += kFlasherMs; }
    static constexpr DWORD kFlasherMs = 60'000;

    void Folder(std::vector<FolderEntry> entries) { fake.folders[kRom] = std::move(entries); }

    TWindow& Open() {
        dialog = std::make_unique<TWindow>(main.get());
        return *dialog;
    }
    // An open dialog whose watch runs: OK on the newest image went through,
    // and the flasher runs for kFlasherMs unless a test said otherwise.
    TWindow& Watching() {
        if (!fake.runMs.count("WinFlash64.exe")) fake.runMs["WinFlash64.exe"] = kFlasherMs;
        // A flash of an earlier case would wait for its restart: each case flashes anew.
        fake.files.erase(kLastUpdatePath);
        TWindow& w = Open();
        w.Button1Click();
        EXPECT_TRUE(w.Timer1.Enabled()) << Describe(fake.messages);
        fake.messages.clear();
        fake.calls.clear();
        fake.commands.clear();
        return w;
    }
    void ExpectOnlyMessage(const char* text, const char* title, UINT style) {
        ASSERT_EQ(fake.messages.size(), 1u) << Describe(fake.messages);
        EXPECT_EQ(fake.messages[0].text, text);
        EXPECT_EQ(fake.messages[0].title, title);
        EXPECT_EQ(fake.messages[0].style, style) << std::hex << "got 0x" << fake.messages[0].style;
    }

    test::ScopedFake scoped;
    test::FakePlatform& fake = scoped.fake;
    std::unique_ptr<TMainForm> main;
    std::unique_ptr<TWindow> dialog;
};

// --- opening ---------------------------------------------------------------

TEST_F(WindowTest, OpensWithTheNewestImageAndItsControlsFit) {
    TWindow& w = Open();
    EXPECT_TRUE(fake.messages.empty()) << Describe(fake.messages);
    EXPECT_EQ(w.ComboBox1.Text(), "KVD.101");
    EXPECT_EQ(w.ComboBox1.ItemCount(), 3);
    EXPECT_EQ(w.MissCount, 0);
    EXPECT_EQ(w.FlasherSeen, 0);
    EXPECT_FALSE(w.Timer1.Enabled());
    EXPECT_EQ(w.Label1.Text(), "Latest BIOS to flash! ");
    EXPECT_EQ(w.Label2.Text(), "Select  older version if nessary! ");
    EXPECT_EQ(w.Button1.Text(), "OK");
    EXPECT_EQ(w.Button2.Text(), "Close");
    char cls[32] = {};
    GetClassNameA(w.Handle(), cls, sizeof cls);
    EXPECT_STREQ(cls, "TWindow");
    EXPECT_EQ(GetWindow(w.Handle(), GW_OWNER), main->Handle());

    w.Show();
    EXPECT_EQ(test::ExpectControlsFit(w.Handle()), 5u);
    // Tab order: the box, OK, Close.
    EXPECT_EQ(GetNextDlgTabItem(w.Handle(), w.ComboBox1.Handle(), FALSE), w.Button1.Handle());
    EXPECT_EQ(GetNextDlgTabItem(w.Handle(), w.Button1.Handle(), FALSE), w.Button2.Handle());
}

TEST_F(WindowTest, EmptyCatalogueWarnsThenOkAsksForAnImage) {
    Folder({{"SUB", FILE_ATTRIBUTE_DIRECTORY}});
    TWindow& w = Open();
    ExpectOnlyMessage(kEmptyFolder, "Create Flash BIOS Diskette!", MB_OK | MB_ICONWARNING | kTop);
    EXPECT_EQ(w.ComboBox1.Text(), "");
    EXPECT_EQ(w.ComboBox1.ItemCount(), 0);

    fake.messages.clear();
    fake.calls.clear();
    w.Button1Click();
    ExpectOnlyMessage(kSelectOne, "Flash BIOS in windows", MB_OK | MB_ICONERROR | kTop);
    EXPECT_EQ(fake.CallCount("SetCurrentDir C:\\KAVELTON"), 1);
    EXPECT_TRUE(fake.commands.empty());
    EXPECT_FALSE(w.Timer1.Enabled());
}

TEST_F(WindowTest, ClearedChoiceAsksForAnImageWithoutAVersionQuestion) {
    TWindow& w = Open();
    w.ComboBox1.SetText("");
    w.Button1Click();
    ExpectOnlyMessage(kSelectOne, "Flash BIOS in windows", MB_OK | MB_ICONERROR | kTop);
    EXPECT_TRUE(fake.commands.empty());
}

// --- version questions -------------------------------------------------------

TEST_F(WindowTest, EqualAndOlderImagesGetTheirOwnQuestionAndNoStops) {
    struct Case {
        const char* image;
        const char* question;
    };
    for (const Case& c : {Case{"KVD.100", kLatest}, Case{"KVD.099", kNewer}}) {
        SCOPED_TRACE(c.image);
        fake.messages.clear();
        TWindow& w = Open();
        w.ComboBox1.SetText(c.image);
        fake.answers = {IDNO};
        w.Button1Click();
        ExpectOnlyMessage(c.question, "Compare BIOS Version", MB_YESNO | MB_ICONWARNING | kTop);
        EXPECT_TRUE(fake.commands.empty());
        EXPECT_FALSE(w.Timer1.Enabled());
        EXPECT_TRUE(w.Button1.Visible());
    }
}

TEST_F(WindowTest, YesToTheQuestionStartsTheFlasher) {
    TWindow& w = Open();
    w.ComboBox1.SetText("KVD.100");
    fake.answers = {IDYES};
    w.Button1Click();
    ASSERT_EQ(fake.messages.size(), 1u) << Describe(fake.messages);
    ASSERT_EQ(fake.commands.size(), 1u);
    EXPECT_EQ(fake.commands[0], "winflash64.exe C:\\KAVELTON\\Rom\\KVD.100 /exit /py");
    EXPECT_TRUE(w.Timer1.Enabled());
}

// --- starting the flasher -----------------------------------------------------

TEST_F(WindowTest, NewerImageStartsTheFlasherShownThenPausesBeforeTheWatch) {
    TWindow& w = Open();
    fake.calls.clear();
    bool timerDuringPause = true, buttonDuringPause = true;
    fake.onSleep = [&](DWORD) {
        timerDuringPause = w.Timer1.Enabled();
        buttonDuringPause = w.Button1.Visible();
    };
    w.Button1Click();
    EXPECT_TRUE(fake.messages.empty()) << Describe(fake.messages);
    const std::vector<std::string> expected = {
        "ListProcesses",
        "SetCurrentDir C:\\KAVELTON",
        // A flash of this boot that waits for its restart would be asked about.
        "InspectEntry C:\\KAVELTON", "FinalPathOfHandle C:\\KAVELTON", "InspectEntry C:\\KAVELTON\\LastUpdate.txt",
        "CloseHandle C:\\KAVELTON",
        "ListFolder C:\\KAVELTON\\ROM\\KVD.101 63",
        // The image and the flasher held, each with the folders on its way.
        "InspectEntry C:\\KAVELTON", "FinalPathOfHandle C:\\KAVELTON",
        "InspectEntry C:\\KAVELTON\\ROM", "FinalPathOfHandle C:\\KAVELTON\\ROM",
        "InspectEntry C:\\KAVELTON\\ROM\\KVD.101", "FinalPathOfHandle C:\\KAVELTON\\ROM\\KVD.101",
        "ListFolder C:\\KAVELTON\\SHA256SUMS 22",
        "InspectEntry C:\\KAVELTON", "FinalPathOfHandle C:\\KAVELTON",
        "InspectEntry C:\\KAVELTON\\WinFlash64.exe", "FinalPathOfHandle C:\\KAVELTON\\WinFlash64.exe",
        "ListFolder C:\\KAVELTON\\Signers.txt 22",
        "VerifyEmbeddedSignature C:\\KAVELTON\\WinFlash64.exe",
        "HashBegin",
        "HashEnd",
        "HashBegin",
        "HashEnd",
        "GetSystemPowerStatus",
        // Under the flash mutex, the list once more.
        "AdminNamespace Kavelton",
        "NamedMutex Kavelton\\Flash",
        "WaitForMutex",
        "ListProcesses",
        "ShutdownBlockReasonCreate",
        // By its full path, shown (5), with the command line as it always was.
        "StartInJob [C:\\KAVELTON\\WinFlash64.exe] winflash64.exe C:\\KAVELTON\\Rom\\KVD.101 /exit /py 5",
        // The flasher stays held until its job is empty.
        "Sleep 1000",
    };
    EXPECT_EQ(fake.calls, expected);
    EXPECT_FALSE(timerDuringPause) << "the watch starts after the pause";
    EXPECT_FALSE(buttonDuringPause) << "OK is hidden while the flasher starts";
    EXPECT_TRUE(w.Timer1.Enabled());
    EXPECT_TRUE(w.Button1.Visible());
    EXPECT_EQ(w.MissCount, 0);
    EXPECT_EQ(w.FlasherSeen, 0);
}

TEST_F(WindowTest, TypedNameIsUsedAsTyped) {
    Folder({{"my-bios_2.101", 0}});
    TWindow& w = Open();
    w.ComboBox1.SetText("my-bios_2.101");
    w.Button1Click();
    ASSERT_EQ(fake.commands.size(), 1u) << Describe(fake.messages);
    EXPECT_EQ(fake.commands[0], "winflash64.exe C:\\KAVELTON\\Rom\\my-bios_2.101 /exit /py");
}

TEST_F(WindowTest, NamesThatWouldChangeTheCommandAreRefusedBeforeAnyQuestion) {
    const std::vector<std::string> refused = {
        "KVD.101&calc",  "KVD.101 /force", "..\\KVD.101",      "sub/KVD.101", "C:KVD.101",
        "a|b.101",       "a>b.101",        "\"KVD.101\"",       "%TEMP%.101",  "a^b.101",
        "KVD.101\tx",    "..",             std::string(core::kMaxFlashImageName + 1, 'a') + ".101",
    };
    TWindow& w = Open();
    for (const std::string& name : refused) {
        SCOPED_TRACE(name);
        fake.messages.clear();
        w.ComboBox1.SetText(name);
        w.Button1Click();
        ASSERT_EQ(fake.messages.size(), 1u) << Describe(fake.messages);
        EXPECT_EQ(fake.messages[0].title, "Flash BIOS in windows");
        EXPECT_EQ(fake.messages[0].style, static_cast<UINT>(MB_OK | MB_ICONERROR | kTop));
        EXPECT_NE(fake.messages[0].text.find("can not be used"), std::string::npos)
            << fake.messages[0].text;
    }
    EXPECT_TRUE(fake.commands.empty()) << fake.commands.front();
    EXPECT_FALSE(w.Timer1.Enabled());
}

TEST_F(WindowTest, LongestAcceptedTypedNameStillStartsTheFlasher) {
    const std::string name = std::string(core::kMaxFlashImageName - 4, 'b') + ".101";
    Folder({{name, 0}});
    TWindow& w = Open();
    w.ComboBox1.SetText(name);
    fake.answers = {IDYES};  // too long to compare: the user is asked
    w.Button1Click();
    ASSERT_EQ(fake.commands.size(), 1u) << Describe(fake.messages);
    EXPECT_EQ(fake.commands[0], "winflash64.exe C:\\KAVELTON\\Rom\\" + name + " /exit /py");
    EXPECT_LT(fake.commands[0].size(), 200u);
}

// --- the watch ----------------------------------------------------------------

// The flasher this dialog started is watched by its own process handle: a
// tick that cannot list it never ends the watch or the hold while it runs.
TEST_F(WindowTest, TheStartedFlasherIsWatchedByItsOwnHandle) {
    struct Case {
        const char* list;
        std::vector<test::FakeProcess> processes;
        bool snapshotFails, firstFails;
    };
    const Case cases[] = {
        {"listed", {{"System", 4}, {"winflash64.exe", 42}}, false, false},
        {"not listed", {{"System", 4}}, false, false},
        {"no snapshot", {}, true, false},
        {"first entry unreadable", {}, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.list);
        fake.processes = {{"System", 4}};
        TWindow& w = Watching();
        fake.processes = c.processes;
        fake.snapshotFails = c.snapshotFails;
        fake.firstProcessFails = c.firstFails;
        for (int i = 0; i < 60; ++i) w.Timer1Timer();  // a minute of flashing
        EXPECT_EQ(w.FlasherSeen, 1);
        EXPECT_EQ(w.MissCount, 0);
        EXPECT_TRUE(w.Timer1.Enabled()) << "the watch goes on while the flasher runs";
        EXPECT_TRUE(fake.messages.empty()) << Describe(fake.messages);
        EXPECT_EQ(fake.blockReasons.count(w.Handle()), 1u) << "the hold ended while the flasher runs";
        EXPECT_EQ(fake.heldMutexes(), 1);
        fake.snapshotFails = fake.firstProcessFails = false;
        fake.answers = {IDNO};
        FlasherEnds();
        w.Timer1Timer();
        ExpectOnlyMessage(kRestart, "Flash system BIOS successful", MB_YESNO | MB_ICONQUESTION | kTop);
        EXPECT_TRUE(fake.blockReasons.empty());
        EXPECT_EQ(fake.heldMutexes(), 0);
        fake.messages.clear();
    }
}

// Only an exact name, in any letter case, is the flasher; a list that cannot
// be read is just as much a flash in progress.
TEST_F(WindowTest, AnyListedFlasherIsAFlashInProgress) {
    const std::vector<test::FakeProcess> notFlashers = {
        {"WinFlash64", 1},     {"WinFlash64.exe.bak", 2}, {"xWinFlash64.exe", 3}, {"WinFlash64.ex", 4},
        {"inFlash64.exe", 5}, {"WinFlash64.exe ", 6},    {"WinFlash32.exe", 7}};
    fake.processes = notFlashers;
    EXPECT_FALSE(FlashInProgress());
    for (const char* name : {"WinFlash64.exe", "winflash64.exe", "WINFLASH64.EXE", "wINfLASH64.eXe"}) {
        SCOPED_TRACE(name);
        fake.processes = notFlashers;
        fake.processes.push_back({name, 42});
        EXPECT_TRUE(FlashInProgress());
    }
    fake.processes = notFlashers;
    fake.firstProcessFails = true;
    EXPECT_TRUE(FlashInProgress()) << "a list that cannot be read";
}

// Gone before the watch first looked: "not award BIOS", as ever. It cannot
// have written anything, so its exit code is only logged.
TEST_F(WindowTest, FlasherEndingWithinTheFirstSecondIsNotAward) {
    fake.runMs["WinFlash64.exe"] = 500;
    TWindow& w = Watching();
    w.Timer1Timer();
    ExpectOnlyMessage(kNotAward, "Detect your system BIOS", MB_OK | MB_ICONWARNING | kTop);
    EXPECT_FALSE(w.Timer1.Enabled()) << "the watch is over until the next OK";
    EXPECT_EQ(w.MissCount, 1);
    EXPECT_EQ(fake.CallCount("ListProcesses"), 0);
    EXPECT_NE(fake.File(kRunLogPath)->bytes.find("WinFlash64.exe ended with exit code 0"), std::string::npos);
}

// A flasher that did not start is looked for in the process list, with the
// boxes the list's failures have always shown.
TEST_F(WindowTest, WithoutAStartedFlasherTheListIsWatched) {
    fake.startErrors["WinFlash64.exe"] = ERROR_FILE_NOT_FOUND;
    TWindow& w = Watching();
    fake.processes = {{"WinFlash64.exe", 42}};
    w.Timer1Timer();
    ASSERT_EQ(w.FlasherSeen, 1);
    fake.snapshotFails = true;
    w.Timer1Timer();
    ExpectOnlyMessage(kSnapshotFailed, "Enum current process", MB_OK | kTop);
    EXPECT_TRUE(w.Timer1.Enabled());
    EXPECT_EQ(w.FlasherSeen, 1);
    EXPECT_EQ(w.MissCount, 0);
    // A later tick tries again; a first entry that cannot be read is a miss.
    fake.snapshotFails = false;
    fake.firstProcessFails = true;
    fake.messages.clear();
    w.Timer1Timer();
    ASSERT_EQ(fake.messages.size(), 2u) << Describe(fake.messages);
    EXPECT_EQ(fake.messages[0].text, kFirstFailed);
    EXPECT_EQ(fake.messages[0].title, "Enum current process");
    EXPECT_EQ(fake.messages[0].style, static_cast<UINT>(MB_OK | kTop));
    EXPECT_NE(fake.messages[1].text.find("could not be watched"), std::string::npos) << fake.messages[1].text;
    EXPECT_EQ(w.MissCount, 1);
    EXPECT_FALSE(w.Timer1.Enabled());

    fake.firstProcessFails = false;
    fake.processes = {{"System", 4}};
    fake.messages.clear();
    TWindow& again = Watching();
    again.Timer1Timer();
    ExpectOnlyMessage(kNotAward, "Detect your system BIOS", MB_OK | MB_ICONWARNING | kTop);
}

TEST_F(WindowTest, FlasherThatRanAndEndedOffersTheRestartAndYesRestarts) {
    TWindow& w = Watching();
    w.Show();
    w.Timer1Timer();
    FlasherEnds();
    fake.answers = {IDYES};
    w.Timer1Timer();
    ExpectOnlyMessage(kRestart, "Flash system BIOS successful", MB_YESNO | MB_ICONQUESTION | kTop);
    EXPECT_EQ(fake.CallCount("Restart asking 2147680259"), 1);
    EXPECT_EQ(fake.CallCount("EnablePrivilege SeShutdownPrivilege"), 1);
    EXPECT_EQ(w.MissCount, 1);
    EXPECT_FALSE(w.Timer1.Enabled());
    EXPECT_TRUE(w.Visible()) << "after Yes the dialog stays open";
}

TEST_F(WindowTest, NoToTheRestartClosesTheDialog) {
    TWindow& w = Watching();
    w.Show();
    w.Timer1Timer();
    FlasherEnds();
    fake.answers = {IDNO};
    w.Timer1Timer();
    ExpectOnlyMessage(kRestart, "Flash system BIOS successful", MB_YESNO | MB_ICONQUESTION | kTop);
    EXPECT_EQ(fake.CallCount("Restart"), 0);
    EXPECT_EQ(fake.CallCount("EnablePrivilege"), 0);
    EXPECT_FALSE(w.Visible()) << "No closes the dialog";
}

// Two flashers at once can leave the board unbootable: while one is listed
// (this dialog's, or one started before it was reopened), OK refuses; while
// the run's own boxes are open, a click starts nothing at all.
TEST_F(WindowTest, OkStartsNoSecondFlasherWhileARunIsInProgress) {
    const char kInProgress[] =
        "A BIOS flash is in progress!\nWait until WinFlash64.exe has ended before you start another one.";
    TWindow& w = Watching();
    fake.processes = {{"System", 4}, {"WINFLASH64.EXE", 42}};
    w.Button1Click();
    ExpectOnlyMessage(kInProgress, "Flash BIOS in windows", MB_OK | MB_ICONERROR | kTop);

    // Gone from the list, but the watch has not told its outcome yet.
    fake.messages.clear();
    fake.processes = {{"System", 4}};
    w.Button1Click();
    EXPECT_TRUE(fake.messages.empty()) << Describe(fake.messages);

    // A click under the run's own question (nested in its box) does nothing.
    dialog.reset();
    fake.started.clear();
    TWindow& fresh = Open();
    fresh.ComboBox1.SetText("KVD.099");
    fake.onMessage = [&](const test::MessageRecord&) { fresh.Button1Click(); };
    fake.answers = {IDYES};
    fresh.Button1Click();
    ExpectOnlyMessage(kNewer, "Compare BIOS Version", MB_YESNO | MB_ICONWARNING | kTop);

    // A flasher started before the dialog was reopened counts as well.
    fake.onMessage = nullptr;
    fake.messages.clear();
    dialog.reset();
    fake.processes = {{"System", 4}, {"winflash64.exe", 42}};
    Open().Button1Click();
    ExpectOnlyMessage(kInProgress, "Flash BIOS in windows", MB_OK | MB_ICONERROR | kTop);
    EXPECT_EQ(fake.started.size(), 1u) << "only the run under the question started a flasher";
}

// The flasher's own exit code decides between the success question and an
// error: a failed flash is never called successful.
TEST_F(WindowTest, TheFlashersExitCodeDecidesTheOutcome) {
    struct Case {
        DWORD exitCode;
        bool success;
    };
    for (const Case& c : {Case{0, true}, Case{1, false}, Case{0xC0000005, false}}) {
        SCOPED_TRACE(c.exitCode);
        fake.exitCodes["winflash64.exe"] = c.exitCode;
        TWindow& w = Watching();
        w.Timer1Timer();
        FlasherEnds();
        w.Timer1Timer();
        ASSERT_EQ(fake.messages.size(), 1u) << Describe(fake.messages);
        if (c.success) {
            EXPECT_EQ(fake.messages[0].text, kRestart);
        } else {
            EXPECT_EQ(fake.messages[0].title, "Flash BIOS in windows");
            EXPECT_EQ(fake.messages[0].style, static_cast<UINT>(MB_OK | MB_ICONERROR | kTop));
            EXPECT_NE(fake.messages[0].text.find("exit code " + std::to_string(c.exitCode)),
                      std::string::npos)
                << fake.messages[0].text;
        }
        EXPECT_EQ(fake.openHandles(), 0) << "the flasher's handle is closed once its result is read";
    }
}

TEST_F(WindowTest, TicksArrivingWhileABoxOfTheWatchIsOpenDoNothing) {
    fake.startErrors["WinFlash64.exe"] = ERROR_FILE_NOT_FOUND;  // the list is watched
    TWindow& w = Watching();
    fake.snapshotFails = true;
    int nested = 0;
    fake.onMessage = [&](const test::MessageRecord&) {
        if (nested++ < 5) w.Timer1Timer();  // the box's own loop delivers more ticks
    };
    w.Timer1Timer();
    ExpectOnlyMessage(kSnapshotFailed, "Enum current process", MB_OK | kTop);
    EXPECT_EQ(fake.CallCount("ListProcesses"), 1);
    EXPECT_TRUE(w.Timer1.Enabled());

    // Once the box is answered, ticks work again, and the same holds for the
    // boxes that end the watch.
    fake.snapshotFails = false;
    fake.firstProcessFails = true;
    fake.messages.clear();
    nested = 0;
    w.Timer1Timer();
    ASSERT_EQ(fake.messages.size(), 2u) << Describe(fake.messages);
    EXPECT_EQ(fake.messages[0].text, kFirstFailed);
    EXPECT_EQ(fake.messages[1].text, kNotAward);
    EXPECT_EQ(fake.CallCount("ListProcesses"), 2);
    EXPECT_EQ(w.MissCount, 1);
}

// The flasher goes on when its dialog closes: the main window takes over the
// hold against sleep and shutdown, keeps the program from ending under it,
// and lets go once the flasher has gone.
TEST_F(WindowTest, ClosingDuringTheFlashHandsTheHoldToTheMainWindow) {
    TWindow& w = Watching();
    fake.processes = {{"System", 4}};  // listed or not: the handle tells
    w.Button2Click();
    ASSERT_TRUE(main->HoldsFlash());
    EXPECT_EQ(fake.blockReasons.count(main->Handle()), 1u) << "the block reason moved with the hold";
    main->OnExitClick();
    ASSERT_EQ(fake.messages.size(), 1u) << Describe(fake.messages);
    EXPECT_EQ(fake.messages[0].title, "Kavelton");
    main->HoldTimerTimer();
    EXPECT_TRUE(main->HoldsFlash()) << "released while the flasher runs";
    EXPECT_EQ(fake.heldMutexes(), 1) << "the mutex goes with the hold";

    FlasherEnds();
    main->HoldTimerTimer();
    EXPECT_EQ(fake.heldMutexes(), 0);
    EXPECT_FALSE(main->HoldsFlash());
    EXPECT_TRUE(fake.blockReasons.empty());
    main->OnExitClick();
    EXPECT_EQ(fake.messages.size(), 1u) << "Exit refused after the flash";
}

TEST_F(WindowTest, CloseEndsTheWatchAtOnce) {
    TWindow& w = Watching();
    w.Button2Click();
    EXPECT_FALSE(w.Timer1.Enabled());
    TWindow& again = Watching();
    SendMessageA(again.Handle(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(again.Timer1.Enabled());
}

// Real timer messages: the first tick about a second after the pause, and
// none once the dialog is gone.
TEST_F(WindowTest, TicksComeFromTheWindowTimerAndStopWithTheDialog) {
    TWindow& w = Watching();
    auto pump = [](DWORD ms) {
        const DWORD until = GetTickCount() + ms;
        MSG msg;
        while (GetTickCount() < until) {
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
            Sleep(10);
        }
    };
    pump(600);
    EXPECT_EQ(fake.CallCount("WaitForProcess"), 0) << "interval 1000 ms";
    pump(900);
    EXPECT_EQ(fake.CallCount("WaitForProcess"), 1);
    EXPECT_EQ(w.FlasherSeen, 1);
    FlasherEnds();  // gone: the main window need not take over
    dialog.reset();
    const int afterClose = fake.CallCount("WaitForProcess");
    pump(1200);
    EXPECT_EQ(fake.CallCount("WaitForProcess"), afterClose) << "a tick reached a destroyed dialog";
    EXPECT_FALSE(main->HoldsFlash());
}

}  // namespace
}  // namespace kv
