#include "forms/Mywindows.h"

#include <string>

#include "common/events.h"
#include "common/install_paths.h"
#include "common/run_log.h"
#include "forms/control_ids.h"
#include "forms/Main.h"
#include "platform.h"
#include "tasks/catalogue.h"
#include "tasks/task_steps.h"
#include "tasks/update_result.h"

namespace kv {
namespace {

namespace id = ids::window;

const ui::Font kControls{13};
constexpr UINT_PTR kTimer1 = 1;

const char kEnumTitle[] = "Enum current process";

ui::FormStyle WindowStyle() {
    ui::FormStyle style{"TWindow", "Flash BIOS in Windows", 352, 280, 266, 174};
    style.font = ui::Font{11};
    return style;
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
    SetDefaultButton(Button1);
    SetCancelButton(Button2);
    // The boxes of a run have no owner: the dialog must not close under its
    // own question, whose Yes would then go on without it.
    OnCloseQuery = [this] { return !inClick_; };
    // Closing by any route ends the watch at once; the flasher goes on, so
    // the main window takes over the hold and watches it from now on.
    OnClose = [this] {
        Timer1.SetEnabled(false);
        HandOverHold();
    };
    RunGuarded([this] { FormCreate(); });
    FocusControl(ComboBox1);
}

TWindow::~TWindow() {
    Timer1.SetEnabled(false);
    Timer1.OnTimer = nullptr;
    HandOverHold();
}

void TWindow::HandOverHold() {
    if (!flash_) return;
    if (MainForm && flash_->Running()) MainForm->TakeOverFlash(std::move(flash_));
    flash_.reset();
}

void TWindow::FormCreate() {
    MissCount = 0;
    FlasherSeen = 0;
    runningVersion_ = RunningBiosVersion();
    if (FillImageCatalogue(ComboBox1) == 0)
        Boxes().Tell("Please put BIOS files under \nthe folder C:\\KAVELTON\\ROM,\nAnd reopen this Program!",
                     "Create Flash BIOS Diskette!", MB_ICONWARNING);
}

void TWindow::Button1Click() {
    // From the first question to the watch's last box, a run is in progress.
    RunGuard guard(inClick_);
    if (!guard.Entered()) return;
    // Two flashers at once can leave the board unbootable, and one started
    // before this dialog was reopened is just as much in progress. Asked
    // again under the flash mutex right before the start.
    if (!NoFlashInProgress(Boxes())) return;
    if (Timer1.Enabled()) return;  // the watch of the last start has not ended yet

    Os().SetCurrentDir(kInstallFolder);
    MissCount = 0;
    FlasherSeen = 0;
    // The flash button is offered only for a board that matches.
    FlashStart start = StartFlash({ComboBox1.Text(), runningVersion_, BoardCheck::Matches}, Boxes(), *this);
    if (!start.flash) return;
    Button1.SetVisible(false);
    image_ = ComboBox1.Text();
    flash_ = std::move(start.flash);
    // Gives the flasher time to appear in the process list.
    Os().Sleep(1000);
    Timer1.SetEnabled(true);
    Button1.SetVisible(true);
}

void TWindow::Timer1Timer() {
    // A box of a tick must not let the next tick in under it.
    RunGuard tick(inTick_);
    if (!tick.Entered()) return;

    if (flash_ && flash_->Started()) {
        // Ours is watched by its job: a flasher that is listed but cannot be
        // opened (started as SYSTEM) is still running, and so is the program
        // it handed over to.
        if (flash_->Running()) {
            FlasherSeen = 1;
            return;
        }
    } else {
        const char* failedCall = nullptr;
        switch (FindFlasher(&failedCall)) {
        case FlasherListing::Found:
            FlasherSeen = 1;
            return;
        case FlasherListing::Unknown:
            Boxes().Tell(std::string(failedCall) + " failed!", kEnumTitle, 0);
            if (std::string(failedCall) == "CreateToolhelp32Snapshot()") return;
            break;
        case FlasherListing::NotFound:
            break;
        }
    }

    ++MissCount;
    if (MissCount == 1) Timer1.SetEnabled(false);
    // Only the first miss ends the watch; a later tick (queued before the
    // timer stopped) has nothing more to say.
    if (MissCount != 1) return;
    // The watch's boxes belong to the run: OK stays without effect meanwhile.
    RunGuard guard(inClick_);
    // The hold and the mutex end with the flasher.
    std::unique_ptr<RunningFlash> flash = std::move(flash_);
    if (FlasherSeen != 1) {
        // Gone before the watch first looked: it cannot have flashed, so the
        // drive's protection comes back now.
        DWORD code = 0;
        const bool ran = flash && flash->Started() && flash->Result(&code) != FlashResult::Unknown;
        if (flash) flash->ResumeEncryption();
        flash.reset();
        Boxes().Tell("Your system is not award BIOS!\nIt can not flash your BIOS!", "Detect your system BIOS",
                     MB_ICONWARNING);
        EventFailed(kFlashTitle, kFlasherExe, ran ? std::to_string(code) : std::string(), Boxes().LastText(),
                    Boxes());
        return;
    }
    const FlasherEnd end = FlasherEnded(flash.get());
    flash.reset();
    if (!end.boxed.empty()) {
        Boxes().Tell(end.boxed, kFlashTitle, MB_ICONERROR);
        EventFailed(kFlashTitle, kFlasherExe, end.eventCode, end.boxed, Boxes());
        return;
    }
    RecordPendingUpdate(image_, runningVersion_);
    const bool restarting = TaskSteps(kFlashTitle).RestartAccepted(
        "Flash system BIOS successful!\nDo you want to restart your system?", "Flash system BIOS successful",
        image_);
    EventFlashed(image_, restarting, Boxes());
    guard.Leave();
    if (!restarting) Close();
}

FlasherEnd TWindow::FlasherEnded(RunningFlash* flash) {
    if (!flash || !flash->Started())
        return {kExitFlasherFailed, {},
                "WinFlash64.exe could not be watched, so its result is unknown!\nRead the flasher's own messages "
                "before you restart the system.",
                {}};
    DWORD code = 0;
    const FlashResult result = flash->Result(&code);
    return DescribeFlasherEnd(result, code);
}

void TWindow::Button2Click() { Close(); }

}  // namespace kv
