#include "forms/Myfloppy.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

#include "commands.h"
#include "forms/control_ids.h"
#include "forms/Main.h"
#include "images.h"
#include "platform.h"
#include "raw_volume.h"
#include "tasks/catalogue.h"
#include "tasks/task_steps.h"

namespace kv {

TFloppy* Floppy = nullptr;

namespace {

namespace id = ids::floppy;
using ui::Font;

const Font kText13{13};

constexpr UINT_PTR kTimer1 = 1;
constexpr DWORD kSectorSize = raw::kSectorSize;
// Read back a track at a time: the medium's own unit, fewer passes of the head.
constexpr int kVerifySectors = 18;
constexpr ULONGLONG kPumpEveryMs = 15;
constexpr int kSectors = 750;
constexpr int kProgressEnd = 1000;
constexpr int kRepaintEvery = 18;
constexpr std::uint64_t kImageBytes = std::uint64_t{kSectorSize} * kSectors;

const char kImagePath[] = "c:\\KAVELTON\\fdd.imz";
// The start-up and device messages and the copy messages differ in case.
const char kTitle[] = "Create Flash BIOS Diskette";
const char kCopyTitle[] = "Create Flash BIOS diskette";
const char kIdleHint[] = "Select older version if nessary!";
const char kBusyHint[] = "Please wait until it shows a dialog box!";

ui::FormStyle FloppyStyle() {
    ui::FormStyle style{"TFloppy", "Create BIOS Flash Diskette", 360, 220, 281, 191};
    style.font = Font{11};
    return style;
}

}  // namespace

TFloppy::TFloppy()
    : TForm(FloppyStyle(), nullptr),
      OnCreateDisk(nullptr, *this, id::OnCreateDisk, 13, 152, 90, 24, "Create", kText13),
      OnExit(nullptr, *this, id::OnExit, 166, 148, 90, 28, "Exit", kText13),
      ComboBox1(*this, id::ComboBox1, 13, 44, 210, 24, "ComboBox1", kText13, 16),
      Label1(nullptr, *this, id::Label1, 14, 18, "Latest BIOS to flash! ", kText13, CLR_INVALID,
             121, 16),
      Label2(nullptr, *this, id::Label2, 14, 82, "Select  older version if nessary! ", kText13,
             CLR_INVALID, 188, 16),
      Label3(nullptr, *this, id::Label3, 12, 127, "", kText13, CLR_INVALID, 3, 16),
      ProgressBar1(*this, id::ProgressBar1, 11, 113, 248, 17, 0, 100, false),
      Timer1(*this, kTimer1, 1000) {
    OnCreateDisk.OnClick = [this] { OnCreateDiskClick(); };
    OnExit.OnClick = [this] { OnExitClick(); };
    Timer1.OnTimer = [this] { Timer1Timer(); };
    SetDefaultButton(OnCreateDisk);
    SetCancelButton(OnExit);
    // Tab from the top down: the list, then Create and Exit.
    ComboBox1.SetTabOrderAfter(nullptr);
    // The boxes of a run have no owner: the dialog must not close under its
    // own question, whose Yes would then go on without it.
    OnCloseQuery = [this] { return !running_; };
    Floppy = this;
    RunGuarded([this] { FormCreate(); });
}

TFloppy::~TFloppy() {
    if (Floppy == this) Floppy = nullptr;
}

void TFloppy::FormCreate() {
    Os().SetCurrentDir("C:\\KAVELTON");
    Label2.SetText(kIdleHint);
    OnCreateDisk.SetEnabled(true);
    OnExit.SetEnabled(true);
    if (FillImageCatalogue(ComboBox1) == 0) {
        Boxes().Tell("Please put BIOS files under \nthe folder C:\\KAVELTON\\ROM,\nAnd reopen this Program!",
                     "Create Flash BIOS Diskette!", MB_ICONWARNING);
        Close();  // not shown yet: it stays hidden and can still be opened
    }
}

void TFloppy::OnExitClick() { Close(); }

void TFloppy::Timer1Timer() { ++CopySeconds; }

void TFloppy::OnCreateDiskClick() {
    RunGuard guard(running_);
    if (!guard.Entered()) return;
    const TaskSteps run(kTitle);

    CopySeconds = 0;
    ProgressBar1.SetPosition(0);
    Label3.SetVisible(false);
    ProgressBar1.SetMax(kProgressEnd);

    const std::string image = ComboBox1.Text();
    std::string driveName = "A:";

    // The name goes into a command line for the command processor: anything
    // beyond a plain file name the catalogue could have listed would change
    // what that line does.
    if (!core::UsableImageName(image, core::ImageUse::Diskette)) {
        run.Refuse("BIOS file", "Please select a BIOS file from the list!\nThe name must be a plain file "
                                "name of at most 13 characters.");
        return;
    }
    if (!run.ImageReady(image)) return;

    raw::RawVolume drive;
    if (!drive.Open("\\\\.\\A:")) {
        drive.Open("\\\\.\\B:");
        driveName = "B:";
    }
    if (!drive.Valid()) {
        run.Refuse("diskette drive", "Please install a floppy drive!");
        return;
    }

    if (!run.VersionAccepted(false, MainForm ? MainForm->BIOSVersion : std::string(), image)) return;

    ProgressBar1.SetVisible(true);
    raw::RawVolume diskImage;
    if (!diskImage.Open(kImagePath, GENERIC_READ | GENERIC_WRITE, FILE_FLAG_RANDOM_ACCESS)) {
        run.Error("Lost fdd.imz in C:KAVELTON!");
        return;
    }

    char sector[kSectorSize];
    std::memset(sector, 0, sizeof sector);
    DWORD done = 0;
    // A short first sector is no more a readable diskette than a refused one.
    const bool diskettePresent =
        Os().ReadFile(drive.get(), sector, kSectorSize, &done) && done == kSectorSize;
    if (!drive.Seek(0) || !diskImage.Seek(0)) return;
    if (!diskettePresent) {
        run.Refuse("diskette", "Please insert a floppy disk!");
        return;
    }
    std::optional<std::uint64_t> volumeBytes;
    if (!drive.IsDiskette(&volumeBytes)) {
        const std::string found =
            volumeBytes ? "The disk in drive " + driveName + " holds " + std::to_string(*volumeBytes) + " bytes."
                        : "The size of the disk in drive " + driveName + " cannot be read.";
        run.Refuse("diskette", found + "\nOnly a 1.44 MB diskette (" + std::to_string(raw::kDisketteBytes) +
                                   " bytes) can be written.");
        return;
    }

    // A short image would leave the last sectors of the diskette as stale
    // copies of an earlier one.
    std::uint64_t imageSize = 0;
    if (!Os().FileSize(diskImage.get(), imageSize) || imageSize < kImageBytes) {
        run.Error("fdd.imz in C:\\KAVELTON is damaged:\nit is shorter than 750 sectors "
                  "(384000 bytes)!");
        return;
    }

    if (!Boxes().Ask(Question::FormatDiskette, "It will format your floppy disk,\ndo you want to continue?", kTitle,
                     MB_ICONWARNING)) {
        guard.Leave();
        Close();
        return;
    }

    if (!drive.Lock()) {
        run.Error("The floppy disk is in use by another program!\nClose it and try again.");
        return;
    }
    drive.Dismount();

    std::memset(sector, 0, sizeof sector);
    ProgressBar1.SetVisible(true);
    OnCreateDisk.SetEnabled(false);
    OnExit.SetEnabled(false);
    Label2.SetText(kBusyHint);
    const ULONGLONG copyStart = Os().TickCount();
    Timer1.SetEnabled(true);

    auto repaintAll = [this] {
        if (MainForm) MainForm->Repaint();
        Repaint();
    };
    auto giveBackButtons = [this] {
        Timer1.SetEnabled(false);
        OnCreateDisk.SetEnabled(true);
        OnExit.SetEnabled(true);
    };
    // Ends a failed run: the user gets the buttons back at once.
    auto stop = [&](const std::string& text) {
        giveBackButtons();
        drive.Close();
        diskImage.Close();
        TaskSteps(kCopyTitle).Error(text);
    };

    // What was read from fdd.imz, to compare the diskette with afterwards.
    std::string written;
    written.reserve(kImageBytes);
    ULONGLONG lastPump = 0;
    for (int k = 0; k < kSectors; ++k) {
        if (!diskImage.Read(sector, kSectorSize)) {
            stop("Read File Failed!");
            return;
        }
        written.append(sector, kSectorSize);
        ProgressBar1.SetPosition(ProgressBar1.Position() + 1);
        if (k % kRepaintEvery == 0) repaintAll();
        if (!drive.Write(sector, kSectorSize)) {
            stop("Write Disk Failed!");
            return;
        }
        // The thread is busy here: let the windows draw and Timer1 tick, as
        // often as a screen shows it (a sector can take far less than that).
        if (Os().TickCount() - lastPump >= kPumpEveryMs) {
            ui::app::ProcessPaintAndTimers();
            lastPump = Os().TickCount();
        }
    }

    // Everything must be on the medium before the handle goes, and before
    // the read-back can see it.
    if (!drive.Flush()) {
        stop("The diskette could not be written to the end (error " + std::to_string(drive.Error()) +
             ")!\nPlease use another floppy disk.");
        return;
    }
    if (!drive.Close()) {
        stop("Can't close disk handle!");
        return;
    }
    Os().Sleep(30);
    diskImage.Close();

    // The read-back is not part of the copy time that picks the pause below.
    Timer1.SetEnabled(false);
    const ULONGLONG verifyStart = Os().TickCount();
    const std::string mismatch = VerifyDiskette(driveName, written);
    const ULONGLONG verifyMs = Os().TickCount() - verifyStart;
    if (!mismatch.empty()) {
        stop(mismatch);
        return;
    }
    Timer1.SetEnabled(true);

    OsHandle batch;
    if (!run.StartBatch("copybinFile.bat", core::DisketteCommand(image, driveName), batch)) {
        giveBackButtons();
        return;
    }

    ui::app::ProcessPaintAndTimers();
    Timer1.SetEnabled(false);
    // Ticks can come late or merged while the thread is busy; the clock does not.
    const ULONGLONG elapsed =
        std::min<ULONGLONG>((Os().TickCount() - copyStart - verifyMs) / 1000, 0x7FFFFFFF);
    CopySeconds = std::max(CopySeconds, static_cast<int>(elapsed));
    const DWORD pause = CopySeconds <= 60 ? 88 : 180;

    for (int k = kSectors; k < kProgressEnd; ++k) {
        if (k % kRepaintEvery == 0) repaintAll();
        ProgressBar1.SetPosition(ProgressBar1.Position() + 1);
        Os().Sleep(pause);
        ui::app::ProcessPaintAndTimers();
    }

    Os().Sleep(30);
    const bool copied = run.BatchSucceeded("copybinFile.bat", batch);
    OnExit.SetEnabled(true);
    OnCreateDisk.SetEnabled(true);
    if (!copied) return;

    EventWritten(kTitle, image, driveName);
    const bool restarting = run.RestartAccepted(" Successful! Restart system to update BIOS?\nSave & Close opened "
                                                "files before restarting.",
                                                "Create Flash BIOS diskette ", image);
    guard.Leave();
    if (!restarting) Close();
    Label2.SetText(kIdleHint);
    ProgressBar1.SetVisible(false);
}

std::string TFloppy::VerifyDiskette(const std::string& driveName, const std::string& expected) {
    // A second handle that bypasses the cache, so the sectors come from the
    // medium and not from what the write left in memory.
    raw::RawVolume drive;
    if (!drive.Open("\\\\.\\" + driveName, GENERIC_READ | GENERIC_WRITE, FILE_FLAG_NO_BUFFERING))
        return "The diskette could not be opened to check it (error " + std::to_string(drive.Error()) +
               ")!";
    // Nothing may mount and write to it while it is read back.
    if (!drive.Lock())
        return "The floppy disk is in use by another program!\nClose it and try again.";
    raw::SectorBuffer buffer(kVerifySectors * kSectorSize);
    const auto total = static_cast<int>(expected.size() / kSectorSize);
    for (int first = 0; first < total; first += kVerifySectors) {
        const int count = std::min(kVerifySectors, total - first);
        if (!drive.Read(buffer.data(), static_cast<DWORD>(count) * kSectorSize))
            return "The diskette could not be read back at sector " + std::to_string(first) +
                   " (error " + std::to_string(drive.Error()) + ")!\nPlease use another floppy disk.";
        for (int k = 0; k < count; ++k) {
            if (std::memcmp(buffer.data() + k * kSectorSize,
                            expected.data() + (first + k) * kSectorSize, kSectorSize) != 0)
                return "The diskette does not hold what was written: sector " +
                       std::to_string(first + k) + " differs from fdd.imz!\nPlease use another floppy disk.";
        }
        ui::app::ProcessPaintAndTimers();
    }
    return {};
}

}  // namespace kv
