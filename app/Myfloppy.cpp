#include "Myfloppy.h"

namespace kv {

TFloppy* Floppy = nullptr;

namespace {
ui::FormStyle FloppyStyle() {
    ui::FormStyle style{"TFloppy", "Create BIOS Flash Diskette", 360, 220, 281, 191};
    style.font = ui::Font{11};
    return style;
}
}  // namespace

TFloppy::TFloppy() : TForm(FloppyStyle(), nullptr) {
    Floppy = this;
    RunGuarded([this] { FormCreate(); });
}

TFloppy::~TFloppy() {
    if (Floppy == this) Floppy = nullptr;
}

void TFloppy::FormCreate() {}

}  // namespace kv
