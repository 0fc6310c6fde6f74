// One in-Windows flash, for the flash dialog and the command line alike:
// StartFlash makes the checks in their order and starts the flasher; the
// RunningFlash it gives owns everything the flash holds (the flasher's
// process and job, the flash mutex, the hold against sleep and the end of
// the session, a suspension of drive encryption) until the flash has ended.
// The dialog polls it from its watch; the command line waits on it.
//
// The flash is the flasher's job, not its first process: many flashers
// start a launcher, an elevated copy or the chipset's own flasher and leave.
// It runs while the job has a process. Programs started through UAC or a
// service are outside any job and not seen.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "checks/encryption.h"
#include "checks/folder_trust.h"
#include "checks/flash_in_progress.h"
#include "checks/system_info.h"
#include "common/dialogue.h"
#include "flash/flash_hold.h"
#include "flash/flash_mutex.h"
#include "forms.h"
#include "platform.h"

namespace kv {

struct FlashRequest {
    std::string image;
    std::string runningVersion;
    BoardCheck board = BoardCheck::NoSystemId;  // the caller has told the user
    int encryptionRestarts = 1;                 // how many restarts a suspension lasts
};

// The check that stopped a flash, or Start when the flasher did not start.
enum class FlashStep { None, Board, Pending, Name, Image, Signature, Version, Power, Encryption, InProgress, Start };

enum class FlashResult { Succeeded, Failed, Unknown };

struct FlashStart;

class RunningFlash final : public HeldFlash {
public:
    RunningFlash(ui::TForm& holder, std::unique_ptr<FlashMutex> mutex, std::unique_ptr<DriveEncryption> encryption);
    ~RunningFlash() override;
    RunningFlash(const RunningFlash&) = delete;
    RunningFlash& operator=(const RunningFlash&) = delete;

    // False when the flasher could not be started.
    bool Started() const { return process_.Valid(); }
    // Ours while its job has a process (before the job is counted, while the
    // first process runs); without a job or its count, while the first
    // process runs or a flasher is listed.
    bool Running() override { return StillRunningAfter(0); }
    // Waits up to ms for it to end; true while it still runs.
    bool StillRunningAfter(DWORD ms);
    void LetGo() override;
    // Once it has ended: the first process's exit code into *code, and to
    // the log.
    FlashResult Result(DWORD* code);
    // Only for a flasher that cannot have written anything: it never started,
    // or had ended before the watch first looked. After a flasher ran, the
    // suspension ends by itself at the restart that completes the update;
    // resuming before it would ask for the recovery key.
    void ResumeEncryption();
    void MoveHoldTo(ui::TForm& holder);

private:
    // Only the procedure hands it the flasher it started.
    friend FlashStart StartFlash(const FlashRequest& request, Dialogue& dialogue, ui::TForm& holder);
    std::unique_ptr<FlashMutex> mutex_;
    std::unique_ptr<DriveEncryption> encryption_;
    std::unique_ptr<FlashHold> hold_;
    OsHandle process_;
    OsHandle job_;
    bool firstEnded_ = false;
    bool countFailed_ = false;  // logged once
    // The flasher and its image, held since their checks until the flash
    // has ended.
    std::vector<HeldFile> held_;
};

struct FlashStart {
    FlashStep refused = FlashStep::None;
    DWORD startError = 0;  // refused at Start: why the flasher did not start
    // From the hold on; also when the start itself failed, so that the watch
    // reports it as it always did.
    std::unique_ptr<RunningFlash> flash;
};

// Board, no flashed update waiting for its restart (or asked), name, image
// (exists, trusted, checksum), the flasher's signature, version, power,
// encryption, no flash in progress, hold, start. Each refusal has told the
// user through dialogue. holder is the window that holds off the session's
// end meanwhile.
FlashStart StartFlash(const FlashRequest& request, Dialogue& dialogue, ui::TForm& holder);

// Waits for the flasher to end, keeping this thread's windows answered (the
// holding window refuses the session's end meanwhile), and gives its result.
FlashResult FinishFlash(RunningFlash& flash, DWORD* code);

// True when no flash is in progress; otherwise tells why on dialogue.
bool NoFlashInProgress(Dialogue& dialogue);

}  // namespace kv
