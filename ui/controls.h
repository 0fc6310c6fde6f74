// The controls a form places: real child windows at their designed places,
// each reached through its member, and the form's timers.
#pragma once

#include <windows.h>

#include <cstddef>
#include <functional>
#include <string>

#include "form.h"

namespace kv::ui {

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
    // Tab goes from previous to this control; null makes it the first.
    void SetTabOrderAfter(const TControl* previous);
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
    // Shows that Enter presses it, where the control has such a look.
    virtual void BecomeDefault() {}
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

class TButton : public TControl {
public:
    TButton(TForm& form, int id, int left, int top, int width, int height,
            const std::string& caption, const Font& font);

private:
    void BecomeDefault() override;
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

// Forwards the notifications of a container (group box) to its form.
void ForwardToForm(HWND container);

}  // namespace kv::ui
