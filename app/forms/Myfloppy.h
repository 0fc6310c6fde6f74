// The diskette creation dialog: one instance for the whole run. It writes
// the start of fdd.imz raw onto the diskette in A: (or B:) and starts the
// batch file that copies the chosen BIOS image onto it.
#pragma once

#include <windows.h>

#include <string>

#include "forms.h"

namespace kv {

class TFloppy : public ui::TForm {
public:
    TFloppy();
    ~TFloppy() override;

    ui::TSpeedButton OnCreateDisk, OnExit;
    ui::TComboBox ComboBox1;
    ui::TLabel Label1, Label2, Label3;
    ui::TProgressBar ProgressBar1;
    ui::TTimer Timer1;

    void OnExitClick();
    void FormCreate();
    void OnCreateDiskClick();
    void Timer1Timer();

    // The whole seconds the last copy took, as the pause choice saw them.
    int CopySecondsCounted() const { return CopySeconds; }

private:
    void ShowBusy();
    // Ends a failed run: the user gets the buttons back.
    void GiveBackButtons();
    void RepaintAll();
    void SectorCopied(int sector);
    // The bar's run while copybinFile.bat copies, paced by how long the raw
    // copy took (without its read-back).
    void ShowBatchProgress(ULONGLONG copyStart, ULONGLONG verifyMs);

    int CopySeconds = 0;
    bool running_ = false;
};

extern TFloppy* Floppy;

}  // namespace kv
