#include "flat_button.h"

#include <commctrl.h>

#include "placement.h"

namespace kv::ui {

TSpeedButton::TSpeedButton(TControl* container, TForm& form, int id, int left, int top,
                           int width, int height, const std::string& caption, const Font& font,
                           HBITMAP picture)
    : picture_(picture) {
    Create(form, container, id, "BUTTON", WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW, 0, left, top, width, height,
           caption, font);
    ::SetWindowSubclass(hwnd_, SubclassProc, 0, reinterpret_cast<DWORD_PTR>(this));
}

TSpeedButton::~TSpeedButton() {
    if (hwnd_ && ::IsWindow(hwnd_)) ::RemoveWindowSubclass(hwnd_, SubclassProc, 0);
    if (picture_) ::DeleteObject(picture_);
}

LRESULT CALLBACK TSpeedButton::SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR,
                                            DWORD_PTR data) {
    auto* self = reinterpret_cast<TSpeedButton*>(data);
    switch (msg) {
    case WM_MOUSEMOVE:
        if (!self->hot_) {
            self->hot_ = true;
            TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, hwnd, 0};
            ::TrackMouseEvent(&track);
            ::InvalidateRect(hwnd, nullptr, FALSE);
        }
        break;
    case WM_MOUSELEAVE:
        self->hot_ = false;
        ::InvalidateRect(hwnd, nullptr, FALSE);
        break;
    case WM_UPDATEUISTATE:
        // The button control repaints itself on focus changes only.
        ::InvalidateRect(hwnd, nullptr, FALSE);
        break;
    }
    return ::DefSubclassProc(hwnd, msg, wp, lp);
}

bool TSpeedButton::DrawItem(const DRAWITEMSTRUCT& item) {
    HDC dc = item.hDC;
    RECT r = item.rcItem;
    ::FillRect(dc, &r, ::GetSysColorBrush(COLOR_BTNFACE));
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;
    if (pressed)
        ::DrawEdge(dc, &r, BDR_SUNKENOUTER, BF_RECT);
    else if (hot_ && !disabled)
        ::DrawEdge(dc, &r, BDR_RAISEDINNER, BF_RECT);

    const std::string caption = Text();
    HGDIOBJ oldFont = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageA(hwnd_, WM_GETFONT, 0, 0)));

    // Beside a caption the picture sits at the left margin, and the caption,
    // whose blanks are part of the design, is centred across the whole
    // button. Without a caption the picture is centred, so that a picture
    // nearly as wide as its button is not cut off on the right.
    if (picture_) {
        BITMAP bm{};
        ::GetObjectA(picture_, sizeof bm, &bm);
        const int width = Scale(bm.bmWidth), height = Scale(bm.bmHeight);
        HDC memory = ::CreateCompatibleDC(dc);
        HGDIOBJ oldBitmap = ::SelectObject(memory, picture_);
        const int left = caption.empty() ? (r.right - r.left - width) / 2 : Scale(8);
        const int x = r.left + left + (pressed ? 1 : 0);
        const int y = r.top + (r.bottom - r.top - height) / 2 + (pressed ? 1 : 0);
        // Magenta marks the transparent parts of our pictures.
        ::GdiTransparentBlt(dc, x, y, width, height, memory, 0, 0, bm.bmWidth, bm.bmHeight,
                         RGB(255, 0, 255));
        ::SelectObject(memory, oldBitmap);
        ::DeleteDC(memory);
    }
    RECT textRect = r;
    if (pressed) ::OffsetRect(&textRect, 1, 1);
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, ::GetSysColor(disabled ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
    ::DrawTextA(dc, caption.c_str(), static_cast<int>(caption.size()), &textRect,
                DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    ::SelectObject(dc, oldFont);
    const bool hideFocus = (item.itemState & ODS_NOFOCUSRECT) ||
                           (::SendMessageA(hwnd_, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS);
    if ((item.itemState & ODS_FOCUS) && !hideFocus) {
        RECT focus = r;
        ::InflateRect(&focus, -3, -3);  // inside the edge that hover and press draw
        ::DrawFocusRect(dc, &focus);
    }
    return true;
}

}  // namespace kv::ui
