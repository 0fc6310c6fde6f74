#include "forms/Main.h"

#include <cstring>
#include <exception>
#include <memory>
#include <optional>

#include "checks/folder_trust.h"
#include "checks/signature.h"
#include "checks/system_info.h"
#include "common/dialogue.h"
#include "common/install_paths.h"
#include "common/run_log.h"
#include "forms/About.h"
#include "forms/control_ids.h"
#include "forms/Myfloppy.h"
#include "forms/Myusb.h"
#include "forms/Mywindows.h"
#include "forms/pictures.h"
#include "platform.h"
#include "sysinfo.h"
#include "raw_volume.h"
#include "tasks/diskette.h"
#include "tasks/task_steps.h"
#include "tasks/update_result.h"
#include "tasks/usb_scan.h"

namespace kv {

TMainForm* MainForm = nullptr;

namespace {

namespace id = ids::mainform;
using ui::Font;

const Font kText13{13};
const Font kValue11{11};
const Font kWarning{13, true, true};
const COLORREF kBlue = RGB(0, 0, 255);
const COLORREF kRed = RGB(255, 0, 0);
constexpr UINT_PTR kHoldTimer = 1;

const char kMakerWebSite[] = "https://www.kavelton.com/";
const char kUsbTitle[] = "Create Flash BIOS Penlet";
const char kUsbPrompt[] = "Please insert a bootable USB disk!\nOnce device is ready, press \"Yes\".";

ui::FormStyle MainStyle() {
    ui::FormStyle style{"TMainForm", "Kavelton", 271, 119, 451, 408};
    style.font = Font{11, true};
    style.appIcon = true;
    return style;
}

std::string Blanks(int n) { return std::string(static_cast<size_t>(n), ' '); }

}  // namespace

TMainForm::TMainForm()
    : TForm(MainStyle(), nullptr),
      GroupBox1(*this, id::GroupBox1, 18, 16, 407, 105, "Current System Information", kText13),
      Label1(&GroupBox1, *this, id::Label1, 17, 24, "Product Name:", kText13),
      Label2(&GroupBox1, *this, id::Label2, 17, 51, "BIOS  Manufacture:", kText13),
      Label3(&GroupBox1, *this, id::Label3, 17, 78, "BIOS Version:", kText13),
      Label4(&GroupBox1, *this, id::Label4, 241, 78, "BIOS Date:", kText13),
      labPrdName(&GroupBox1, *this, id::labPrdName, 138, 24, "labPrdName", kValue11, kBlue),
      labManufacture(&GroupBox1, *this, id::labManufacture, 138, 53, "labManufacture", kValue11,
                     kBlue),
      labBIOSVersion(&GroupBox1, *this, id::labBIOSVersion, 138, 81, "labBIOSVersion", kValue11,
                     kBlue),
      labBIOSDate(&GroupBox1, *this, id::labBIOSDate, 322, 79, "labBIOSDate", kValue11, kBlue),
      GroupBox2(*this, id::GroupBox2, 20, 159, 405, 175, "BIOS Flash", kText13),
      OnFloppy(&GroupBox2, *this, id::OnFloppy, 16, 21, 377, 41,
               Blanks(39) + "Create  BIOS Flash  Diskette" + Blanks(12), kText13,
               pictures::Diskette()),
      OnUSB(&GroupBox2, *this, id::OnUSB, 16, 71, 377, 41,
            Blanks(39) + "Create  BIOS Flash  Penlet" + Blanks(9), kText13, pictures::UsbSymbol()),
      OnWinFlash(&GroupBox2, *this, id::OnWinFlash, 16, 122, 377, 41,
                 Blanks(40) + "Flash System BIOS Now" + Blanks(19), kText13, pictures::Chip()),
      OnLogo(nullptr, *this, id::OnLogo, 24, 344, 73, 57, "", kText13, pictures::Logo()),
      OnExit(nullptr, *this, id::OnExit, 384, 357, 41, 33, "Exit", kText13),
      labWarning(nullptr, *this, id::labWarning, 32, 136, "labWarning", kWarning, kRed),
      SpeedButton1(nullptr, *this, id::SpeedButton1, 328, 357, 41, 33, "About", kText13),
      HoldTimer(*this, kHoldTimer) {
    HoldTimer.OnTimer = [this] { HoldTimerTimer(); };
    // Ending the program would end the hold that keeps Windows from sleeping
    // or shutting down under the flasher, which goes on flashing.
    OnCloseQuery = [this] {
        if (!flash_) return true;
        Boxes().Tell("A BIOS flash is in progress!\nKavelton keeps Windows from sleeping or "
                         "shutting down until WinFlash64.exe has ended.\nPlease exit after that.",
                         "Kavelton", MB_ICONWARNING);
        return false;
    };
    // A value longer than its room ends in "..." instead of running over the
    // next label or out of the group box (407 wide, inner margin 6).
    labPrdName.SetMaxWidth(407 - 6 - 138);
    labManufacture.SetMaxWidth(407 - 6 - 138);
    labBIOSVersion.SetMaxWidth(241 - 6 - 138);
    labBIOSDate.SetMaxWidth(407 - 6 - 322);
    labWarning.SetVisible(false);
    OnWinFlash.SetEnabled(false);
    OnFloppy.OnClick = [this] { OnFloppyClick(); };
    OnUSB.OnClick = [this] { OnUSBClick(); };
    OnWinFlash.OnClick = [this] { OnWinFlashClick(); };
    OnLogo.OnClick = [this] { OnLogoClick(); };
    OnExit.OnClick = [this] { OnExitClick(); };
    SpeedButton1.OnClick = [this] { SpeedButton1Click(); };
    // Tab runs through the tasks, then the logo, About and Exit.
    SpeedButton1.SetTabOrderAfter(&OnLogo);
    MainForm = this;
    RunGuarded([this] { FormCreate(); });
    // After the start's WMI reading, which sets up COM security first, and
    // after the first paint: starting COM and the annotation service costs
    // more than the whole window takes to draw.
    AfterFirstPaint([this] { logoName_ = std::make_unique<ui::AccessibleName>(OnLogo, L"Kavelton"); });
}

TMainForm::~TMainForm() {
    HoldTimer.SetEnabled(false);
    flash_.reset();
    if (MainForm == this) MainForm = nullptr;
}

void TMainForm::FormCreate() {
    Os().SetCurrentDir(kInstallFolder);
    labWarning.SetText(" Warning!! The new BIOS is not suitable for this system!  ");

    const SystemInfo info = ReadSystemInfo(Boxes());
    // Without the system information the labels keep their names, and the
    // check runs on an empty board, so the flash button stays disabled.
    if (info.read) {
        labManufacture.SetText(info.maker);
        BIOSVersion = info.version;
        labBIOSVersion.SetText(BIOSVersion);
        labBIOSDate.SetText(info.date);
        labPrdName.SetText(info.product);
    }
    switch (CheckBoard(info.board)) {
    case BoardCheck::NoSystemId:
        Boxes().Tell("Can't get systemID from \nC:\\KAVELTON\\system.txt!", "Get MotherBoard systemID",
                     MB_ICONWARNING);
        break;
    case BoardCheck::Matches:
        OnWinFlash.SetEnabled(true);
        break;
    case BoardCheck::DoesNotMatch:
        labWarning.SetVisible(true);
        OnWinFlash.SetEnabled(false);
        break;
    }
}

void TMainForm::OnFloppyClick() {
    RunGuard guard(taskBusy_);
    if (!guard.Entered()) return;
    raw::RawVolume drive;
    if (OpenDisketteDrive(drive).empty()) {
        Boxes().Tell("Please install a floppy drive!", "Create Flash BIOS Diskette", MB_ICONERROR);
        return;
    }
    drive.Close();
    Floppy->ShowModal();
}

void TMainForm::OnUSBClick() {
    RunGuard guard(taskBusy_);
    if (!guard.Entered()) return;
    // Only an explicit Yes goes on: a prompt ended any other way (the main
    // window closed under it, a failed box) is no answer to act on.
    auto answeredYes = [&] {
        return Boxes().Ask(Question::InsertUsbKey, kUsbPrompt, kUsbTitle, MB_ICONWARNING) && ::IsWindow(Handle());
    };
    if (!answeredYes()) return;
    UsbScan scan;
    for (int scans = 0;; ++scans) {
        scan = ScanUsbDrives(kUsbTitle);
        if (!scan.scanned) return;
        if (!scan.foundNothing) break;
        // A key just put in may need a moment: one more scan at once, then
        // one after each Yes.
        if (scans > 0 && !answeredYes()) return;
    }
    USBDriveCount = 0;
    for (const std::string& found : scan.drives) {
        std::memset(USBDrive[USBDriveCount], 0, sizeof USBDrive[USBDriveCount]);
        found.copy(USBDrive[USBDriveCount], usb::kRecordBytes - 1);
        ++USBDriveCount;
    }
    auto dialog = std::make_unique<TUSB>(this);
    dialog->ShowModal();
}

void TMainForm::OnWinFlashClick() {
    RunGuard guard(taskBusy_);
    if (!guard.Entered()) return;
    auto dialog = std::make_unique<TWindow>(this);
    dialog->ShowModal();
}

void TMainForm::TakeOverFlash(std::unique_ptr<RunningFlash> flash) {
    if (!flash) return;
    flash->MoveHoldTo(*this);
    flash_ = std::move(flash);
    HoldTimer.SetEnabled(true);
}

void TMainForm::HoldTimerTimer() {
    if (flash_ && flash_->Running()) return;
    HoldTimer.SetEnabled(false);
    flash_.reset();
}

void TMainForm::SpeedButton1Click() {
    auto about = std::make_unique<TAboutForm>(this);
    about->ShowModal();
}

void TMainForm::OnLogoClick() {
    // A browser started by us would hold our rights, and its Open and Save
    // dialogs would hand them to whoever sits at the keyboard.
    if (Os().OpenAsDesktopUser(kMakerWebSite)) return;
    Log(std::string("The web page could not be opened as the desktop's user: ") + kMakerWebSite);
    Boxes().Tell(std::string("Kavelton does not open web pages with administrator rights, and the desktop could not "
                             "open it for you.\nPlease open this address in your web browser:\n\n") +
                     kMakerWebSite + "\n\n(Ctrl+C copies the text of this box.)",
                 "Kavelton", MB_ICONINFORMATION);
}

void TMainForm::OnExitClick() { Close(); }

const std::string& RunningBiosVersion() {
    static const std::string none;
    return MainForm ? MainForm->BIOSVersion : none;
}

int RunKavelton() {
    // Nothing is loaded from the install folder or written into it before
    // it is known that only administrators can change it.
    HoldRunLog();
    bool trusted = false;
    try {
        if (!InstallFolderTrustedAtStart()) return 0;
        trusted = true;
        // The start's lines stay held until the window is drawn, then go to
        // the log in one write instead of one each.
        auto mainForm = std::make_unique<TMainForm>();
        ui::app::SetMainForm(mainForm.get());
        auto floppy = std::make_unique<TFloppy>();
        ShowLastUpdateResult(mainForm->BIOSVersion);
        mainForm->AfterFirstPaint(ReleaseRunLog);
        mainForm->Show();
        ui::app::Run();
        floppy.reset();
    } catch (const std::exception& e) {
        ui::ShowException(e.what());
    } catch (...) {
        ui::ShowException("");
    }
    // A start that never got to its first paint still leaves its lines.
    if (trusted) ReleaseRunLog();
    return 0;
}

}  // namespace kv
