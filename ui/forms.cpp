#include "forms.h"

#include <commctrl.h>

#include <algorithm>
#include <exception>
#include <map>
#include <tuple>

#include "platform.h"

namespace kv::ui {
namespace {

HINSTANCE Instance() { return ::GetModuleHandleA(nullptr); }

int SystemDpi() {
    static const int dpi = [] {
        HDC dc = ::GetDC(nullptr);
        const int value = dc ? ::GetDeviceCaps(dc, LOGPIXELSY) : 96;
        if (dc) ::ReleaseDC(nullptr, dc);
        return value > 0 ? value : 96;
    }();
    return dpi;
}

TForm* g_mainForm = nullptr;
// Every form alive, so that a modal showing can disable all the others.
std::vector<TForm*> g_forms;

// Runs a handler; an escaping exception is shown in the standard box rather
// than unwinding through the window system.
template <typename F>
void Guarded(F&& f) {
    try {
        f();
    } catch (const std::exception& e) {
        ShowException(e.what());
    } catch (...) {
        ShowException("");
    }
}

void PumpOne(MSG& msg) {
    HWND root = msg.hwnd ? ::GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    if (root && ::IsDialogMessageA(root, &msg)) return;
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
}

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

int Scale(int designPixels) { return ::MulDiv(designPixels, SystemDpi(), 96); }

RECT FitIntoWorkArea(const RECT& window, const RECT& workArea) {
    const auto fit = [](LONG start, LONG size, LONG areaStart, LONG areaEnd) {
        if (start + size > areaEnd) start = areaEnd - size;
        return std::max(start, areaStart);
    };
    const LONG width = window.right - window.left, height = window.bottom - window.top;
    const LONG left = fit(window.left, width, workArea.left, workArea.right);
    const LONG top = fit(window.top, height, workArea.top, workArea.bottom);
    return RECT{left, top, left + width, top + height};
}

HFONT GetFont(const Font& font) {
    static std::map<std::tuple<int, bool, bool, std::string>, HFONT> cache;
    auto key = std::make_tuple(font.height, font.italic, font.bold, std::string(font.face));
    auto it = cache.find(key);
    if (it != cache.end()) return it->second;
    HFONT f = ::CreateFontA(-Scale(font.height), 0, 0, 0, font.bold ? FW_BOLD : FW_NORMAL,
                            font.italic, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                            CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS,
                            font.face);
    cache.emplace(key, f);
    return f;
}

void ShowException(const std::string& message) {
    kv::Os().ShowMessage(message, "Kavelton", MB_OK | MB_ICONERROR | MB_TOPMOST);
}

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
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), Instance(),
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

void TControl::Repaint() {
    ::InvalidateRect(hwnd_, nullptr, TRUE);
    ::UpdateWindow(hwnd_);
}

// ---- TLabel ---------------------------------------------------------------

namespace {
// What a left-aligned static control draws with: its own font and these
// DrawText flags. Measured any other way (GetTextExtentPoint32 with another
// font) the width can come out a pixel short, and the control then wraps or
// cuts the last letter.
constexpr UINT kLabelTextFlags = DT_LEFT | DT_EXPANDTABS | DT_WORDBREAK | DT_NOPREFIX;

// One memory DC for all measuring, kept for the program's life: it maps
// fonts as the screen does, and a DC per label would cost a round trip to
// the window system each time.
HDC MeasuringDC() {
    static HDC dc = ::CreateCompatibleDC(nullptr);
    return dc;
}

// The text's advance can be narrower than its ink: the last glyph of an
// italic reaches past it, and the hinted glyphs of a substituted face (Wine
// draws "MS Sans Serif" with a TrueType face) add up wider than the
// unhinted sum. So the text is drawn once, as the control will draw it,
// and the last column that takes ink counts too.
LONG InkWidth(HDC dc, const std::string& text, LONG width, LONG height) {
    const LONG room = width + height;  // an overhang is never wider than a line is high
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = room;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap || !bits) {
        if (bitmap) ::DeleteObject(bitmap);
        return width;
    }
    HGDIOBJ old = ::SelectObject(dc, bitmap);
    auto* pixels = static_cast<DWORD*>(bits);
    std::fill_n(pixels, static_cast<size_t>(room) * height, 0xFFFFFFu);
    ::SetTextColor(dc, RGB(0, 0, 0));
    ::SetBkMode(dc, TRANSPARENT);
    RECT r{0, 0, room, height};
    ::DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &r, kLabelTextFlags);
    ::GdiFlush();
    LONG last = -1;
    for (LONG y = 0; y < height; ++y)
        for (LONG x = room - 1; x > last; --x)
            if ((pixels[y * room + x] & 0xFFFFFFu) != 0xFFFFFFu) {
                last = x;
                break;
            }
    ::SelectObject(dc, old);
    ::DeleteObject(bitmap);
    return std::max(width, last + 1);
}

SIZE MeasureLabelText(HWND label, const std::string& text) {
    HDC dc = MeasuringDC();
    HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageA(label, WM_GETFONT, 0, 0)));
    RECT r{0, 0, 0x7FFF, 0};  // one line: room enough that nothing breaks
    ::DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &r, kLabelTextFlags | DT_CALCRECT);
    TEXTMETRICA tm{};
    ::GetTextMetricsA(dc, &tm);
    const LONG height = std::max<LONG>(r.bottom - r.top, tm.tmHeight);
    const LONG width = text.empty() ? 0 : InkWidth(dc, text, r.right - r.left, height);
    ::SelectObject(dc, old);
    return SIZE{width, height};
}
}  // namespace

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

// ---- TSpeedButton ---------------------------------------------------------

TSpeedButton::TSpeedButton(TControl* container, TForm& form, int id, int left, int top,
                           int width, int height, const std::string& caption, const Font& font,
                           HBITMAP picture)
    : picture_(picture) {
    Create(form, container, id, "BUTTON", WS_VISIBLE | BS_OWNERDRAW, 0, left, top, width, height,
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
    case WM_SETFOCUS:
        // A flat button never keeps the keyboard focus.
        if (wp && ::IsWindow(reinterpret_cast<HWND>(wp))) ::SetFocus(reinterpret_cast<HWND>(wp));
        return 0;
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
    return true;
}

// ---- TButton, TComboBox, TProgressBar, TImage -----------------------------

TButton::TButton(TForm& form, int id, int left, int top, int width, int height,
                 const std::string& caption, const Font& font) {
    Create(form, nullptr, id, "BUTTON", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, left, top,
           width, height, caption, font);
}

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

// ---- TForm ----------------------------------------------------------------

TForm::TForm(const FormStyle& style, TForm* owner) : owner_(owner), font_(style.font) {
    g_forms.push_back(this);
    static bool commonControls = [] {
        INITCOMMONCONTROLSEX init{sizeof init, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
        return ::InitCommonControlsEx(&init) != FALSE;
    }();
    (void)commonControls;

    WNDCLASSEXA wc{};
    if (!::GetClassInfoExA(Instance(), style.className, &wc)) {
        wc = {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = WindowProc;
        wc.hInstance = Instance();
        wc.hCursor = ::LoadCursor(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = style.className;
        // Only the main window wears the program's icon; dialogs keep
        // their plain frame, and Wine would draw a class icon on it.
        wc.hIcon = style.appIcon ? ::LoadIconA(Instance(), MAKEINTRESOURCEA(1)) : nullptr;
        ::RegisterClassExA(&wc);
    }

    DWORD ws = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    DWORD exStyle = WS_EX_CONTROLPARENT;
    if (style.sizeable)
        ws |= WS_THICKFRAME;
    else
        exStyle |= WS_EX_DLGMODALFRAME;
    RECT r{0, 0, Scale(style.width), Scale(style.height)};
    if (!style.outerSize) ::AdjustWindowRectEx(&r, ws, FALSE, exStyle);
    hwnd_ = ::CreateWindowExA(exStyle, style.className, style.caption.c_str(), ws,
                              Scale(style.left), Scale(style.top), r.right - r.left,
                              r.bottom - r.top, owner ? owner->Handle() : nullptr, nullptr,
                              Instance(), this);
    if (style.appIcon) {
        // Each size drawn for it rather than one scaled down; shared icons
        // belong to the system and need no release.
        for (auto [which, cx, cy] : {std::tuple{ICON_BIG, SM_CXICON, SM_CYICON},
                                     std::tuple{ICON_SMALL, SM_CXSMICON, SM_CYSMICON}}) {
            HANDLE icon = ::LoadImageA(Instance(), MAKEINTRESOURCEA(1), IMAGE_ICON,
                                       ::GetSystemMetrics(cx), ::GetSystemMetrics(cy), LR_SHARED);
            ::SendMessageA(hwnd_, WM_SETICON, which, reinterpret_cast<LPARAM>(icon));
        }
    } else if (!style.sizeable) {
        // A dialog frame without the window icon.
        ::SendMessageA(hwnd_, WM_SETICON, ICON_SMALL, 0);
        ::SendMessageA(hwnd_, WM_SETICON, ICON_BIG, 0);
    }
    if (hwnd_) {
        ::GetWindowRect(hwnd_, &designed_);
        PlaceOnScreen();
    }
}

// The designed place where the screen holds it. A form other than the main
// one keeps its designed place relative to the main form (or its owner), so
// a dialog that opens over the main window stays over it when that moved.
void TForm::PlaceOnScreen() {
    RECT target = designed_;
    const TForm* anchor = owner_ ? owner_ : g_mainForm;
    if (anchor && anchor != this && anchor->hwnd_ && ::IsWindowVisible(anchor->hwnd_)) {
        RECT now{};
        ::GetWindowRect(anchor->hwnd_, &now);
        ::OffsetRect(&target, now.left - anchor->designed_.left, now.top - anchor->designed_.top);
    }
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (!::GetMonitorInfoA(::MonitorFromRect(&target, MONITOR_DEFAULTTONEAREST), &monitor)) return;
    const RECT place = FitIntoWorkArea(target, monitor.rcWork);
    RECT current{};
    ::GetWindowRect(hwnd_, &current);
    if (place.left != current.left || place.top != current.top)
        ::SetWindowPos(hwnd_, nullptr, place.left, place.top, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

TForm::~TForm() {
    for (TTimer* timer : timers_) ::KillTimer(hwnd_, timer->id_);
    if (hwnd_ && ::IsWindow(hwnd_)) {
        ::SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
        ::DestroyWindow(hwnd_);
    }
    if (g_mainForm == this) g_mainForm = nullptr;
    g_forms.erase(std::remove(g_forms.begin(), g_forms.end(), this), g_forms.end());
}

void TForm::RunGuarded(const std::function<void()>& handler) { Guarded(handler); }

TForm* TForm::FromHandle(HWND hwnd) {
    return reinterpret_cast<TForm*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
}

bool TForm::Visible() const { return ::IsWindowVisible(hwnd_) != FALSE; }

void TForm::Show() {
    if (!::IsWindowVisible(hwnd_)) PlaceOnScreen();
    ::ShowWindow(hwnd_, SW_SHOW);
    ::UpdateWindow(hwnd_);
}

void TForm::Hide() { ::ShowWindow(hwnd_, SW_HIDE); }

int TForm::ShowModal() {
    // As the platform's own modal dialogs do, but for every other window of
    // the program, not only the owner: a form without one (the diskette
    // dialog) must not leave the main window taking clicks under it.
    std::vector<HWND> disabled;
    for (TForm* form : g_forms) {
        HWND other = form->hwnd_;
        if (form == this || !other || !::IsWindow(other) || !::IsWindowEnabled(other)) continue;
        ::EnableWindow(other, FALSE);
        disabled.push_back(other);
    }
    modal_ = true;
    modalResult_ = mrNone;
    Show();
    ::SetForegroundWindow(hwnd_);
    MSG msg;
    while (modalResult_ == mrNone && ::IsWindow(hwnd_)) {
        const BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0) {
            ::PostQuitMessage(static_cast<int>(msg.wParam));  // let the outer loop end too
            break;
        }
        if (got < 0) break;
        PumpOne(msg);
    }
    // Give the others back their input before this window hides, so that
    // the activation returns to the owner; only those this showing disabled.
    for (HWND other : disabled)
        if (::IsWindow(other)) ::EnableWindow(other, TRUE);
    if (::IsWindow(hwnd_)) Hide();
    modal_ = false;
    return modalResult_ == mrNone ? mrCancel : modalResult_;
}

void TForm::Close() {
    if (OnCloseQuery && !OnCloseQuery()) return;
    if (OnClose) OnClose();
    if (modal_) {
        modalResult_ = mrCancel;
    } else if (g_mainForm == this) {
        ::DestroyWindow(hwnd_);
    } else {
        Hide();
    }
}

void TForm::Repaint() {
    ::RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

TControl* TForm::FindControl(HWND hwnd) const {
    for (TControl* c : controls_)
        if (c->Handle() == hwnd) return c;
    return nullptr;
}

TControl* TForm::FindControl(int id) const {
    for (TControl* c : controls_)
        if (c->Id() == id) return c;
    return nullptr;
}

void TForm::Unregister(TControl* control) {
    controls_.erase(std::remove(controls_.begin(), controls_.end(), control), controls_.end());
}

void TForm::Unregister(TTimer* timer) {
    timers_.erase(std::remove(timers_.begin(), timers_.end(), timer), timers_.end());
}

LRESULT CALLBACK TForm::WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lp);
        auto* form = static_cast<TForm*>(create->lpCreateParams);
        form->hwnd_ = hwnd;
        ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    TForm* form = FromHandle(hwnd);
    if (!form) return ::DefWindowProcA(hwnd, msg, wp, lp);
    return form->HandleMessage(msg, wp, lp);
}

LRESULT TForm::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_COMMAND:
        if (lp && HIWORD(wp) == BN_CLICKED) {
            TControl* control = FindControl(reinterpret_cast<HWND>(lp));
            if (control && control->OnClick) Guarded(control->OnClick);
            return 0;
        }
        if (lp) {
            if (TControl* control = FindControl(reinterpret_cast<HWND>(lp)))
                Guarded([&] { control->Notify(HIWORD(wp)); });
        }
        break;
    case WM_DRAWITEM: {
        auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(lp);
        TControl* control = FindControl(item->hwndItem);
        if (control && control->DrawItem(*item)) return TRUE;
        break;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
        TControl* control = FindControl(reinterpret_cast<HWND>(lp));
        if (control)
            if (HBRUSH brush = control->ColorStatic(reinterpret_cast<HDC>(wp)))
                return reinterpret_cast<LRESULT>(brush);
        ::SetBkMode(reinterpret_cast<HDC>(wp), TRANSPARENT);
        return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_TIMER:
        for (TTimer* timer : timers_) {
            if (timer->id_ == wp) {
                if (timer->enabled_ && timer->OnTimer) Guarded(timer->OnTimer);
                return 0;
            }
        }
        break;
    case WM_CLOSE:
        Guarded([this] { Close(); });
        return 0;
    case WM_QUERYENDSESSION:
        if (OnQueryEndSession) return OnQueryEndSession() ? TRUE : FALSE;
        break;
    case WM_DESTROY:
        if (g_mainForm == this) ::PostQuitMessage(0);
        break;
    }
    return ::DefWindowProcA(hwnd_, msg, wp, lp);
}

// ---- application ----------------------------------------------------------

namespace app {

void SetMainForm(TForm* form) { g_mainForm = form; }
TForm* MainForm() { return g_mainForm; }

void Run() {
    MSG msg;
    while (g_mainForm && ::IsWindow(g_mainForm->Handle())) {
        const BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
        if (got <= 0) break;
        PumpOne(msg);
    }
}

void ProcessPaintAndTimers() {
    MSG msg;
    // Bounded: a window that never validates must not trap the caller here.
    for (int i = 0; i < 64 && ::PeekMessageA(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE); ++i)
        ::DispatchMessageA(&msg);
    for (int i = 0; i < 16 && ::PeekMessageA(&msg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE); ++i)
        ::DispatchMessageA(&msg);
}

}  // namespace app

}  // namespace kv::ui
