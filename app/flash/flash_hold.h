// Keeps the machine from sleeping and the session from ending by mistake
// while the BIOS flasher runs: the execution state, a shutdown block reason
// on the holding window, and a refusal of WM_QUERYENDSESSION. Everything is
// released when the holder ends. A step the platform refuses is logged and
// the others hold all the same.
#pragma once

#include "forms.h"

namespace kv {

class FlashHold {
public:
    // holder must outlive the hold, or the hold must move first.
    explicit FlashHold(ui::TForm& holder);
    ~FlashHold();
    FlashHold(const FlashHold&) = delete;
    FlashHold& operator=(const FlashHold&) = delete;

    // Moves the block reason and the session refusal to another window, as
    // when the main window takes over from a dialog that closes.
    void MoveTo(ui::TForm& holder);

private:
    void Block(ui::TForm& holder);
    void Unblock();

    ui::TForm* holder_ = nullptr;
    bool reasonSet_ = false;
    bool stateSet_ = false;
};

}  // namespace kv
