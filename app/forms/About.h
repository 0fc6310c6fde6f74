#pragma once

#include "forms.h"

namespace kv {

class TAboutForm : public ui::TForm {
public:
    explicit TAboutForm(ui::TForm* owner);

    ui::TImage Image1;
    ui::TLabel Label2;
    ui::TButton Button1;

    void Button1Click();
};

}  // namespace kv
