// The steps that the diskette, USB key and flash dialogs share: one run goes
// name check -> image exists -> target -> version question -> start -> wait
// -> outcome -> restart question, and stops at the first refusal. Each step
// shows its own box (no owner, topmost, the dialog's error title) and says
// whether the run may go on.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "checks/folder_trust.h"

#include "common/dialogue.h"
#include "common/events.h"
#include "platform.h"

namespace kv {

// Keeps a task from starting again while a run of it is in progress: the
// questions are message boxes without an owner, so the window under them
// keeps taking clicks, and a second click would nest a second run.
class RunGuard {
public:
    explicit RunGuard(bool& busy) : busy_(busy), entered_(!busy) { busy_ = true; }
    ~RunGuard() {
        if (entered_) busy_ = false;
    }
    RunGuard(const RunGuard&) = delete;
    RunGuard& operator=(const RunGuard&) = delete;
    // False when a run was already in progress: start nothing.
    bool Entered() const { return entered_; }
    // The run is over before the guard's scope ends: the dialog may close.
    void Leave() {
        if (entered_) busy_ = false;
        entered_ = false;
    }

private:
    bool& busy_;
    bool entered_;
};

// Whose rights a batch file runs with. One that works on a drive the user
// brought gets a standard user's: a link placed on it then reaches only what
// that user could change anyway.
enum class BatchRights { Ours, StandardUser };

class TaskSteps {
public:
    // errorTitle: the title of the dialog's error boxes; dialogue: how the
    // run shows them and asks its questions.
    explicit TaskSteps(const char* errorTitle, Dialogue& dialogue = Boxes())
        : errorTitle_(errorTitle), dialogue_(dialogue) {}

    void Error(const std::string& text) const;
    // An error box that ends the run before anything was written or started;
    // check names what refused it, for the event log.
    void Refuse(const char* check, const std::string& text) const;

    // The image is a plain file of C:\KAVELTON\ROM under exactly that name,
    // and matches its digest where the checksum list names it.
    bool ImageReady(const std::string& image) const;

    // The version question(s) against the running BIOS version.
    bool VersionAccepted(bool equalCaseQuestion, const std::string& runningVersion,
                         const std::string& image) const;

    // Starts a batch file of the install folder by its full path, hidden,
    // with the install folder as its current directory, so that its outcome
    // can be known. commandLine begins with batchName. With StandardUser,
    // nothing is started when those rights cannot be made.
    bool StartBatch(const std::string& batchName, const std::string& commandLine, OsHandle& process,
                    BatchRights rights = BatchRights::Ours) const;

    // After the dialog's own waiting steps: waits on for a batch file that
    // still runs (the windows stay drawn), up to kBatchGraceMs, then checks
    // that it ended with exit code 0.
    bool BatchSucceeded(const std::string& batchName, OsHandle& process) const;

    // The restart question; Yes restarts the one way there is (see
    // restart.h). True when the restart was started.
    bool RestartAccepted(const char* text, const char* title, const std::string& image) const;

    // The image and batch file checked so far, held from their check until
    // this run ends (or they are taken on by whatever runs longer).
    std::vector<HeldFile> TakeHeld() const { return std::move(held_); }
    // Holds a file of the install tree for this run; false, with an error
    // box, when it cannot be trusted.
    // missingIsFine: a file that is not there is left to its use to report.
    // handle: the held file's, for reading it; nullptr when it is not there.
    bool Hold(const std::string& path, const std::string& what, bool missingIsFine = false,
              HANDLE* handle = nullptr) const;

private:
    const char* errorTitle_;
    Dialogue& dialogue_;
    mutable std::vector<HeldFile> held_;
};

// How long a batch file may go on after the waiting steps have ended.
constexpr DWORD kBatchGraceMs = 120000;

}  // namespace kv
