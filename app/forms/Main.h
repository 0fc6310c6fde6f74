// The main window: system information, the model check and the task buttons.
#pragma once

#include <memory>
#include <string>

#include "flash/flash_procedure.h"
#include "forms.h"
#include "usb_records.h"

namespace kv {

using ui::TForm;

class TMainForm : public TForm {
public:
    TMainForm();
    ~TMainForm() override;

    ui::TGroupBox GroupBox1;
    ui::TLabel Label1, Label2, Label3, Label4;
    ui::TLabel labPrdName, labManufacture, labBIOSVersion, labBIOSDate;
    ui::TGroupBox GroupBox2;
    ui::TSpeedButton OnFloppy, OnUSB, OnWinFlash, OnLogo, OnExit;
    ui::TLabel labWarning;
    ui::TSpeedButton SpeedButton1;

    // The running BIOS version, read once at start.
    std::string BIOSVersion;
    // The USB drives of the last scan that found one: records of a letter,
    // a colon and a zero byte.
    char USBDrive[usb::kMaxRecords][usb::kRecordBytes] = {};
    int USBDriveCount = 0;

    void FormCreate();
    void OnFloppyClick();
    void OnUSBClick();
    void OnWinFlashClick();
    void SpeedButton1Click();
    void OnLogoClick();
    void OnExitClick();

    // Keeps a flash after its dialog has closed, until the flasher has ended
    // (looked at once a second).
    void TakeOverFlash(std::unique_ptr<RunningFlash> flash);
    bool HoldsFlash() const { return flash_ != nullptr; }
    void HoldTimerTimer();

private:
    // True while a task button's handler runs, prompts included.
    bool taskBusy_ = false;
    std::unique_ptr<RunningFlash> flash_;
    ui::TTimer HoldTimer;
    std::unique_ptr<ui::AccessibleName> logoName_;
};

extern TMainForm* MainForm;

// The running BIOS version as the main window read it; empty without one.
const std::string& RunningBiosVersion();

// Starts the program: main window, diskette dialog, message loop.
int RunKavelton();

}  // namespace kv
