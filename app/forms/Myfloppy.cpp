#include "forms/Myfloppy.h"

#include <windows.h>

#include <algorithm>
#include <string>

#include "forms/control_ids.h"
#include "forms/Main.h"
#include "platform.h"
#include "tasks/catalogue.h"
#include "tasks/diskette.h"
#include "tasks/task_steps.h"

namespace kv {

TFloppy* Floppy = nullptr;

namespace {

namespace id = ids::floppy;
using ui::Font;

const Font kText13{13};

constexpr UINT_PTR kTimer1 = 1;
// The bar's first 750 steps are the sectors copied, the rest the batch file.
constexpr int kProgressEnd = 1000;
constexpr int kRepaintEvery = 18;
constexpr int kQuickCopySeconds = 60;
constexpr DWORD kQuickStepMs = 88;
constexpr DWORD kSlowStepMs = 180;

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
    const TaskSteps run(kTitle), copyRun(kCopyTitle);
    DisketteSteps steps(run, copyRun);
    steps.onCopyFailed = [this] { GiveBackButtons(); };

    CopySeconds = 0;
    ProgressBar1.SetPosition(0);
    Label3.SetVisible(false);
    ProgressBar1.SetMax(kProgressEnd);

    const std::string image = ComboBox1.Text();
    if (!steps.NameUsable(image) || !run.ImageReady(image) || !steps.FindDrive() ||
        !run.VersionAccepted(false, RunningBiosVersion(), image))
        return;
    ProgressBar1.SetVisible(true);
    if (!steps.OpenImage() || !steps.CheckMedia()) return;
    if (!Boxes().Ask(Question::FormatDiskette, "It will format your floppy disk,\ndo you want to continue?", kTitle,
                     MB_ICONWARNING)) {
        guard.Leave();
        Close();
        return;
    }
    if (!steps.LockDrive()) return;

    ShowBusy();
    const ULONGLONG copyStart = Os().TickCount();
    Timer1.SetEnabled(true);
    if (!steps.Write([this](int sector) { SectorCopied(sector); })) return;
    // The read-back is not part of the copy time that picks the pause below.
    Timer1.SetEnabled(false);
    const ULONGLONG verifyStart = Os().TickCount();
    if (!steps.ReadBack()) return;
    const ULONGLONG verifyMs = Os().TickCount() - verifyStart;
    Timer1.SetEnabled(true);

    OsHandle batch;
    if (!steps.StartBatch(image, batch)) {
        GiveBackButtons();
        return;
    }
    ShowBatchProgress(copyStart, verifyMs);
    // The batch file's copy often ends just as the bar does: one more breath
    // before it is waited for.
    Os().Sleep(30);
    const bool copied = run.BatchSucceeded("copybinFile.bat", batch);
    OnExit.SetEnabled(true);
    OnCreateDisk.SetEnabled(true);
    if (!copied) return;

    EventWritten(kTitle, image, steps.DriveName());
    const bool restarting = run.RestartAccepted(" Successful! Restart system to update BIOS?\nSave & Close opened "
                                                "files before restarting.",
                                                "Create Flash BIOS diskette ", image);
    guard.Leave();
    if (!restarting) Close();
    Label2.SetText(kIdleHint);
    ProgressBar1.SetVisible(false);
}

void TFloppy::ShowBusy() {
    ProgressBar1.SetVisible(true);
    OnCreateDisk.SetEnabled(false);
    OnExit.SetEnabled(false);
    Label2.SetText(kBusyHint);
}

void TFloppy::GiveBackButtons() {
    Timer1.SetEnabled(false);
    OnCreateDisk.SetEnabled(true);
    OnExit.SetEnabled(true);
}

void TFloppy::RepaintAll() {
    if (MainForm) MainForm->Repaint();
    Repaint();
}

void TFloppy::SectorCopied(int sector) {
    ProgressBar1.SetPosition(ProgressBar1.Position() + 1);
    if (sector % kRepaintEvery == 0) RepaintAll();
}

void TFloppy::ShowBatchProgress(ULONGLONG copyStart, ULONGLONG verifyMs) {
    ui::app::ProcessPaintAndTimers();
    Timer1.SetEnabled(false);
    // Ticks can come late or merged while the thread is busy; the clock does not.
    const ULONGLONG elapsed = std::min<ULONGLONG>((Os().TickCount() - copyStart - verifyMs) / 1000, 0x7FFFFFFF);
    CopySeconds = std::max(CopySeconds, static_cast<int>(elapsed));
    // The rest of the bar stands for copybinFile.bat's copy, which takes as
    // long as the drive is slow: a drive that needed over a minute for the
    // raw copy gets the longer steps.
    const DWORD pause = CopySeconds <= kQuickCopySeconds ? kQuickStepMs : kSlowStepMs;
    for (int k = kDisketteImageSectors; k < kProgressEnd; ++k) {
        if (k % kRepaintEvery == 0) RepaintAll();
        ProgressBar1.SetPosition(ProgressBar1.Position() + 1);
        Os().Sleep(pause);
        ui::app::ProcessPaintAndTimers();
    }
}

}  // namespace kv
