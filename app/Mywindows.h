// The in-Windows flash dialog: starts the vendor's flasher with the chosen
// image and watches the process list until it has gone. A new instance at
// each opening; closing it ends the watch (the flasher goes on).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "flash_checks.h"
#include "flash_hold.h"
#include "forms.h"
#include "platform.h"

namespace kv {

// The longest image name typed into the box that the dialog hands to the
// flasher: the command line then stays below 200 characters and the image
// path well inside MAX_PATH.
constexpr std::size_t kMaxTypedImageName = 128;

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
    // Empty when the flasher ended with code 0; otherwise the error to show.
    std::string FlasherFailure();

    // Gives a hold that is still needed to the main window.
    void HandOverHold();

    std::string runningVersion_;
    std::string image_;
    std::unique_ptr<DriveEncryption> encryption_;
    std::unique_ptr<FlashHold> hold_;
    // The flasher this dialog started, while its result is still to be read.
    OsHandle flasher_;
    // True while an OK click or the watch's outcome is running: its boxes
    // have no owner, and a click under them must not start another run.
    bool inClick_ = false;
    // True while a tick is running (and perhaps showing its box): the box's
    // own message loop keeps delivering ticks, which must not nest.
    bool inTick_ = false;
};

}  // namespace kv
