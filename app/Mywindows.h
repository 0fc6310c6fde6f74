// The in-Windows flash dialog: a new instance at each opening.
#pragma once

#include "forms.h"

namespace kv {

class TWindow : public ui::TForm {
public:
    explicit TWindow(ui::TForm* owner);
};

}  // namespace kv
