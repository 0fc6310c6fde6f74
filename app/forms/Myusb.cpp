#include "forms/Myusb.h"

#include <string>

#include "checks/encryption.h"
#include "checks/image_checksum.h"
#include "checks/power.h"
#include "commands.h"
#include "forms/control_ids.h"
#include "forms/Main.h"
#include "platform.h"
#include "tasks/catalogue.h"
#include "tasks/task_steps.h"

namespace kv {

namespace {

namespace id = ids::usb;
using ui::Font;

const Font kText13{13};
const char kTitle[] = "Create Flash BIOS Penlet";
constexpr int kAnimationSteps = 220;
constexpr DWORD kStepMs = 24;

ui::FormStyle UsbStyle() {
    ui::FormStyle style{"TUSB", "Create BIOS Flash Penlet", 369, 233, 284, 227};
    style.font = Font{11};
    return style;
}

void Error(const std::string& text) { TaskSteps(kTitle).Error(text); }
void Refuse(const char* check, const std::string& text) { TaskSteps(kTitle).Refuse(check, text); }

}  // namespace

TUSB::TUSB(ui::TForm* owner)
    : TForm(UsbStyle(), owner),
      Label1(nullptr, *this, id::Label1, 28, 11, "Please select USB disk:  ", kText13, CLR_INVALID,
             150, 16),
      Label2(nullptr, *this, id::Label2, 28, 83, "Please select BIOS file:  ", kText13,
             CLR_INVALID, 145, 16),
      Button1(*this, id::Button1, 28, 182, 75, 25, "OK", kText13),
      ComboBox1(*this, id::ComboBox1, 28, 35, 199, 24, "", kText13, 16),
      Button2(*this, id::Button2, 156, 182, 75, 25, "Close", kText13),
      ProgressBar1(*this, id::ProgressBar1, 26, 151, 223, 17, 0, kAnimationSteps, false),
      ComboBox2(*this, id::ComboBox2, 28, 110, 199, 24, "", kText13, 16) {
    Button1.OnClick = [this] { Button1Click(); };
    Button2.OnClick = [this] { Button2Click(); };
    SetDefaultButton(Button1);
    SetCancelButton(Button2);
    // The boxes of a run have no owner: the dialog must not close under its
    // own question, whose Yes would then go on without it.
    OnCloseQuery = [this] { return !running_; };
    RunGuarded([this] { FormCreate(); });
}

void TUSB::Button2Click() { Close(); }

void TUSB::FormCreate() {
    ComboBox1.Clear();
    ProgressBar1.SetWidth(240);
    if (MainForm) {
        // The main window never keeps more than its records.
        int count = MainForm->USBDriveCount;
        if (count > usb::kMaxRecords) count = usb::kMaxRecords;
        for (int i = 0; i < count; ++i) ComboBox1.AddItem(MainForm->USBDrive[i]);
        ComboBox1.SetText(MainForm->USBDrive[0]);
    }
    if (FillImageCatalogue(ComboBox2) == 0)
        Error("Please put rom flash files under \n the folder  C:\\KAVELTON\\ROM!");
}

void TUSB::Button1Click() {
    RunGuard guard(running_);
    if (!guard.Entered()) return;
    const TaskSteps run(kTitle);

    const std::string typedDrive = ComboBox1.Text();
    const std::string image = ComboBox2.Text();
    if (!TypedTextsUsable(typedDrive, image) || !run.ImageReady(image)) return;
    // A vendor's ToUSB.bat may prepare the whole key: it gets only a drive
    // that the scan found, and never the system drive, which a scan that
    // matches disks by size alone can list.
    const std::string drive = ScannedDrive(typedDrive);
    if (drive.empty()) {
        Refuse("USB disk", "The drive " + typedDrive + " was not found as a USB disk!\nPlease select a USB disk "
              "from the list.");
        return;
    }
    // The Windows folder is always known on a running system; without it the
    // scan list alone decides.
    if (core::EqualIgnoringCase(drive, SystemDrive())) {
        Refuse("USB disk", "The drive " + drive + " is the system drive!\nPlease select a USB disk.");
        return;
    }

    Button1.SetVisible(true);
    Button2.SetVisible(true);
    ProgressBar1.SetVisible(false);
    ProgressBar1.SetPosition(0);

    if (!run.VersionAccepted(false, RunningBiosVersion(), image)) return;

    Button1.SetVisible(false);
    Button2.SetVisible(false);
    ProgressBar1.SetVisible(true);
    OsHandle batch;
    // The key is the user's: links on it must reach no further than the user.
    if (!run.StartBatch("ToUSB.bat", core::UsbKeyCommand(drive, image), batch, BatchRights::StandardUser)) {
        ProgressBar1.SetVisible(false);
        Button1.SetVisible(true);
        Button2.SetVisible(true);
        return;
    }

    // The animation outlasts the five seconds after which Windows calls a
    // window "Not Responding": keep it drawn between steps, taking no input.
    for (int step = 0; step < kAnimationSteps; ++step) {
        ProgressBar1.SetPosition(ProgressBar1.Position() + 1);
        Os().Sleep(kStepMs);
        ui::app::ProcessPaintAndTimers();
    }

    const bool copied = run.BatchSucceeded("ToUSB.bat", batch);
    ProgressBar1.SetPosition(0);
    Button1.SetVisible(true);
    Button2.SetVisible(true);
    if (!copied) return;

    EventWritten(kTitle, image, drive);
    if (run.RestartAccepted(" Successful! Restart system to update BIOS?\nSave & Close opened files "
                            "before restarting.",
                            "Create Flash BIOS diskette ", image))
        return;
    guard.Leave();
    Close();
}

bool TUSB::TypedTextsUsable(const std::string& typedDrive, const std::string& image) const {
    if (typedDrive.empty()) {
        Refuse("USB disk", "Please select one USB disk!");
        return false;
    }
    if (image.empty()) {
        Refuse("BIOS file", "Please select one bin files!");
        return false;
    }
    // Both texts may be typed, and both end up in a command line that the
    // command processor runs: refuse anything that could change its meaning
    // or not fit the command buffer, before anything is asked or started.
    if (!core::IsDriveText(typedDrive)) {
        Refuse("USB disk", "Please select a USB disk as a drive letter and a colon, for example E:!");
        return false;
    }
    if (!core::UsableImageName(image, core::ImageUse::UsbKey)) {
        Refuse("BIOS file", "Please select a BIOS file by its plain file name from C:\\KAVELTON\\ROM!");
        return false;
    }
    if (!core::UsbKeyCommandFits(typedDrive, image)) {
        Refuse("BIOS file", "The name of the BIOS file is too long!");
        return false;
    }
    return true;
}

std::string TUSB::ScannedDrive(const std::string& typed) const {
    // The typed text is a drive text already: an item equal to it is one too.
    for (int i = 0; i < ComboBox1.ItemCount(); ++i)
        if (core::EqualIgnoringCase(ComboBox1.Item(i), typed)) return ComboBox1.Item(i);
    return {};
}

}  // namespace kv
