#include "Mywindows.h"

#include <string>

#include "Main.h"
#include "catalogue.h"
#include "commands.h"
#include "control_ids.h"
#include "flash_checks.h"
#include "flash_hold.h"
#include "install_paths.h"
#include "platform.h"
#include "run_log.h"
#include "task_run.h"

namespace kv {
namespace {

namespace id = ids::window;

const ui::Font kControls{13};
constexpr UINT_PTR kTimer1 = 1;

const DWORD kProcessAllAccess = 0x1F0FFF;

const char kFlashTitle[] = "Flash BIOS in windows";
const char kEnumTitle[] = "Enum current process";

ui::FormStyle WindowStyle() {
    ui::FormStyle style{"TWindow", "Flash BIOS in Windows", 352, 280, 266, 174};
    style.font = ui::Font{11};
    return style;
}

int Message(const std::string& text, const char* title, UINT style) {
    Log(std::string(title) + ": " + text);
    return Os().ShowMessage(text, title, style | MB_TOPMOST);
}

}  // namespace

TWindow::TWindow(ui::TForm* owner)
    : TForm(WindowStyle(), owner),
      ComboBox1(*this, id::ComboBox1, 24, 56, 218, 24, "", kControls, 16),
      Button1(*this, id::Button1, 21, 133, 84, 27, "OK", kControls),
      Button2(*this, id::Button2, 157, 133, 84, 27, "Close", kControls),
      Timer1(*this, kTimer1),
      Label1(nullptr, *this, id::Label1, 24, 22, "Latest BIOS to flash! ", kControls, CLR_INVALID,
             121, 16),
      Label2(nullptr, *this, id::Label2, 24, 91, "Select  older version if nessary! ", kControls,
             CLR_INVALID, 188, 16) {
    Button1.OnClick = [this] { Button1Click(); };
    Button2.OnClick = [this] { Button2Click(); };
    Timer1.OnTimer = [this] { Timer1Timer(); };
    // Closing by any route ends the watch at once; the flasher goes on, so
    // the main window takes over the hold and watches it from now on.
    OnClose = [this] {
        Timer1.SetEnabled(false);
        HandOverHold();
    };
    RunGuarded([this] { FormCreate(); });
    ::SetFocus(ComboBox1.Handle());
}

TWindow::~TWindow() {
    Timer1.SetEnabled(false);
    Timer1.OnTimer = nullptr;
    HandOverHold();
}

void TWindow::HandOverHold() {
    if (!hold_) return;
    if (MainForm && FlasherRunning()) MainForm->TakeOverFlashHold(std::move(hold_));
    hold_.reset();
}

void TWindow::FormCreate() {
    MissCount = 0;
    FlasherSeen = 0;
    runningVersion_ = MainForm ? MainForm->BIOSVersion : std::string();
    if (FillImageCatalogue(ComboBox1) == 0)
        Message("Please put BIOS files under \nthe folder C:\\KAVELTON\\ROM,\nAnd reopen this Program!",
                "Create Flash BIOS Diskette!", MB_OK | MB_ICONWARNING);
}

void TWindow::Button1Click() {
    // From the first question to the watch's last box, a run is in progress.
    RunGuard guard(inClick_);
    if (!guard.Entered()) return;
    // Two flashers at once can leave the board unbootable, and one started
    // before this dialog was reopened is just as much in progress.
    switch (FindFlasher()) {
    case FlasherListing::Found:
        Message("A BIOS flash is in progress!\nWait until WinFlash64.exe has ended before you "
                "start another one.",
                kFlashTitle, MB_OK | MB_ICONERROR);
        return;
    case FlasherListing::Unknown:
        Message("The running programs can not be listed, so it can not be told whether a BIOS "
                "flash is in progress!\nNothing was started.",
                kFlashTitle, MB_OK | MB_ICONERROR);
        return;
    case FlasherListing::NotFound:
        break;
    }
    if (Timer1.Enabled()) return;  // the watch of the last start has not ended yet

    Os().SetCurrentDir(kInstallFolder);
    MissCount = 0;
    FlasherSeen = 0;
    const TaskRun run(kFlashTitle);
    const std::string image = ComboBox1.Text();
    if (image.empty()) {
        Message("Please select one BIOS!", kFlashTitle, MB_OK | MB_ICONERROR);
        return;
    }
    // The name goes into a command line unquoted: anything that would add
    // arguments, commands or another folder is refused before any question.
    if (image.size() > kMaxTypedImageName || !core::IsPlainImageName(image)) {
        Message("This BIOS file name can not be used!\nPlease select a file of the folder "
                "C:\\KAVELTON\\ROM,\nwithout path, blanks or special characters.",
                kFlashTitle, MB_OK | MB_ICONERROR);
        return;
    }
    if (!run.ImageReady(image)) return;
    if (!run.VersionAccepted(true, runningVersion_, image)) return;
    if (!CheckPower()) return;
    // Last, because a suspension changes the system.
    encryption_ = std::make_unique<DriveEncryption>();
    if (!encryption_->Check(SystemDrive())) return;

    Button1.SetVisible(false);
    image_ = image;
    // From the start until the flasher has gone, nothing may sleep or end
    // the session by mistake.
    hold_ = std::make_unique<FlashHold>(*this);
    // The handle tells the flasher's own result when the watch finds it gone.
    // A start that fails leaves the watch to report that no flasher ran.
    const std::string command = core::FlasherCommand(image);
    HANDLE process = nullptr;
    if (Os().StartProcess(kFlasherPath, command, SW_SHOW, kInstallFolder, &process)) {
        Log(std::string(kFlashTitle) + ": started " + command);
        flasher_.Reset(process);
    } else {
        Log(std::string(kFlashTitle) + ": " + command + " could not be started, error " +
            std::to_string(Os().LastError()));
        // No flash, no restart: the drive's protection comes back at once.
        encryption_->Resume();
        flasher_.Reset(nullptr);
    }
    // Gives the flasher time to appear in the process list.
    Os().Sleep(1000);
    Timer1.SetEnabled(true);
    Button1.SetVisible(true);
}

void TWindow::Timer1Timer() {
    if (inTick_) return;
    inTick_ = true;
    struct Leave {
        bool& flag;
        ~Leave() { flag = false; }
    } leave{inTick_};

    OsHandle snapshot(Os().CreateProcessSnapshot());
    if (!snapshot.Valid()) {
        Message("CreateToolhelp32Snapshot() failed!", kEnumTitle, MB_OK);
        return;
    }
    std::string exeName;
    DWORD pid = 0;
    if (Os().FirstProcess(snapshot.get(), exeName, pid)) {
        do {
            if (!core::EqualIgnoringCase(exeName, kFlasherExe)) continue;
            const HANDLE process = Os().OpenProcess(kProcessAllAccess, pid);
            if (!process) continue;
            Os().CloseHandle(process);
            FlasherSeen = 1;
            return;
        } while (Os().NextProcess(snapshot.get(), exeName, pid));
    } else {
        snapshot.Close();
        Message("Process32First() failed!", kEnumTitle, MB_OK);
    }

    snapshot.Close();
    ++MissCount;
    if (MissCount == 1) Timer1.SetEnabled(false);
    // Only the first miss ends the watch; a later tick (queued before the
    // timer stopped) has nothing more to say.
    if (MissCount != 1) return;
    // The watch's boxes belong to the run: OK stays without effect meanwhile.
    RunGuard guard(inClick_);
    hold_.reset();
    if (FlasherSeen != 1) {
        flasher_.Close();
        Message("Your system is not award BIOS!\nIt can not flash your BIOS!", "Detect your system BIOS",
                MB_OK | MB_ICONWARNING);
        return;
    }
    const std::string failure = FlasherFailure();
    if (!failure.empty()) {
        Message(failure, kFlashTitle, MB_OK | MB_ICONERROR);
        return;
    }
    if (!TaskRun(kFlashTitle).RestartAccepted(
            "Flash system BIOS successful!\nDo you want to restart your system?",
            "Flash system BIOS successful", image_))
        Close();
}

std::string TWindow::FlasherFailure() {
    if (!flasher_.Valid())
        return "WinFlash64.exe could not be watched, so its result is unknown!\nRead the "
               "flasher's own messages before you restart the system.";
    // Gone from the list, it may still be finishing its exit.
    Os().WaitForProcess(flasher_.get(), 2000);
    DWORD code = 0;
    const bool known = Os().ProcessExitCode(flasher_.get(), &code);
    flasher_.Close();
    if (known && code != STILL_ACTIVE) {
        Log(std::string(kFlashTitle) + ": WinFlash64.exe ended with exit code " + std::to_string(code));
        // Only a flash known to have failed needs no restart: then the drive's
        // protection comes back now rather than after a restart.
        if (code != 0 && encryption_) encryption_->Resume();
    }
    if (!known || code == STILL_ACTIVE)
        return "The result of WinFlash64.exe can not be read!\nRead the flasher's own messages "
               "before you restart the system.";
    if (code != 0)
        return "WinFlash64.exe ended with exit code " + std::to_string(code) +
               ": the BIOS may not have been updated!\nRead the flasher's own messages before you "
               "restart the system.";
    return {};
}

void TWindow::Button2Click() { Close(); }

}  // namespace kv
