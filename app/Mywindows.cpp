#include "Mywindows.h"

namespace kv {

namespace {
ui::FormStyle WindowStyle() {
    ui::FormStyle style{"TWindow", "Flash BIOS in Windows", 352, 280, 266, 174};
    style.font = ui::Font{11};
    return style;
}
}  // namespace

TWindow::TWindow(ui::TForm* owner) : TForm(WindowStyle(), owner) {}

}  // namespace kv
