#include "Myusb.h"

namespace kv {

namespace {
ui::FormStyle UsbStyle() {
    ui::FormStyle style{"TUSB", "Create BIOS Flash Penlet", 369, 233, 284, 227};
    style.font = ui::Font{11};
    return style;
}
}  // namespace

TUSB::TUSB(ui::TForm* owner) : TForm(UsbStyle(), owner) {}

}  // namespace kv
