// The USB key creation dialog: a new instance at each opening.
#pragma once

#include "forms.h"

namespace kv {

class TUSB : public ui::TForm {
public:
    explicit TUSB(ui::TForm* owner);
};

}  // namespace kv
