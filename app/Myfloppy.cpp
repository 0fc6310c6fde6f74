#include "Myfloppy.h"

#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "Main.h"
#include "catalogue.h"
#include "commands.h"
#include "control_ids.h"
#include "images.h"
#include "platform.h"
#include "restart.h"

namespace kv {

TFloppy* Floppy = nullptr;

namespace {

namespace id = ids::floppy;
using ui::Font;

const Font kText13{13};

constexpr UINT_PTR kTimer1 = 1;
constexpr DWORD kSectorSize = 512;
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
constexpr UINT kError = MB_OK | MB_ICONERROR | MB_TOPMOST;

ui::FormStyle FloppyStyle() {
    ui::FormStyle style{"TFloppy", "Create BIOS Flash Diskette", 360, 220, 281, 191};
    style.font = Font{11};
    return style;
}

// Keeps the file system away from the volume while its sectors are
// rewritten under it. The dismount is best effort: Wine refuses it.
class VolumeLock {
public:
    explicit VolumeLock(HANDLE volume) : volume_(volume) {}
    ~VolumeLock() { Unlock(); }
    VolumeLock(const VolumeLock&) = delete;
    VolumeLock& operator=(const VolumeLock&) = delete;

    bool Lock() {
        locked_ = Os().DeviceIoControl(volume_, FSCTL_LOCK_VOLUME);
        if (locked_) Os().DeviceIoControl(volume_, FSCTL_DISMOUNT_VOLUME);
        return locked_;
    }
    void Unlock() {
        if (locked_) Os().DeviceIoControl(volume_, FSCTL_UNLOCK_VOLUME);
        locked_ = false;
    }

private:
    HANDLE volume_;
    bool locked_ = false;
};

HANDLE OpenDrive(const char* device) {
    return Os().OpenFile(device, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         OPEN_EXISTING, 0);
}

// The name goes into a command line for the command processor: anything
// beyond a plain file name the catalogue could have listed would change
// what that line does.
bool UsableImageName(const std::string& name) {
    return name.size() <= core::kMaxImageNameLength && core::IsPlainImageName(name);
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
        Os().ShowMessage("Please put BIOS files under \nthe folder C:\\KAVELTON\\ROM,\nAnd reopen this Program!",
                         "Create Flash BIOS Diskette!", MB_OK | MB_ICONWARNING | MB_TOPMOST);
        Close();  // not shown yet: it stays hidden and can still be opened
    }
}

void TFloppy::OnExitClick() { Close(); }

void TFloppy::Timer1Timer() { ++CopySeconds; }

void TFloppy::OnCreateDiskClick() {
    CopySeconds = 0;
    ProgressBar1.SetPosition(0);
    Label3.SetVisible(false);
    ProgressBar1.SetMax(kProgressEnd);

    const std::string image = ComboBox1.Text();
    std::string driveName = "A:";

    if (!UsableImageName(image)) {
        Os().ShowMessage("Please select a BIOS file from the list!\nThe name must be a plain file "
                         "name of at most 13 characters.",
                         kTitle, kError);
        return;
    }

    OsHandle drive;
    drive.Reset(OpenDrive("\\\\.\\A:"));
    if (!drive.Valid()) {
        drive.Reset(OpenDrive("\\\\.\\B:"));
        driveName = "B:";
    }
    if (!drive.Valid()) {
        Os().ShowMessage("Please install a floppy drive!", kTitle, kError);
        return;
    }

    if (!CheckImageVersion(false, image)) return;

    ProgressBar1.SetVisible(true);
    OsHandle diskImage;
    diskImage.Reset(Os().OpenFile(kImagePath, GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                                  FILE_FLAG_RANDOM_ACCESS));
    if (!diskImage.Valid()) {
        Os().ShowMessage("Lost fdd.imz in C:KAVELTON!", kTitle, kError);
        return;
    }

    char sector[kSectorSize];
    std::memset(sector, 0, sizeof sector);
    DWORD done = 0;
    const bool diskettePresent = Os().ReadFile(drive.get(), sector, kSectorSize, &done);
    if (!Os().SetFilePointerBegin(drive.get(), 0) || !Os().SetFilePointerBegin(diskImage.get(), 0))
        return;
    if (!diskettePresent) {
        Os().ShowMessage("Please insert a floppy disk!", kTitle, kError);
        return;
    }

    // A short image would leave the last sectors of the diskette as stale
    // copies of an earlier one.
    std::uint64_t imageSize = 0;
    if (!Os().FileSize(diskImage.get(), imageSize) || imageSize < kImageBytes) {
        Os().ShowMessage("fdd.imz in C:KAVELTON is damaged:\nit is shorter than 750 sectors "
                         "(384000 bytes)!",
                         kTitle, kError);
        return;
    }

    if (Os().ShowMessage("It will format your floppy disk,\ndo you want to continue?", kTitle,
                         MB_YESNO | MB_ICONWARNING | MB_TOPMOST) != IDYES) {
        Close();
        return;
    }

    VolumeLock lock(drive.get());
    if (!lock.Lock()) {
        Os().ShowMessage("The floppy disk is in use by another program!\nClose it and try again.",
                         kTitle, kError);
        return;
    }

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
    // Ends a failed copy: the user gets the buttons back at once.
    auto stop = [&](const char* text) {
        Timer1.SetEnabled(false);
        OnCreateDisk.SetEnabled(true);
        OnExit.SetEnabled(true);
        lock.Unlock();
        diskImage.Close();
        drive.Close();
        Os().ShowMessage(text, kCopyTitle, kError);
    };

    for (int k = 0; k < kSectors; ++k) {
        // A short read or write is as much a failure as a refused one.
        if (!Os().ReadFile(diskImage.get(), sector, kSectorSize, &done) || done != kSectorSize) {
            stop("Read File Failed!");
            return;
        }
        ProgressBar1.SetPosition(ProgressBar1.Position() + 1);
        if (k % kRepaintEvery == 0) repaintAll();
        if (!Os().WriteFile(drive.get(), sector, kSectorSize, &done) || done != kSectorSize) {
            stop("Write Disk Failed!");
            return;
        }
        // The thread is busy here: let the windows draw and Timer1 tick.
        ui::app::ProcessPaintAndTimers();
    }

    lock.Unlock();
    if (!drive.Close()) {
        Timer1.SetEnabled(false);
        OnCreateDisk.SetEnabled(true);
        OnExit.SetEnabled(true);
        Os().ShowMessage("Can't close disk handle!", kCopyTitle, kError);
        return;
    }
    Os().Sleep(30);
    diskImage.Close();

    Os().WinExec(core::DisketteCommand(image, driveName), SW_HIDE);

    ui::app::ProcessPaintAndTimers();
    Timer1.SetEnabled(false);
    // Ticks can come late or merged while the thread is busy; the clock does not.
    const ULONGLONG elapsed = std::min<ULONGLONG>((Os().TickCount() - copyStart) / 1000, 0x7FFFFFFF);
    CopySeconds = std::max(CopySeconds, static_cast<int>(elapsed));
    const DWORD pause = CopySeconds <= 60 ? 88 : 180;

    for (int k = kSectors; k < kProgressEnd; ++k) {
        if (k % kRepaintEvery == 0) repaintAll();
        ProgressBar1.SetPosition(ProgressBar1.Position() + 1);
        Os().Sleep(pause);
        ui::app::ProcessPaintAndTimers();
    }

    Os().Sleep(30);
    OnExit.SetEnabled(true);
    OnCreateDisk.SetEnabled(true);

    if (Os().ShowMessage(" Successful! Restart system to update BIOS?\nSave & Close opened files "
                         "before restarting.",
                         "Create Flash BIOS diskette ", MB_YESNO | MB_ICONQUESTION | MB_TOPMOST) ==
        IDYES)
        RestartSystem();
    else
        Close();
    Label2.SetText(kIdleHint);
    ProgressBar1.SetVisible(false);
}

}  // namespace kv
