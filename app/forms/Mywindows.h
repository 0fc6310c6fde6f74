// The in-Windows flash dialog: starts the vendor's flasher with the chosen
// image and watches it, with whatever it starts, until all have gone. A new instance at
// each opening; closing it ends the watch (the flasher goes on).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "flash/flash_outcome.h"
#include "flash/flash_procedure.h"
#include "forms.h"

namespace kv {

class TWindow : public ui::TForm {
public:
    explicit TWindow(ui::TForm* owner);
    ~TWindow() override;

    ui::TComboBox ComboBox1;
    ui::TButton Button1;
    ui::TButton Button2;
    ui::TTimer Timer1;
    ui::TLabel Label1;
    ui::TLabel Label2;
    // Ticks since the last OK on which no flasher process was found.
    std::int32_t MissCount = 0;
    // 1 once a running flasher has been seen since the last OK.
    std::int32_t FlasherSeen = 0;

    void FormCreate();
    void Button1Click();
    void Timer1Timer();
    void Button2Click();

private:
    // How the flasher ended; its box is empty when it ended with code 0.
    static FlasherEnd FlasherEnded(RunningFlash* flash);

    // Gives a hold that is still needed to the main window.
    void HandOverHold();

    std::string runningVersion_;
    std::string image_;
    // From the start until the watch has read its outcome, or the main
    // window has taken it over.
    std::unique_ptr<RunningFlash> flash_;
    // True while an OK click or the watch's outcome is running: its boxes
    // have no owner, and a click under them must not start another run.
    bool inClick_ = false;
    // True while a tick is running (and perhaps showing its box): the box's
    // own message loop keeps delivering ticks, which must not nest.
    bool inTick_ = false;
};

}  // namespace kv
