// A thin form framework over Win32: forms own real child windows at their
// designed places, dispatch clicks and timer ticks to named handlers, and
// show themselves modally in a nested message loop.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kv::ui {

// Design units are pixels at 96 DPI; everything is scaled to the system DPI.
int Scale(int designPixels);

// The place for a window of this rect inside workArea: unchanged where it
// fits, otherwise moved just enough; a window larger than the area keeps
// its top left corner (and so its caption) inside.
RECT FitIntoWorkArea(const RECT& window, const RECT& workArea);

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

class TForm;

class TControl {
public:
    virtual ~TControl();
    TControl(const TControl&) = delete;
    TControl& operator=(const TControl&) = delete;

    HWND Handle() const { return hwnd_; }
    int Id() const { return id_; }

    std::string Text() const;
    virtual void SetText(const std::string& text);
    bool Visible() const;
    void SetVisible(bool visible);
    bool Enabled() const;
    void SetEnabled(bool enabled);
    void SetWidth(int designWidth);
    // Invalidate and update at once: the handler may keep the thread busy.
    void Repaint();

    std::function<void()> OnClick;

protected:
    TControl() = default;
    // Creates the child window inside container (or the form itself).
    void Create(TForm& form, TControl* container, int id, const char* windowClass, DWORD style,
                DWORD exStyle, int left, int top, int width, int height, const std::string& text,
                const Font& font);

    TForm* form_ = nullptr;
    HWND hwnd_ = nullptr;
    int id_ = 0;
    int designLeft_ = 0, designTop_ = 0, designHeight_ = 0;

    friend class TForm;
    virtual bool DrawItem(const DRAWITEMSTRUCT&) { return false; }
    virtual HBRUSH ColorStatic(HDC) { return nullptr; }
    virtual void Notify(WORD) {}
};

class TLabel : public TControl {
public:
    // Width and height of 0 size the label to its text (auto size).
    TLabel(TControl* container, TForm& form, int id, int left, int top, const std::string& caption,
           const Font& font, COLORREF color = CLR_INVALID, int width = 0, int height = 0);
    void SetText(const std::string& text) override;
    // An auto-sized label grows at most this wide (design pixels) and ends
    // a longer text with an ellipsis; 0 lets it grow freely.
    void SetMaxWidth(int designWidth);

private:
    HBRUSH ColorStatic(HDC dc) override;
    void AutoSize();
    COLORREF color_;
    bool autoSize_;
    int maxWidth_ = 0;
    Font font_;
};

class TGroupBox : public TControl {
public:
    TGroupBox(TForm& form, int id, int left, int top, int width, int height,
              const std::string& caption, const Font& font);
};

// A flat button: no keyboard focus, frame drawn only while the mouse is
// over it, an optional picture left of the caption.
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

class TButton : public TControl {
public:
    TButton(TForm& form, int id, int left, int top, int width, int height,
            const std::string& caption, const Font& font);
};

// Editable drop-down list; the dialogs always work on its edit text.
class TComboBox : public TControl {
public:
    TComboBox(TForm& form, int id, int left, int top, int width, int height,
              const std::string& text, const Font& font, int itemHeight = 16);
    void Clear();  // items and text
    void AddItem(const std::string& item);
    int ItemCount() const;
    std::string Item(int index) const;

private:
    // Completes typed text from the items, as the user types forward.
    void Notify(WORD code) override;
    std::size_t typedLength_ = 0;
};

class TProgressBar : public TControl {
public:
    TProgressBar(TForm& form, int id, int left, int top, int width, int height, int min, int max,
                 bool visible);
    void SetMax(int max);
    int Position() const;
    void SetPosition(int position);
};

class TImage : public TControl {
public:
    TImage(TForm& form, int id, int left, int top, int width, int height, HBITMAP picture);
    ~TImage() override;

private:
    bool DrawItem(const DRAWITEMSTRUCT& item) override;
    HBITMAP picture_;
};

// A window timer owned by a form; ticks arrive as WM_TIMER on the form.
class TTimer {
public:
    TTimer(TForm& form, UINT_PTR id, UINT intervalMs = 1000);
    ~TTimer();
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    std::function<void()> OnTimer;

private:
    friend class TForm;
    TForm& form_;
    UINT_PTR id_;
    UINT interval_;
    bool enabled_ = false;
};

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

private:
    friend class TControl;
    friend class TTimer;
    friend class TLabel;
    friend class TSpeedButton;
    friend class TGroupBox;
    static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);
    TControl* FindControl(HWND hwnd) const;
    TControl* FindControl(int id) const;
    void Register(TControl* control) { controls_.push_back(control); }
    void Unregister(TControl* control);
    void Register(TTimer* timer) { timers_.push_back(timer); }
    void Unregister(TTimer* timer);
    void PlaceOnScreen();

    RECT designed_{};  // the scaled place the form was designed at

    HWND hwnd_ = nullptr;
    TForm* owner_;
    Font font_;
    std::vector<TControl*> controls_;
    std::vector<TTimer*> timers_;
    int modalResult_ = mrNone;
    bool modal_ = false;
};

// Forwards the notifications of a container (group box) to its form.
void ForwardToForm(HWND container);

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
