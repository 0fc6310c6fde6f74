// The diskette creation dialog: one instance for the whole run.
#pragma once

#include "forms.h"

namespace kv {

class TFloppy : public ui::TForm {
public:
    TFloppy();
    ~TFloppy() override;
    void FormCreate();
};

extern TFloppy* Floppy;

}  // namespace kv
