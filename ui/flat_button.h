#pragma once

#include "controls.h"

namespace kv::ui {

// A flat button: frame drawn only while the mouse is over it, an optional
// picture left of the caption. A tab stop: the focused one wears the
// system's focus rectangle once the keyboard is in use, and Space or Enter
// press it as a click does.
class TSpeedButton : public TControl {
public:
    TSpeedButton(TControl* container, TForm& form, int id, int left, int top, int width, int height,
                 const std::string& caption, const Font& font, HBITMAP picture = nullptr);
    ~TSpeedButton() override;

private:
    bool DrawItem(const DRAWITEMSTRUCT& item) override;
    static LRESULT CALLBACK SubclassProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    HBITMAP picture_;
    bool hot_ = false;
};

}  // namespace kv::ui
