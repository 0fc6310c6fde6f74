#include "forms/About.h"

#include "forms/control_ids.h"
#include "forms/pictures.h"

namespace kv {
namespace {

namespace id = ids::about;

ui::FormStyle AboutStyle() {
    ui::FormStyle style{"TAboutForm", "About KAVELTON", 429, 274, 325, 130};
    style.outerSize = true;
    style.sizeable = true;
    style.font = ui::Font{11};
    return style;
}

}  // namespace

TAboutForm::TAboutForm(ui::TForm* owner)
    : TForm(AboutStyle(), owner),
      Image1(*this, id::Image1, 15, 15, 64, 54, pictures::Logo()),
      Label2(nullptr, *this, id::Label2, 108, 48, " ", ui::Font{11}),
      Button1(*this, id::Button1, 232, 58, 75, 25, "OK", ui::Font{11}) {
    Button1.OnClick = [this] { Button1Click(); };
    SetDefaultButton(Button1);
    SetCancelButton(Button1);
    FocusControl(Button1);
}

void TAboutForm::Button1Click() { Close(); }

}  // namespace kv
