// The diskette dialog driven through the fake platform: every branch of a
// Create run, its messages, what lands on the diskette, the handles, and the
// pause that the copy time selects.
#include <gtest/gtest.h>

#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fake_platform.h"
#include "forms/control_ids.h"
#include "forms/Main.h"
#include "forms/Myfloppy.h"
#include "modal_helpers.h"
#include "tasks/tests/sectors.h"

namespace kv {
namespace {

using test::FakePlatform;
using test::ScopedFake;

const char kDriveA[] = "\\\\.\\A:";
const char kDriveB[] = "\\\\.\\B:";
const char kImage[] = "c:\\KAVELTON\\fdd.imz";
const char kRom[] = "C:\\KAVELTON\\ROM\\*.*";
const char kTitle[] = "Create Flash BIOS Diskette";
const char kCopyTitle[] = "Create Flash BIOS diskette";
const char kIdleHint[] = "Select older version if nessary!";
const char kBusyHint[] = "Please wait until it shows a dialog box!";
const char kFormatQuestion[] = "It will format your floppy disk,\ndo you want to continue?";
const char kRestartQuestion[] =
    " Successful! Restart system to update BIOS?\nSave & Close opened files before restarting.";
constexpr UINT kErrorStyle = MB_OK | MB_ICONERROR | MB_TOPMOST;
constexpr UINT kYesNoWarning = MB_YESNO | MB_ICONWARNING | MB_TOPMOST;
constexpr size_t kSector = 512;
constexpr size_t kDisketteBytes = 1474560;  // 2880 sectors
constexpr size_t kCopyBytes = 750 * kSector;

// Every sector filled with its own index (plus seed), so misplaced, missing
// or repeated sectors show.
std::string Sectors(size_t bytes, int seed) {
    std::string out(bytes, '\0');
    for (size_t i = 0; i < bytes; ++i)
        out[i] = static_cast<char>((i / kSector * 7 + seed + i % 3) & 0xFF);
    return out;
}

using test::FirstDifferentSector;

class FloppyTest : public ::testing::Test {
public:
    void SetUp() override {
        main_ = std::make_unique<TMainForm>();  // no BIOS.dll, no System.txt: two notices
        main_->BIOSVersion = "KV1.105";
        fake().folders[kRom] = {{"KV1.107", FILE_ATTRIBUTE_ARCHIVE}};
        fake().files[kImage].bytes = Sectors(kDisketteBytes, 1);
        fake().files[kDriveA].bytes = diskette_ = Sectors(kDisketteBytes, 100);
        floppy_ = std::make_unique<TFloppy>();
        fake().messages.clear();
        fake().calls.clear();
    }
    void TearDown() override {
        floppy_.reset();
        main_.reset();
    }

    FakePlatform& fake() { return scoped_.fake; }
    TFloppy& dialog() { return *floppy_; }
    test::FakeFile& driveA() { return *fake().File(kDriveA); }

    // Shows the dialog as the main window would (without the nested loop)
    // and clicks Create.
    // Each pause of the run leaves the bar's position and the clock in trace_.
    void Create(const std::vector<int>& answers) {
        fake().onSleep = [this](DWORD) {
            EXPECT_TRUE(dialog().ProgressBar1.Visible()) << "a pause with the bar hidden";
            trace_.emplace_back(dialog().ProgressBar1.Position(), fake().now);
        };
        fake().answers.assign(answers.begin(), answers.end());
        dialog().Show();
        dialog().OnCreateDiskClick();
    }

    void ExpectMessage(size_t index, const std::string& text, const std::string& title, UINT style) {
        ASSERT_GT(fake().messages.size(), index) << "no message " << index << "; expected \"" << text << "\"";
        EXPECT_EQ(fake().messages[index].text, text);
        EXPECT_EQ(fake().messages[index].title, title) << "for \"" << text << "\"";
        EXPECT_EQ(fake().messages[index].style, style) << "for \"" << text << "\"";
    }
    void ExpectOnlyMessage(const std::string& text, const std::string& title, UINT style) {
        EXPECT_EQ(fake().messages.size(), 1u);
        ExpectMessage(0, text, title, style);
    }
    void ExpectButtons(bool enabled) {
        EXPECT_EQ(dialog().OnCreateDisk.Enabled(), enabled);
        EXPECT_EQ(dialog().OnExit.Enabled(), enabled);
    }
    // The bar moves on in order, ends full, and its batch file part (the
    // steps after the copied sectors) takes this long per step.
    ULONGLONG BatchStepMs() {
        ULONGLONG copied = 0, full = 0;
        for (size_t i = 0; i < trace_.size(); ++i) {
            if (i > 0) EXPECT_GE(trace_[i].first, trace_[i - 1].first) << "the bar went back at pause " << i;
            if (trace_[i].first == 750) copied = trace_[i].second;
            if (trace_[i].first == 1000 && !full) full = trace_[i].second;
        }
        return (full - copied) / 250;
    }
    size_t CallIndex(const std::string& call) {
        auto it = std::find(fake().calls.begin(), fake().calls.end(), call);
        return static_cast<size_t>(it - fake().calls.begin());
    }

    ScopedFake scoped_;
    std::unique_ptr<TMainForm> main_;
    std::unique_ptr<TFloppy> floppy_;
    std::string diskette_;
    std::vector<std::pair<int, ULONGLONG>> trace_;
};

// --- creation -------------------------------------------------------------------

TEST_F(FloppyTest, CreationFillsTheBoxAndSetsTheIdleState) {
    EXPECT_EQ(Floppy, floppy_.get());
    EXPECT_FALSE(dialog().Visible()) << "created hidden";
    EXPECT_EQ(dialog().ComboBox1.Text(), "KV1.107");
    EXPECT_EQ(dialog().Label2.Text(), kIdleHint);
    EXPECT_FALSE(dialog().ProgressBar1.Visible());
    EXPECT_FALSE(dialog().Timer1.Enabled());
    ExpectButtons(true);
}

TEST_F(FloppyTest, EmptyRomFolderAtCreationIsReportedAndTheDialogStaysHidden) {
    floppy_.reset();
    fake().folders.clear();
    fake().calls.clear();
    floppy_ = std::make_unique<TFloppy>();
    ExpectOnlyMessage("Please put BIOS files under \nthe folder C:\\KAVELTON\\ROM,\nAnd reopen this Program!",
                      "Create Flash BIOS Diskette!", MB_OK | MB_ICONWARNING | MB_TOPMOST);
    EXPECT_FALSE(dialog().Visible());
    EXPECT_EQ(dialog().ComboBox1.Text(), "");
    EXPECT_EQ(dialog().ComboBox1.ItemCount(), 0);
    ASSERT_FALSE(fake().calls.empty());
    EXPECT_EQ(fake().calls.front(), "SetCurrentDir C:\\KAVELTON");
    dialog().Show();
    EXPECT_TRUE(dialog().Visible()) << "it can still be opened later";
}

// What the designed places stand for: every control fits, and none covers another.
TEST_F(FloppyTest, ControlsFitTheDialogWithoutCoveringEachOtherAndKeepTheirCaptions) {
    dialog().Show();
    dialog().ProgressBar1.SetVisible(true);
    EXPECT_GE(test::ExpectControlsFit(dialog().Handle()), 6u);
    char caption[64] = {};
    GetWindowTextA(dialog().Handle(), caption, sizeof caption);
    EXPECT_STREQ(caption, "Create BIOS Flash Diskette");
    EXPECT_EQ(dialog().Label1.Text(), "Latest BIOS to flash! ");
    EXPECT_EQ(dialog().OnCreateDisk.Text(), "Create");
    EXPECT_EQ(dialog().OnExit.Text(), "Exit");
}

TEST_F(FloppyTest, ExitClosesTheDialog) {
    dialog().Show();
    dialog().OnExitClick();
    EXPECT_FALSE(dialog().Visible());
    EXPECT_TRUE(fake().messages.empty());
}

// --- a successful run ---------------------------------------------------------

TEST_F(FloppyTest, SuccessCopies750SectorsStartsTheBatchAndAsksToRestart) {
    int progressAtQuestion = -1;
    bool visibleAtQuestion = false, buttonsAtQuestion = false, timerAtQuestion = true;
    std::string hintAtQuestion;
    fake().onMessage = [&](const test::MessageRecord& m) {
        if (m.text != kRestartQuestion) return;
        progressAtQuestion = dialog().ProgressBar1.Position();
        visibleAtQuestion = dialog().ProgressBar1.Visible();
        buttonsAtQuestion = dialog().OnCreateDisk.Enabled() && dialog().OnExit.Enabled();
        timerAtQuestion = dialog().Timer1.Enabled();
        hintAtQuestion = dialog().Label2.Text();
    };
    Create({IDYES, IDNO});

    ASSERT_EQ(fake().messages.size(), 2u);
    ExpectMessage(0, kFormatQuestion, kTitle, kYesNoWarning);
    ExpectMessage(1, kRestartQuestion, "Create Flash BIOS diskette ",
                  MB_YESNO | MB_ICONQUESTION | MB_TOPMOST);

    // The diskette: the image's first 750 sectors, the rest as it was.
    EXPECT_EQ(driveA().writes, 750);
    EXPECT_EQ(FirstDifferentSector(driveA().bytes.substr(0, kCopyBytes),
                                   fake().File(kImage)->bytes.substr(0, kCopyBytes)), -1);
    EXPECT_EQ(FirstDifferentSector(driveA().bytes.substr(kCopyBytes), diskette_.substr(kCopyBytes)), -1);
    EXPECT_EQ(driveA().bytes.size(), kDisketteBytes);
    EXPECT_EQ(fake().File(kImage)->writes, 0) << "the image is opened for writing but never written";

    ASSERT_EQ(fake().commands.size(), 1u);
    EXPECT_EQ(fake().commands[0], "\"C:\\KAVELTON\\copybinFile.bat\" KV1.107 A:");
    EXPECT_EQ(fake().CallCount("StartProcess \"C:\\KAVELTON\\copybinFile.bat\" KV1.107 A: 0"), 1) << "started hidden";
    // The batch starts only after both handles are closed.
    const size_t winExec = CallIndex("StartProcess \"C:\\KAVELTON\\copybinFile.bat\" KV1.107 A: 0");
    EXPECT_LT(CallIndex(std::string("CloseHandle ") + kDriveA), winExec);
    EXPECT_LT(CallIndex(std::string("CloseHandle ") + kImage), winExec);
    EXPECT_EQ(BatchStepMs(), 88u) << "a quick copy";
    EXPECT_EQ(progressAtQuestion, 1000);
    EXPECT_TRUE(visibleAtQuestion);
    EXPECT_TRUE(buttonsAtQuestion);
    EXPECT_FALSE(timerAtQuestion);
    EXPECT_EQ(hintAtQuestion, kBusyHint);

    EXPECT_EQ(fake().CallCount("Restart"), 0) << "No never restarts";
    EXPECT_FALSE(dialog().Visible()) << "No closes the dialog";
    EXPECT_EQ(dialog().Label2.Text(), kIdleHint);
    EXPECT_FALSE(dialog().ProgressBar1.Visible());
    ExpectButtons(true);
    EXPECT_EQ(fake().openHandles(), 0);
}

TEST_F(FloppyTest, OpensTheDeviceAndTheImageAsTheCopyNeeds) {
    Create({IDNO});
    const size_t at = CallIndex(std::string("OpenFile ") + kDriveA);
    ASSERT_LT(at + 3, fake().calls.size());
    EXPECT_EQ(fake().calls[at + 1], std::string("OpenFile ") + kImage);
    EXPECT_EQ(fake().calls[at + 2], std::string("SetFilePointer ") + kDriveA);
    EXPECT_EQ(fake().calls[at + 3], std::string("SetFilePointer ") + kImage);
    EXPECT_EQ(fake().File(kDriveA)->reads, 1) << "one probe read";
}

TEST_F(FloppyTest, RestartYesRestartsKeepsTheDialogOpenAndResetsTheStatus) {
    Create({IDYES, IDYES});
    EXPECT_EQ(fake().CallCount("EnablePrivilege SeShutdownPrivilege"), 1);
    EXPECT_EQ(fake().CallCount("Restart asking 2147680259"), 1);
    EXPECT_TRUE(dialog().Visible());
    EXPECT_EQ(dialog().Label2.Text(), kIdleHint);
    EXPECT_FALSE(dialog().ProgressBar1.Visible());
    EXPECT_EQ(fake().openHandles(), 0);
}

TEST_F(FloppyTest, DriveBAloneIsWrittenAndNamedInTheCommand) {
    fake().files.erase(kDriveA);
    fake().files[kDriveB].bytes = diskette_;
    Create({IDYES, IDNO});
    EXPECT_EQ(fake().File(kDriveB)->writes, 750);
    ASSERT_EQ(fake().commands.size(), 1u);
    EXPECT_EQ(fake().commands[0], "\"C:\\KAVELTON\\copybinFile.bat\" KV1.107 B:");
    EXPECT_EQ(fake().openHandles(), 0);
}

TEST_F(FloppyTest, AnImageOfExactly750SectorsIsEnough) {
    fake().files[kImage].bytes.resize(kCopyBytes);
    Create({IDYES, IDNO});
    EXPECT_EQ(driveA().writes, 750);
    EXPECT_EQ(fake().commands.size(), 1u);
}

TEST_F(FloppyTest, ATypedNameOfThirteenCharactersIsUsedAsTyped) {
    fake().folders[kRom].push_back({"ABCDEFGHI.107", FILE_ATTRIBUTE_ARCHIVE});
    dialog().ComboBox1.SetText("ABCDEFGHI.107");
    Create({IDYES, IDNO});
    ASSERT_EQ(fake().commands.size(), 1u);
    EXPECT_EQ(fake().commands[0], "\"C:\\KAVELTON\\copybinFile.bat\" ABCDEFGHI.107 A:");
}

// --- the pause that the copy time selects ----------------------------------------

class FloppyPauseTest : public FloppyTest, public ::testing::WithParamInterface<std::pair<int, int>> {};

// The copy's clock: each image read moves it on, so that from the start of
// the copy to the batch start (with its 30 ms wait) exactly `ms` pass. Real
// Timer1 ticks count too, but a test run never lasts a minute.
TEST_P(FloppyPauseTest, CopyTimeChoosesThePause) {
    const auto [ms, pause] = GetParam();
    int copyReads = 0;
    fake().onRead = [&](const std::string& path) {
        if (path != kImage) return;
        ++copyReads;
        fake().now += static_cast<ULONGLONG>(ms - 30) / 750 + (copyReads == 750 ? (ms - 30) % 750 : 0);
    };
    Create({IDYES, IDNO});
    SCOPED_TRACE(ms);
    EXPECT_EQ(BatchStepMs(), static_cast<ULONGLONG>(pause));
    EXPECT_EQ(dialog().CopySecondsCounted(), ms / 1000);
}

INSTANTIATE_TEST_SUITE_P(Boundary, FloppyPauseTest,
                         ::testing::Values(std::pair{60'000, 88},
                                           std::pair{60'999, 88}, std::pair{61'000, 180},
                                           std::pair{200'000, 180}));

TEST_F(FloppyTest, TimerTicksArriveWhileTheCopyKeepsTheThreadBusy) {
    bool busyStateHeld = true;
    int copyReads = 0;
    fake().onRead = [&](const std::string& path) {
        if (path != kImage) return;
        ++copyReads;
        ::Sleep(3);          // for the window timer's real ticks
        fake().now += 3;     // for the copy's pump, which keeps to the seam's clock
        if (copyReads == 400)
            busyStateHeld = !dialog().OnCreateDisk.Enabled() && !dialog().OnExit.Enabled() &&
                            dialog().Timer1.Enabled() && dialog().Label2.Text() == kBusyHint &&
                            dialog().ProgressBar1.Visible();
    };
    Create({IDYES, IDNO});
    EXPECT_TRUE(busyStateHeld);
    EXPECT_GE(dialog().CopySecondsCounted(), 1) << "no Timer1 tick came during a copy of over 2 s";
    EXPECT_FALSE(dialog().Timer1.Enabled());
}

// --- runs that end early -----------------------------------------------------------

// A run that stops: its setup, answers, last box, and what reached the diskette.
struct EarlyEnd {
    std::string name;
    std::function<void(FloppyTest&)> arrange;
    std::vector<int> answers;
    std::string text;  // the run's last box
    const char* title = kTitle;
    UINT style = kErrorStyle;
    size_t boxes = 1;
    int written = 0;       // sectors written; those and no others are the image's
    long differs = -1;     // the first of them that is not the image's
    bool started = false;  // copybinFile.bat was started
    std::function<void(FloppyTest&)> check = nullptr;
};

const char kOlderQuestion[] = "Your system BIOS version\nis newer than you select,\ndo you want to continue?";

std::vector<EarlyEnd> EarlyEnds() {
    using F = FloppyTest;
    std::vector<EarlyEnd> cases = {
        {"no drive", [](F& t) { t.fake().files.erase(kDriveA); }, {}, "Please install a floppy drive!"},
        {"older image, No", [](F& t) { t.main_->BIOSVersion = "KV1.110"; }, {IDNO}, kOlderQuestion,
         "Compare BIOS Version", kYesNoWarning},
        {"equal image, No", [](F& t) { t.main_->BIOSVersion = "KV1.107"; }, {IDNO}, kOlderQuestion,
         "Compare BIOS Version", kYesNoWarning},
        {"missing image", [](F& t) { t.fake().files.erase(kImage); }, {}, "Lost fdd.imz in C:KAVELTON!", kTitle,
         kErrorStyle, 1, 0, -1, false,
         [](F& t) { EXPECT_TRUE(t.dialog().ProgressBar1.Visible()) << "shown before the image is opened"; }},
        {"read-only image", [](F& t) { t.fake().files[kImage].canOpenForWrite = false; }, {},
         "Lost fdd.imz in C:KAVELTON!"},
        {"diskette cannot seek", [](F& t) { t.driveA().failSeek = true; }, {},
         "The diskette in drive A: could not be read from its start (error 5)!\nPlease try again."},
        {"image cannot seek", [](F& t) { t.fake().File(kImage)->failSeek = true; }, {},
         "fdd.imz in C:\\KAVELTON could not be read from its start (error 5)!"},
        {"no diskette", [](F& t) { t.driveA().failReadAt = 0; }, {}, "Please insert a floppy disk!"},
        {"size unknown", [](F& t) { t.driveA().sizeUnknown = true; }, {IDYES},
         "The size of the disk in drive A: cannot be read.\nOnly a 1.44 MB diskette (1474560 bytes) can be written."},
        {"short image", [](F& t) { t.fake().files[kImage].bytes.resize(kCopyBytes - 1); }, {IDYES},
         "fdd.imz in C:\\KAVELTON is damaged:\nit is shorter than 750 sectors (384000 bytes)!"},
        {"No to formatting", nullptr, {IDNO}, kFormatQuestion, kTitle, kYesNoWarning, 1, 0, -1, false,
         [](F& t) { EXPECT_TRUE(t.fake().ioControls.empty()) << "the volume is not locked for nothing"; }},
        // Someone else's handle gets about a second to go before it counts.
        {"lock refused", [](F& t) { t.driveA().refuseLock = true; }, {IDYES},
         "The floppy disk is in use by another program!\nClose it and try again.", kTitle, kErrorStyle, 2, 0, -1,
         false,
         [](F& t) {
             EXPECT_EQ(t.fake().ioControls, std::vector<DWORD>(10, FSCTL_LOCK_VOLUME));
             EXPECT_GE(t.fake().now - 1'000'000, 900u);
         }},
        {"image read fails", [](F& t) { t.fake().File(kImage)->failReadAt = 100; }, {IDYES}, "Read File Failed!",
         kCopyTitle, kErrorStyle, 2, 100, -1, false,
         [](F& t) {
             EXPECT_EQ(t.dialog().ProgressBar1.Position(), 100) << "the bar shows where it stopped";
             EXPECT_EQ(t.dialog().Label2.Text(), kBusyHint) << "kept until the next successful run";
             t.fake().File(kImage)->failReadAt = -1;
             t.Create({IDYES, IDNO});
             EXPECT_EQ(t.fake().commands.size(), 1u) << "the next run starts over";
             EXPECT_EQ(t.dialog().Label2.Text(), kIdleHint);
         }},
        // A shrinking image is a failed read, never a sector written twice.
        {"image shrinks",
         [](F& t) {
             t.fake().onRead = [&t, n = 0](const std::string& path) mutable {
                 if (path == kImage && ++n == 10) t.fake().File(kImage)->bytes.resize(9 * kSector + 100);
             };
         },
         {IDYES}, "Read File Failed!", kCopyTitle, kErrorStyle, 2, 9},
        {"write fails", [](F& t) { t.driveA().failWriteAt = 5; }, {IDYES}, "Write Disk Failed!", kCopyTitle,
         kErrorStyle, 2, 5, -1, false,
         [](F& t) { EXPECT_EQ(t.fake().ioControls.back(), static_cast<DWORD>(FSCTL_UNLOCK_VOLUME)); }},
        {"drive close fails", [](F& t) { t.driveA().failClose = true; }, {IDYES}, "Can't close disk handle!",
         kCopyTitle, kErrorStyle, 2, 750},
        // Diskettes fail silently: what was written is read back from the medium.
        {"sector lost", [](F& t) { t.driveA().loseWriteAt = 321; }, {IDYES, IDYES},
         "The diskette does not hold what was written: sector 321 differs from fdd.imz!\n"
         "Please use another floppy disk.",
         kCopyTitle, kErrorStyle, 2, 750, 321},
        // copybinFile.bat's outcome decides: a failing batch file is no success.
        {"batch file fails", [](F& t) { t.fake().exitCodes["copybinFile.bat"] = 3; }, {IDYES, IDYES},
         "copybinFile.bat failed with exit code 3.\nThe BIOS file was not copied.", kTitle, kErrorStyle, 2, 750,
         -1, true},
    };
    // Names that would change the batch file's command line, refused before
    // any device is opened.
    for (const char* name : {"KV1.107&del", "KV1.107 B:", "..\\KV1.107", "C:KV1.107", "KV1.107|x", "KV1>107",
                             "%PATH%.107", "ABCDEFGHIJ.107", ""}) {
        cases.push_back({std::string("name ") + name, [name](F& t) { t.dialog().ComboBox1.SetText(name); },
                         {IDYES, IDYES, IDNO},
                         "Please select a BIOS file from the list!\nThe name must be a plain file name of at most 13 "
                         "characters.",
                         kTitle, kErrorStyle, 1, 0, -1, false,
                         [](F& t) { EXPECT_EQ(t.fake().CallCount("OpenFile"), 0); }});
    }
    return cases;
}

TEST_F(FloppyTest, EveryRunThatEndsEarlySaysWhyWritesOnlyWhatItCopiedAndReleasesEverything) {
    const auto image = fake().File(kImage)->bytes;
    for (const EarlyEnd& c : EarlyEnds()) {
        SCOPED_TRACE(c.name);
        fake().files[kImage] = {image};
        fake().files[kDriveA] = {diskette_};
        fake().exitCodes.clear();
        fake().onRead = nullptr;
        fake().messages.clear(), fake().calls.clear(), fake().ioControls.clear(), fake().commands.clear();
        fake().now = 1'000'000;
        main_->BIOSVersion = "KV1.105";
        dialog().ComboBox1.SetText("KV1.107");
        if (c.arrange) c.arrange(*this);
        Create(c.answers);

        ASSERT_EQ(fake().messages.size(), c.boxes) << (fake().messages.empty() ? "" : fake().messages.back().text);
        ExpectMessage(c.boxes - 1, c.text, c.title, c.style);
        if (test::FakeFile* drive = fake().File(kDriveA)) {
            const size_t copied = c.written * kSector;
            EXPECT_EQ(FirstDifferentSector(drive->bytes.substr(0, copied), image.substr(0, copied)), c.differs);
            EXPECT_EQ(FirstDifferentSector(drive->bytes.substr(copied), diskette_.substr(copied)), -1);
        }
        EXPECT_EQ(fake().commands.size(), c.started ? 1u : 0u);
        EXPECT_EQ(fake().openHandles(), 0);
        ExpectButtons(true);
        EXPECT_FALSE(dialog().Timer1.Enabled());
        EXPECT_EQ(dialog().Visible(), c.text != kFormatQuestion) << "only No to formatting closes the dialog";
        if (c.check) c.check(*this);
    }
}

TEST_F(FloppyTest, OlderImageWithYesGoesOnToTheFormattingQuestion) {
    main_->BIOSVersion = "KV1.110";
    Create({IDYES, IDNO});
    ASSERT_EQ(fake().messages.size(), 2u);
    ExpectMessage(1, kFormatQuestion, kTitle, kYesNoWarning);
}

TEST_F(FloppyTest, TheVolumeIsLockedBeforeTheFirstWriteAndUnlockedBeforeClosing) {
    size_t controlsAtFirstCopyRead = 99;
    fake().onRead = [&](const std::string& path) {
        if (path == kImage && fake().File(kImage)->reads == 0) controlsAtFirstCopyRead = fake().ioControls.size();
    };
    Create({IDYES, IDNO});
    // The read-back locks its own handle as well.
    const std::vector<DWORD> expected = {FSCTL_LOCK_VOLUME, FSCTL_DISMOUNT_VOLUME, FSCTL_UNLOCK_VOLUME,
                                         FSCTL_LOCK_VOLUME, FSCTL_UNLOCK_VOLUME};
    EXPECT_EQ(fake().ioControls, expected);
    EXPECT_EQ(controlsAtFirstCopyRead, 2u) << "locked and dismounted before the copy";
    EXPECT_LT(CallIndex("DeviceIoControl " + std::to_string(FSCTL_UNLOCK_VOLUME)),
              CallIndex(std::string("CloseHandle ") + kDriveA));
}

}  // namespace
}  // namespace kv
