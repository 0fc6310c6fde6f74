// The USB key creation dialog: a new instance at each opening.
#pragma once

#include <string>

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

private:
    // The drive and image as typed or picked: false, with the refusal's box,
    // for anything the key's command line cannot take.
    bool TypedTextsUsable(const std::string& typedDrive, const std::string& image) const;
    // The list's spelling of a typed drive that the last scan found, or "".
    std::string ScannedDrive(const std::string& typed) const;

    bool running_ = false;
};

}  // namespace kv
