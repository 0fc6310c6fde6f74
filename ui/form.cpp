#include "form.h"

#include <commctrl.h>

#include <algorithm>
#include <exception>
#include <map>
#include <tuple>

#include "controls.h"
#include "placement.h"
#include "platform.h"

namespace kv::ui {
namespace {

TForm* g_mainForm = nullptr;
constexpr UINT kRunAfterFirstPaint = WM_APP + 0x4B;
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

// Focus rectangles stay hidden until the keyboard is used in a window, as
// in every dialog of Windows.
void ShowKeyboardCues(HWND root) {
    if (::SendMessageA(root, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS)
        ::SendMessageA(root, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
}

// The dialog manager gives every form Tab and Shift+Tab, Enter for the
// default button (DM_GETDEFID) and Escape (IDCANCEL): keyboard handling in
// one place for every loop.
void PumpOne(MSG& msg) {
    HWND root = msg.hwnd ? ::GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    if (root && (msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN)) ShowKeyboardCues(root);
    if (root && ::IsDialogMessageA(root, &msg)) return;
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
}

}  // namespace

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

// ---- TForm ----------------------------------------------------------------

HINSTANCE TForm::Instance() { return ::GetModuleHandleA(nullptr); }

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
    MoveIntoWorkArea(hwnd_, target);
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
    if (!::IsWindowVisible(hwnd_)) {
        PlaceOnScreen();
        // Cues shown when the keyboard opened the form, hidden after a click.
        ::SendMessageA(hwnd_, WM_CHANGEUISTATE, MAKEWPARAM(UIS_INITIALIZE, UISF_HIDEFOCUS | UISF_HIDEACCEL), 0);
    }
    ::ShowWindow(hwnd_, SW_SHOW);
    ::UpdateWindow(hwnd_);
    // UpdateWindow has drawn the form and its controls by now; the work
    // waits for the message loop, so it never delays what is seen.
    if (!afterFirstPaint_.empty()) ::PostMessageA(hwnd_, kRunAfterFirstPaint, 0, 0);
}

void TForm::AfterFirstPaint(std::function<void()> work) { afterFirstPaint_.push_back(std::move(work)); }

void TForm::Hide() { ::ShowWindow(hwnd_, SW_HIDE); }

int TForm::ShowModal() {
    // As the platform's own modal dialogs do, but for every other window of
    // the program, not only the owner: a form without one (the diskette
    // dialog) must not leave the main window taking clicks under it.
    std::vector<HWND> disabled;
    // Disabling a form takes its focus away before it is deactivated: keep
    // the control (the button that opened this one) to give it back.
    if (HWND focus = ::GetFocus()) {
        HWND root = ::GetAncestor(focus, GA_ROOT);
        for (TForm* form : g_forms)
            if (form->hwnd_ == root && focus != root) form->focus_ = focus;
    }
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

void TForm::FocusControl(const TControl& control) {
    focus_ = control.Handle();
    if (::GetActiveWindow() == hwnd_) ::SetFocus(focus_);
}

void TForm::SetDefaultButton(TControl& button) {
    default_ = &button;
    button.BecomeDefault();
}

void TForm::RestoreFocus() {
    auto usable = [this](HWND h) {
        return h && ::IsWindow(h) && ::IsChild(hwnd_, h) && ::IsWindowEnabled(h) && ::IsWindowVisible(h);
    };
    HWND target = usable(focus_) ? focus_ : ::GetNextDlgTabItem(hwnd_, nullptr, FALSE);
    ::SetFocus(usable(target) ? target : hwnd_);
}

TControl* TForm::EnterButton() const {
    HWND focus = ::GetFocus();
    TControl* focused = FindControl(focus);
    if (focused && (::SendMessageA(focus, WM_GETDLGCODE, 0, 0) & DLGC_BUTTON)) return focused;
    if (default_ && default_->Enabled() && ::IsWindowVisible(default_->Handle())) return default_;
    return nullptr;
}

// Escape does what the cancel button does, and only when it could be clicked.
void TForm::PressCancel() {
    if (!cancel_) {
        Close();
    } else if (cancel_->Enabled() && ::IsWindowVisible(cancel_->Handle()) && cancel_->OnClick) {
        cancel_->OnClick();
    }
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
    case DM_GETDEFID:
        if (TControl* button = EnterButton()) return MAKELRESULT(button->Id(), DC_HASDEFID);
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wp) == WA_INACTIVE) {
            HWND focus = ::GetFocus();
            if (focus && ::IsChild(hwnd_, focus)) focus_ = focus;
        } else if (!HIWORD(wp)) {
            RestoreFocus();
            return 0;
        }
        break;
    case WM_COMMAND:
        // The dialog manager's Escape names no control.
        if (!lp && LOWORD(wp) == IDCANCEL) {
            Guarded([this] { PressCancel(); });
            return 0;
        }
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
    case kRunAfterFirstPaint: {
        std::vector<std::function<void()>> work;
        work.swap(afterFirstPaint_);
        for (const auto& step : work) Guarded(step);
        return 0;
    }
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
