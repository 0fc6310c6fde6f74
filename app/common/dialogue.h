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
};

class Dialogue {
public:
    virtual ~Dialogue() = default;
    // A box with OK; style is its icon and flags. Logged.
    virtual void Tell(const std::string& text, const std::string& title, UINT style) = 0;
    // A Yes/No question; true for Yes. Logged with its answer.
    virtual bool Ask(Question which, const std::string& text, const std::string& title, UINT style) = 0;
};

// The dialogs' dialogue: message boxes without an owner, always topmost.
class BoxDialogue final : public Dialogue {
public:
    void Tell(const std::string& text, const std::string& title, UINT style) override;
    bool Ask(Question which, const std::string& text, const std::string& title, UINT style) override;
};

// The one the dialogs share.
Dialogue& Boxes();

}  // namespace kv
