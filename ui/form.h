// The form: a top-level window that owns its controls and timers,
// dispatches their clicks and ticks to named handlers, and shows itself
// modally in a nested message loop.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace kv::ui {

struct Font {
    int height = 11;  // character height in design pixels
    bool italic = false;
    bool bold = false;
    const char* face = "MS Sans Serif";
};

// Returns a font shared for the program's life (never deleted while in use).
HFONT GetFont(const Font& font);

// The framework's standard exception box: the message, OK, error icon.
void ShowException(const std::string& message);

class TControl;
class TTimer;

struct FormStyle {
    const char* className;
    std::string caption;
    int left, top;
    int width, height;        // client size, or outer size when outerSize is set
    bool outerSize = false;
    bool sizeable = false;    // sizeable frame instead of a fixed dialog frame
    bool appIcon = false;     // the program's icon on the caption and the taskbar
    Font font;
};

constexpr int mrNone = 0, mrCancel = 2;

class TForm {
public:
    virtual ~TForm();
    TForm(const TForm&) = delete;
    TForm& operator=(const TForm&) = delete;

    HWND Handle() const { return hwnd_; }
    bool Visible() const;

    void Show();
    void Hide();
    // Runs a nested message loop until Close(); every other form of the
    // program is disabled meanwhile.
    int ShowModal();
    // Modal: ends the showing. The application's main form: destroys it and
    // ends the message loop. Otherwise: hides the form.
    void Close();
    void Repaint();

    static TForm* FromHandle(HWND hwnd);

    // The control that has the keyboard focus when the form is next active;
    // at once when it is active now.
    void FocusControl(const TControl& control);

    // Work that the first sight of the form does not need: run once the
    // form is shown and painted, in order, each guarded like a handler.
    // Queued before Show(); a form that is never shown never runs it.
    void AfterFirstPaint(std::function<void()> work);

    // Asked when Windows wants to end the session: false keeps it running.
    // Unset: the session may end.
    std::function<bool()> OnQueryEndSession;

protected:
    TForm(const FormStyle& style, TForm* owner);
    const Font& FormFont() const { return font_; }
    // Runs a creation handler; an exception leaving it is shown in the
    // standard box and the form is created all the same.
    static void RunGuarded(const std::function<void()>& handler);

    std::function<void()> OnClose;  // called before the form closes by any route
    // Asked before the form closes by any route: false keeps it open.
    std::function<bool()> OnCloseQuery;

    // Pressed by Enter unless the focus is on another button.
    void SetDefaultButton(TControl& button);
    // Pressed by Escape; unset, Escape closes the form.
    void SetCancelButton(TControl& button) { cancel_ = &button; }

private:
    friend class TControl;
    friend class TTimer;
    static HINSTANCE Instance();
    static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);
    TControl* FindControl(HWND hwnd) const;
    TControl* FindControl(int id) const;
    void Register(TControl* control) { controls_.push_back(control); }
    void Unregister(TControl* control);
    void Register(TTimer* timer) { timers_.push_back(timer); }
    void Unregister(TTimer* timer);
    void PlaceOnScreen();
    void RestoreFocus();
    // Which button Enter presses: the focused one, else the default one.
    TControl* EnterButton() const;
    void PressCancel();

    RECT designed_{};  // the scaled place the form was designed at

    HWND hwnd_ = nullptr;
    TForm* owner_;
    Font font_;
    std::vector<TControl*> controls_;
    std::vector<TTimer*> timers_;
    TControl* default_ = nullptr;
    TControl* cancel_ = nullptr;
    // The focus to give back when the form is active again: deactivating,
    // or being disabled under a modal form, takes it away.
    HWND focus_ = nullptr;
    std::vector<std::function<void()>> afterFirstPaint_;
    int modalResult_ = mrNone;
    bool modal_ = false;
};

namespace app {
// Makes form the main form: closing it ends Run().
void SetMainForm(TForm* form);
TForm* MainForm();
// The message loop, until the main form closes.
void Run();
// Lets the window stay drawn and alive while a handler keeps the thread
// busy: handles paint and timer messages only, never input.
void ProcessPaintAndTimers();
}  // namespace app

}  // namespace kv::ui
