// How a run meets its user. The dialogs show message boxes (no owner,
// topmost); the unattended command line prints them and answers each
// question by its switches. Whoever runs a task passes one in: the answers
// are the caller's decision, never state of the program.
#pragma once

#include <windows.h>

#include <string>

namespace kv {

// The title of the in-Windows flash's boxes, shared by its checks.
inline constexpr char kFlashTitle[] = "Flash BIOS in windows";

// The questions a run can ask, so that an answer policy can tell them apart.
enum class Question {
    Version,            // the image is not newer, or the versions cannot be compared
    LowBattery,         // flash on a low battery?
    EncryptionUnknown,  // flash although drive encryption cannot be told?
    SuspendEncryption,  // suspend drive encryption for one restart?
    Restart,            // restart the system now?
    InsertUsbKey,       // is the USB key in?
    FormatDiskette,     // overwrite the diskette?
    SecureFolder,       // lock the install folder to administrators?
    FlashAgain,         // flash although a flashed update waits for its restart?
};

class Dialogue {
public:
    virtual ~Dialogue() = default;
    // A box with OK; style is its icon and flags. Logged.
    void Tell(const std::string& text, const std::string& title, UINT style) {
        Remember(text, style);
        OnTell(text, title, style);
    }
    // A Yes/No question; true for Yes. Logged with its answer.
    bool Ask(Question which, const std::string& text, const std::string& title, UINT style) {
        Remember(text, style);
        return OnAsk(which, text, title, style);
    }
    // What was said last, and its icon: the reason a run ended, for the
    // event log.
    const std::string& LastText() const { return lastText_; }
    UINT LastIcon() const { return lastStyle_ & MB_ICONMASK; }
    // Where the run meets its user, for the event log.
    virtual const char* Where() const = 0;

protected:
    virtual void OnTell(const std::string& text, const std::string& title, UINT style) = 0;
    virtual bool OnAsk(Question which, const std::string& text, const std::string& title, UINT style) = 0;

private:
    void Remember(const std::string& text, UINT style) {
        lastText_ = text;
        lastStyle_ = style;
    }
    std::string lastText_;
    UINT lastStyle_ = 0;
};

// The dialogs' dialogue: message boxes without an owner, always topmost.
class BoxDialogue final : public Dialogue {
public:
    const char* Where() const override { return "in its window"; }

protected:
    void OnTell(const std::string& text, const std::string& title, UINT style) override;
    bool OnAsk(Question which, const std::string& text, const std::string& title, UINT style) override;
};

// The one the dialogs share.
Dialogue& Boxes();

}  // namespace kv
