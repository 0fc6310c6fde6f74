#include "controls.h"

#include <commctrl.h>

#include <algorithm>

#include "label_ink.h"
#include "placement.h"

namespace kv::ui {
namespace {

LRESULT CALLBACK ForwardProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR) {
    switch (msg) {
    case WM_COMMAND:
    case WM_DRAWITEM:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
        if (HWND form = ::GetAncestor(hwnd, GA_ROOT)) return ::SendMessageA(form, msg, wp, lp);
        break;
    case WM_ERASEBKGND: {
        // A group box holding its own controls must paint its inside.
        RECT r{};
        ::GetClientRect(hwnd, &r);
        ::FillRect(reinterpret_cast<HDC>(wp), &r, ::GetSysColorBrush(COLOR_BTNFACE));
        return TRUE;
    }
    case WM_NCDESTROY:
        ::RemoveWindowSubclass(hwnd, ForwardProc, 0);
        break;
    }
    return ::DefSubclassProc(hwnd, msg, wp, lp);
}

}  // namespace

void ForwardToForm(HWND container) { ::SetWindowSubclass(container, ForwardProc, 0, 0); }

// ---- TControl -------------------------------------------------------------

TControl::~TControl() {
    if (form_) form_->Unregister(this);
    if (hwnd_ && ::IsWindow(hwnd_)) ::DestroyWindow(hwnd_);
}

void TControl::Create(TForm& form, TControl* container, int id, const char* windowClass,
                      DWORD style, DWORD exStyle, int left, int top, int width, int height,
                      const std::string& text, const Font& font) {
    form_ = &form;
    id_ = id;
    designLeft_ = left;
    designTop_ = top;
    designHeight_ = height;
    HWND parent = container ? container->Handle() : form.Handle();
    hwnd_ = ::CreateWindowExA(exStyle, windowClass, text.c_str(), WS_CHILD | style, Scale(left),
                              Scale(top), Scale(width), Scale(height), parent,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), TForm::Instance(),
                              nullptr);
    ::SendMessageA(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(GetFont(font)), FALSE);
    form.Register(this);
}

std::string TControl::Text() const {
    const int length = ::GetWindowTextLengthA(hwnd_);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    const int got = ::GetWindowTextA(hwnd_, text.data(), length + 1);
    text.resize(static_cast<size_t>(std::max(got, 0)));
    return text;
}

void TControl::SetText(const std::string& text) { ::SetWindowTextA(hwnd_, text.c_str()); }

bool TControl::Visible() const { return (::GetWindowLongA(hwnd_, GWL_STYLE) & WS_VISIBLE) != 0; }

void TControl::SetVisible(bool visible) { ::ShowWindow(hwnd_, visible ? SW_SHOWNA : SW_HIDE); }

bool TControl::Enabled() const { return ::IsWindowEnabled(hwnd_) != FALSE; }

void TControl::SetEnabled(bool enabled) { ::EnableWindow(hwnd_, enabled ? TRUE : FALSE); }

void TControl::SetWidth(int designWidth) {
    RECT r{};
    ::GetWindowRect(hwnd_, &r);
    ::SetWindowPos(hwnd_, nullptr, 0, 0, Scale(designWidth), r.bottom - r.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// The dialog manager tabs in Z order; moving there changes no place or size.
void TControl::SetTabOrderAfter(const TControl* previous) {
    ::SetWindowPos(hwnd_, previous ? previous->Handle() : HWND_TOP, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void TControl::Repaint() {
    ::InvalidateRect(hwnd_, nullptr, TRUE);
    ::UpdateWindow(hwnd_);
}

// ---- TLabel ---------------------------------------------------------------

TLabel::TLabel(TControl* container, TForm& form, int id, int left, int top,
               const std::string& caption, const Font& font, COLORREF color, int width,
               int height)
    : color_(color), autoSize_(width == 0), font_(font) {
    Create(form, container, id, "STATIC", WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 0, left, top,
           width, height, caption, font);
    if (autoSize_) AutoSize();
}

void TLabel::SetText(const std::string& text) {
    TControl::SetText(text);
    if (autoSize_) AutoSize();
    Repaint();
}

void TLabel::SetMaxWidth(int designWidth) {
    const int previous = maxWidth_;
    maxWidth_ = designWidth;
    // The static control ends a text that overruns its width with "...".
    LONG style = ::GetWindowLongA(hwnd_, GWL_STYLE) & ~SS_ELLIPSISMASK;
    if (designWidth > 0) style |= SS_ENDELLIPSIS;
    ::SetWindowLongA(hwnd_, GWL_STYLE, style);
    if (autoSize_) {
        RECT r{};
        ::GetClientRect(hwnd_, &r);
        // Measuring costs a drawing of the text: only when more room may
        // show more of it; a smaller room just cuts the width.
        if (previous > 0 && (designWidth == 0 || designWidth > previous))
            AutoSize();
        else if (designWidth > 0 && r.right > Scale(designWidth))
            ::SetWindowPos(hwnd_, nullptr, 0, 0, Scale(designWidth), r.bottom,
                           SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    Repaint();
}

void TLabel::AutoSize() {
    SIZE size = MeasureLabelText(hwnd_, Text());
    if (maxWidth_ > 0) size.cx = std::min<LONG>(size.cx, Scale(maxWidth_));
    ::SetWindowPos(hwnd_, nullptr, 0, 0, size.cx, size.cy,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HBRUSH TLabel::ColorStatic(HDC dc) {
    ::SetBkMode(dc, TRANSPARENT);
    if (color_ != CLR_INVALID) ::SetTextColor(dc, color_);
    return ::GetSysColorBrush(COLOR_BTNFACE);
}

// ---- TGroupBox ------------------------------------------------------------

TGroupBox::TGroupBox(TForm& form, int id, int left, int top, int width, int height,
                     const std::string& caption, const Font& font) {
    Create(form, nullptr, id, "BUTTON", WS_VISIBLE | BS_GROUPBOX, WS_EX_CONTROLPARENT, left, top,
           width, height, caption, font);
    ForwardToForm(hwnd_);
}

// ---- TButton, TComboBox, TProgressBar, TImage -----------------------------

TButton::TButton(TForm& form, int id, int left, int top, int width, int height,
                 const std::string& caption, const Font& font) {
    Create(form, nullptr, id, "BUTTON", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, left, top,
           width, height, caption, font);
}

void TButton::BecomeDefault() { ::SendMessageA(hwnd_, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE); }

TComboBox::TComboBox(TForm& form, int id, int left, int top, int width, int height,
                     const std::string& text, const Font& font, int itemHeight) {
    // The window height of a drop-down combo box includes its list.
    Create(form, nullptr, id, "COMBOBOX",
           WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL, 0, left, top,
           width, height + 8 * itemHeight, text, font);
    ::SendMessageA(hwnd_, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), Scale(height) - 6);
    ::SendMessageA(hwnd_, CB_SETITEMHEIGHT, 0, Scale(itemHeight));
    ::SetWindowTextA(hwnd_, text.c_str());
}

void TComboBox::Clear() {
    ::SendMessageA(hwnd_, CB_RESETCONTENT, 0, 0);
    ::SetWindowTextA(hwnd_, "");
}

void TComboBox::AddItem(const std::string& item) {
    ::SendMessageA(hwnd_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
}

int TComboBox::ItemCount() const {
    return static_cast<int>(::SendMessageA(hwnd_, CB_GETCOUNT, 0, 0));
}

std::string TComboBox::Item(int index) const {
    const LRESULT length = ::SendMessageA(hwnd_, CB_GETLBTEXTLEN, index, 0);
    if (length == CB_ERR) return {};
    std::string text(static_cast<size_t>(length) + 1, '\0');
    ::SendMessageA(hwnd_, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(length));
    return text;
}

void TComboBox::Notify(WORD code) {
    if (code != CBN_EDITUPDATE) return;
    const std::string typed = Text();
    const bool forward = typed.size() > typedLength_;
    typedLength_ = typed.size();
    if (!forward || typed.empty()) return;  // deleting must not bring the text back
    const LRESULT found =
        ::SendMessageA(hwnd_, CB_FINDSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(typed.c_str()));
    if (found == CB_ERR) return;
    const std::string item = Item(static_cast<int>(found));
    if (item.size() <= typed.size()) return;
    // Keep what was typed, add the rest of the item selected so that the
    // next key replaces it.
    ::SetWindowTextA(hwnd_, (typed + item.substr(typed.size())).c_str());
    ::SendMessageA(hwnd_, CB_SETEDITSEL, 0, MAKELPARAM(typed.size(), -1));
}

TProgressBar::TProgressBar(TForm& form, int id, int left, int top, int width, int height,
                           int min, int max, bool visible) {
    Create(form, nullptr, id, PROGRESS_CLASSA, (visible ? WS_VISIBLE : 0) | PBS_SMOOTH, 0, left,
           top, width, height, "", Font{});
    ::SendMessageA(hwnd_, PBM_SETRANGE32, min, max);
    ::SendMessageA(hwnd_, PBM_SETSTEP, 1, 0);
}

void TProgressBar::SetMax(int max) {
    const int min = static_cast<int>(::SendMessageA(hwnd_, PBM_GETRANGE, TRUE, 0));
    ::SendMessageA(hwnd_, PBM_SETRANGE32, min, max);
}

int TProgressBar::Position() const {
    return static_cast<int>(::SendMessageA(hwnd_, PBM_GETPOS, 0, 0));
}

void TProgressBar::SetPosition(int position) {
    ::SendMessageA(hwnd_, PBM_SETPOS, position, 0);
}

TImage::TImage(TForm& form, int id, int left, int top, int width, int height, HBITMAP picture)
    : picture_(picture) {
    Create(form, nullptr, id, "STATIC", WS_VISIBLE | SS_OWNERDRAW, 0, left, top, width, height,
           "", Font{});
}

TImage::~TImage() {
    if (picture_) ::DeleteObject(picture_);
}

bool TImage::DrawItem(const DRAWITEMSTRUCT& item) {
    RECT r = item.rcItem;
    ::FillRect(item.hDC, &r, ::GetSysColorBrush(COLOR_BTNFACE));
    if (!picture_) return true;
    BITMAP bm{};
    ::GetObjectA(picture_, sizeof bm, &bm);
    HDC memory = ::CreateCompatibleDC(item.hDC);
    HGDIOBJ old = ::SelectObject(memory, picture_);
    // Drawn transparent at its own size and cut to the frame.
    const int width = std::min(Scale(bm.bmWidth), static_cast<int>(r.right - r.left));
    const int height = std::min(Scale(bm.bmHeight), static_cast<int>(r.bottom - r.top));
    const int srcWidth = ::MulDiv(width, bm.bmWidth, Scale(bm.bmWidth));
    const int srcHeight = ::MulDiv(height, bm.bmHeight, Scale(bm.bmHeight));
    ::GdiTransparentBlt(item.hDC, r.left, r.top, width, height, memory, 0, 0, srcWidth, srcHeight,
                     RGB(255, 0, 255));
    ::SelectObject(memory, old);
    ::DeleteDC(memory);
    return true;
}

// ---- TTimer ---------------------------------------------------------------

TTimer::TTimer(TForm& form, UINT_PTR id, UINT intervalMs)
    : form_(form), id_(id), interval_(intervalMs) {
    form_.Register(this);
}

TTimer::~TTimer() {
    SetEnabled(false);
    form_.Unregister(this);
}

void TTimer::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    if (enabled)
        ::SetTimer(form_.Handle(), id_, interval_, nullptr);
    else
        ::KillTimer(form_.Handle(), id_);
}

}  // namespace kv::ui
