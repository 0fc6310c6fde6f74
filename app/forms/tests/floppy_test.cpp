// The diskette dialog driven through the fake platform: every branch of a
// Create run, its messages, what lands on the diskette, the handles, and the
// pause that the copy time selects.
#include <gtest/gtest.h>

#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "fake_platform.h"
#include "forms/control_ids.h"
#include "forms/Main.h"
#include "forms/Myfloppy.h"
#include "modal_helpers.h"

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

// First sector where a and b differ, or -1.
long FirstDifferentSector(const std::string& a, const std::string& b) {
    const size_t n = std::max(a.size(), b.size());
    for (size_t i = 0; i < n; ++i)
        if (i >= a.size() || i >= b.size() || a[i] != b[i]) return static_cast<long>(i / kSector);
    return -1;
}

class FloppyTest : public ::testing::Test {
protected:
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
    void Create(std::initializer_list<int> answers) {
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
    void ExpectNothingWritten() {
        EXPECT_EQ(driveA().writes, 0);
        EXPECT_EQ(FirstDifferentSector(driveA().bytes, diskette_), -1);
        EXPECT_TRUE(fake().commands.empty()) << fake().commands[0];
    }
    void ExpectButtons(bool enabled) {
        EXPECT_EQ(dialog().OnCreateDisk.Enabled(), enabled);
        EXPECT_EQ(dialog().OnExit.Enabled(), enabled);
    }
    size_t CallIndex(const std::string& call) {
        auto it = std::find(fake().calls.begin(), fake().calls.end(), call);
        return static_cast<size_t>(it - fake().calls.begin());
    }

    ScopedFake scoped_;
    std::unique_ptr<TMainForm> main_;
    std::unique_ptr<TFloppy> floppy_;
    std::string diskette_;
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

TEST_F(FloppyTest, LayoutAndCaptions) {
    if (ui::Scale(96) != 96) GTEST_SKIP() << "layout is checked at 96 DPI";
    const auto place = test::PlaceInParent;
    RECT client{};
    GetClientRect(dialog().Handle(), &client);
    EXPECT_EQ(client.right, 281);
    EXPECT_EQ(client.bottom, 191);
    char caption[64] = {};
    GetWindowTextA(dialog().Handle(), caption, sizeof caption);
    EXPECT_STREQ(caption, "Create BIOS Flash Diskette");
    EXPECT_EQ(place(dialog().Label1), (std::vector<long>{14, 18, 121, 16}));
    EXPECT_EQ(place(dialog().Label2), (std::vector<long>{14, 82, 188, 16}));
    EXPECT_EQ(place(dialog().ProgressBar1), (std::vector<long>{11, 113, 248, 17}));
    EXPECT_EQ(place(dialog().OnCreateDisk), (std::vector<long>{13, 152, 90, 24}));
    EXPECT_EQ(place(dialog().OnExit), (std::vector<long>{166, 148, 90, 28}));
    EXPECT_EQ(place(dialog().ComboBox1)[0], 13);
    EXPECT_EQ(place(dialog().ComboBox1)[1], 44);
    EXPECT_EQ(place(dialog().ComboBox1)[2], 210);
    EXPECT_EQ(dialog().Label1.Text(), "Latest BIOS to flash! ");
    EXPECT_EQ(dialog().OnCreateDisk.Text(), "Create");
    EXPECT_EQ(dialog().OnExit.Text(), "Exit");
    EXPECT_EQ(dialog().OnCreateDisk.Id(), ids::floppy::OnCreateDisk);
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
    EXPECT_LT(CallIndex("Sleep 30"), CallIndex(std::string("CloseHandle ") + kImage));

    EXPECT_EQ(fake().CallCount("Sleep 88"), 250);
    EXPECT_EQ(fake().CallCount("Sleep 180"), 0);
    EXPECT_EQ(fake().CallCount("Sleep 30"), 2);
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
    EXPECT_EQ(fake().CallCount("Sleep " + std::to_string(pause)), 250);
    EXPECT_EQ(fake().CallCount("Sleep " + std::to_string(pause == 88 ? 180 : 88)), 0);
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

TEST_F(FloppyTest, NoDriveIsReported) {
    fake().files.erase(kDriveA);
    Create({});
    ExpectOnlyMessage("Please install a floppy drive!", kTitle, kErrorStyle);
    EXPECT_EQ(fake().CallCount(std::string("OpenFile ") + kDriveB), 1);
    EXPECT_EQ(fake().CallCount(std::string("OpenFile ") + kImage), 0);
    EXPECT_EQ(fake().openHandles(), 0);
}

TEST_F(FloppyTest, OlderOrEqualImageAsksAndNoClosesTheDrive) {
    for (const char* bios : {"KV1.110", "KV1.107"}) {
        SCOPED_TRACE(bios);
        main_->BIOSVersion = bios;
        fake().messages.clear();
        fake().calls.clear();
        Create({IDNO});
        ExpectOnlyMessage("Your system BIOS version\nis newer than you select,\ndo you want to continue?",
                          "Compare BIOS Version", kYesNoWarning);
        EXPECT_EQ(fake().CallCount(std::string("CloseHandle ") + kDriveA), 1);
        EXPECT_EQ(fake().CallCount(std::string("OpenFile ") + kImage), 0);
        EXPECT_EQ(fake().openHandles(), 0);
        EXPECT_TRUE(dialog().Visible());
    }
    ExpectNothingWritten();
}

TEST_F(FloppyTest, OlderImageWithYesGoesOnToTheFormattingQuestion) {
    main_->BIOSVersion = "KV1.110";
    Create({IDYES, IDNO});
    ASSERT_EQ(fake().messages.size(), 2u);
    ExpectMessage(1, kFormatQuestion, kTitle, kYesNoWarning);
}

TEST_F(FloppyTest, MissingOrReadOnlyImageIsReportedAsLost) {
    for (bool missing : {true, false}) {
        SCOPED_TRACE(missing ? "missing" : "read-only");
        fake().messages.clear();
        if (missing)
            fake().files.erase(kImage);
        else
            fake().files[kImage] = {Sectors(kDisketteBytes, 1), false};
        Create({});
        ExpectOnlyMessage("Lost fdd.imz in C:KAVELTON!", kTitle, kErrorStyle);
        EXPECT_EQ(fake().CallCount(std::string("CloseHandle ") + kDriveA), missing ? 1 : 2);
        EXPECT_EQ(fake().openHandles(), 0);
        EXPECT_TRUE(dialog().ProgressBar1.Visible()) << "shown before the image is opened";
    }
    ExpectNothingWritten();
}

TEST_F(FloppyTest, RepositioningFailureClosesBothSilently) {
    for (const char* path : {kDriveA, kImage}) {
        SCOPED_TRACE(path);
        fake().File(kDriveA)->failSeek = path == kDriveA;
        fake().File(kImage)->failSeek = path == kImage;
        fake().calls.clear();
        Create({});
        EXPECT_TRUE(fake().messages.empty()) << fake().messages[0].text;
        EXPECT_EQ(fake().CallCount(std::string("CloseHandle ") + kDriveA), 1);
        EXPECT_EQ(fake().CallCount(std::string("CloseHandle ") + kImage), 1);
        EXPECT_EQ(fake().openHandles(), 0);
    }
    ExpectNothingWritten();
}

TEST_F(FloppyTest, NoDisketteIsReportedAfterTheRepositioning) {
    driveA().failReadAt = 0;
    Create({});
    ExpectOnlyMessage("Please insert a floppy disk!", kTitle, kErrorStyle);
    EXPECT_EQ(fake().CallCount("SetFilePointer"), 2);
    EXPECT_EQ(fake().openHandles(), 0);
    ExpectNothingWritten();
}

// A size that cannot be read is no 1.44 MB diskette either (another size is
// shown end to end).
TEST_F(FloppyTest, AVolumeOfUnknownSizeIsRefusedAfterTheProbeRead) {
    driveA().sizeUnknown = true;
    Create({IDYES, IDNO});
    ExpectOnlyMessage("The size of the disk in drive A: cannot be read.\nOnly a 1.44 MB diskette (1474560 bytes) "
                      "can be written.", kTitle, kErrorStyle);
    EXPECT_EQ(driveA().reads, 1) << "one probe read";
    EXPECT_EQ(fake().openHandles(), 0);
    ExpectNothingWritten();
}

TEST_F(FloppyTest, NoAtTheFormattingQuestionClosesTheDialogAndWritesNothing) {
    Create({IDNO});
    ExpectOnlyMessage(kFormatQuestion, kTitle, kYesNoWarning);
    EXPECT_FALSE(dialog().Visible());
    EXPECT_EQ(fake().openHandles(), 0);
    EXPECT_TRUE(fake().ioControls.empty()) << "the volume is not locked for nothing";
    ExpectNothingWritten();
}

// --- failures during the copy -----------------------------------------------------

TEST_F(FloppyTest, ImageReadFailureMidCopyStopsWithTheButtonsBack) {
    fake().File(kImage)->failReadAt = 100;
    Create({IDYES});
    ASSERT_EQ(fake().messages.size(), 2u);
    ExpectMessage(1, "Read File Failed!", kCopyTitle, kErrorStyle);
    EXPECT_EQ(driveA().writes, 100);
    EXPECT_EQ(FirstDifferentSector(driveA().bytes.substr(0, 100 * kSector),
                                   fake().File(kImage)->bytes.substr(0, 100 * kSector)), -1);
    EXPECT_EQ(FirstDifferentSector(driveA().bytes.substr(100 * kSector), diskette_.substr(100 * kSector)), -1);
    ExpectButtons(true);
    EXPECT_TRUE(fake().commands.empty());
    EXPECT_EQ(fake().openHandles(), 0);
    EXPECT_EQ(dialog().ProgressBar1.Position(), 100);
    EXPECT_EQ(dialog().Label2.Text(), kBusyHint) << "kept until the next successful run";
    EXPECT_FALSE(dialog().Timer1.Enabled());
    EXPECT_TRUE(dialog().Visible());

    // The next run starts over and resets the status.
    fake().File(kImage)->failReadAt = -1;
    fake().messages.clear();
    Create({IDYES, IDNO});
    EXPECT_EQ(fake().commands.size(), 1u);
    EXPECT_EQ(dialog().Label2.Text(), kIdleHint);
}

TEST_F(FloppyTest, WriteFailureStopsWithTheButtonsBack) {
    driveA().failWriteAt = 5;
    Create({IDYES});
    ASSERT_EQ(fake().messages.size(), 2u);
    ExpectMessage(1, "Write Disk Failed!", kCopyTitle, kErrorStyle);
    ExpectButtons(true);
    EXPECT_TRUE(fake().commands.empty());
    EXPECT_EQ(fake().openHandles(), 0);
    EXPECT_EQ(fake().ioControls.back(), static_cast<DWORD>(FSCTL_UNLOCK_VOLUME));
}

TEST_F(FloppyTest, DriveCloseFailureIsReportedAndTheBatchNotStarted) {
    driveA().failClose = true;
    Create({IDYES});
    ASSERT_EQ(fake().messages.size(), 2u);
    ExpectMessage(1, "Can't close disk handle!", kCopyTitle, kErrorStyle);
    ExpectButtons(true);
    EXPECT_TRUE(fake().commands.empty());
    EXPECT_EQ(fake().CallCount(std::string("CloseHandle ") + kImage), 1);
    EXPECT_EQ(fake().openHandles(), 0);
    EXPECT_EQ(driveA().writes, 750);
}

// --- what the dialog refuses before writing ------------------------------------------

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

TEST_F(FloppyTest, ARefusedLockStopsBeforeAnythingIsWritten) {
    driveA().refuseLock = true;
    Create({IDYES});
    ASSERT_EQ(fake().messages.size(), 2u);
    EXPECT_EQ(fake().messages[1].title, kTitle);
    EXPECT_EQ(fake().messages[1].style, kErrorStyle);
    EXPECT_NE(fake().messages[1].text.find("in use"), std::string::npos) << fake().messages[1].text;
    EXPECT_EQ(fake().ioControls, std::vector<DWORD>(10, FSCTL_LOCK_VOLUME)) << "about a second of retries";
    EXPECT_EQ(fake().CallCount("Sleep 100"), 9);
    EXPECT_EQ(fake().openHandles(), 0);
    ExpectButtons(true);
    ExpectNothingWritten();
}

// Diskettes fail silently: what was written is read back from the medium,
// and a difference ends the run before the batch file and the success question.
TEST_F(FloppyTest, ASectorThatDidNotReachTheDisketteIsReportedByTheReadBack) {
    driveA().loseWriteAt = 321;
    Create({IDYES, IDYES});
    ASSERT_EQ(fake().messages.size(), 2u);
    ExpectMessage(1,
                  "The diskette does not hold what was written: sector 321 differs from fdd.imz!\n"
                  "Please use another floppy disk.",
                  kCopyTitle, kErrorStyle);
    EXPECT_TRUE(fake().commands.empty());
    EXPECT_EQ(fake().openHandles(), 0);
    ExpectButtons(true);
}

// copybinFile.bat's outcome decides: a missing or failing batch file is an
// error, not a success.
TEST_F(FloppyTest, AFailingBatchFileIsReportedInsteadOfTheSuccessQuestion) {
    fake().exitCodes["copybinFile.bat"] = 3;
    Create({IDYES, IDYES});
    ASSERT_EQ(fake().messages.size(), 2u);
    ExpectMessage(1, "copybinFile.bat failed with exit code 3.\nThe BIOS file was not copied.", kTitle,
                  kErrorStyle);
    EXPECT_EQ(fake().CallCount("Restart"), 0);
    ExpectButtons(true);
    EXPECT_EQ(fake().openHandles(), 0);
}

TEST_F(FloppyTest, AShortImageIsRefusedBeforeTheFormattingQuestion) {
    fake().files[kImage].bytes.resize(kCopyBytes - 1);
    Create({IDYES, IDNO});
    ASSERT_EQ(fake().messages.size(), 1u) << "no formatting question";
    EXPECT_EQ(fake().messages[0].title, kTitle);
    EXPECT_EQ(fake().messages[0].style, kErrorStyle);
    EXPECT_NE(fake().messages[0].text.find("fdd.imz"), std::string::npos) << fake().messages[0].text;
    EXPECT_EQ(fake().openHandles(), 0);
    ExpectNothingWritten();
}

TEST_F(FloppyTest, ShrinkingImageMidCopyIsAReadFailureNotARepeatedSector) {
    int copyReads = 0;
    fake().onRead = [&](const std::string& path) {
        if (path == kImage && ++copyReads == 10) fake().File(kImage)->bytes.resize(9 * kSector + 100);
    };
    Create({IDYES});
    ASSERT_EQ(fake().messages.size(), 2u);
    ExpectMessage(1, "Read File Failed!", kCopyTitle, kErrorStyle);
    EXPECT_EQ(driveA().writes, 9);
    EXPECT_TRUE(fake().commands.empty());
}

TEST_F(FloppyTest, NamesThatWouldChangeTheCommandLineAreRefusedBeforeAnyDeviceIsOpened) {
    for (const char* name : {"KV1.107&del", "KV1.107 B:", "..\\KV1.107", "C:KV1.107", "KV1.107|x",
                             "KV1>107", "%PATH%.107", "ABCDEFGHIJ.107", ""}) {
        SCOPED_TRACE(name);
        fake().messages.clear();
        fake().calls.clear();
        dialog().ComboBox1.SetText(name);
        Create({IDYES, IDYES, IDNO});
        ASSERT_EQ(fake().messages.size(), 1u);
        EXPECT_EQ(fake().messages[0].title, kTitle);
        EXPECT_EQ(fake().messages[0].style, kErrorStyle);
        EXPECT_EQ(fake().CallCount("OpenFile"), 0);
        EXPECT_EQ(fake().openHandles(), 0);
    }
    ExpectNothingWritten();
}

}  // namespace
}  // namespace kv
