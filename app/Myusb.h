// The USB key creation dialog: a new instance at each opening.
#pragma once

#include "forms.h"

namespace kv {

class TUSB : public ui::TForm {
public:
    explicit TUSB(ui::TForm* owner);

    ui::TLabel Label1, Label2;
    // Created in tab order: Button1, ComboBox1, Button2, ProgressBar1, ComboBox2.
    ui::TButton Button1;
    ui::TComboBox ComboBox1;
    ui::TButton Button2;
    ui::TProgressBar ProgressBar1;
    ui::TComboBox ComboBox2;

    void Button2Click();
    void FormCreate();
    void Button1Click();
};

}  // namespace kv
