#include "flash/flash_procedure.h"

#include "checks/power.h"
#include "checks/signature.h"
#include "commands.h"
#include "common/events.h"
#include "common/install_paths.h"
#include "common/run_log.h"
#include "tasks/task_steps.h"
#include "tasks/update_result.h"

namespace kv {
namespace {

const char kInProgress[] =
    "A BIOS flash is in progress!\nWait until WinFlash64.exe has ended before you start another one.";
const char kCannotTell[] =
    "The running programs can not be listed, so it can not be told whether a BIOS flash is in "
    "progress!\nNothing was started.";

std::string LockRefusal(LockTaken taken, const FlashMutex& lock) {
    switch (taken) {
    case LockTaken::NameTaken:
        return "Another program has taken the name of the flash lock, " + lock.Name() +
               ", so it can not be told whether a BIOS flash is in progress!\nNothing was started. Restart "
               "Windows and try again; if this comes back, tell your administrator.";
    case LockTaken::Unavailable:
        return "The flash lock can not be taken (error " + std::to_string(lock.Error()) +
               "), so it can not be told whether a BIOS flash is in progress!\nNothing was started.";
    case LockTaken::Yes:
    case LockTaken::HeldElsewhere:
        break;
    }
    return kInProgress;
}

}  // namespace

RunningFlash::RunningFlash(ui::TForm& holder, std::unique_ptr<FlashMutex> mutex,
                           std::unique_ptr<DriveEncryption> encryption)
    : mutex_(std::move(mutex)), encryption_(std::move(encryption)), hold_(std::make_unique<FlashHold>(holder)) {
    RegisterHeldFlash(this);
}

RunningFlash::~RunningFlash() {
    UnregisterHeldFlash(this);
    LetGo();
}

bool RunningFlash::StillRunningAfter(DWORD ms) {
    if (!process_.Valid()) {
        // Not ours: held while anyone's is listed.
        if (ms) Os().Sleep(ms);
        return FindFlasher() != FlasherListing::NotFound;
    }
    bool justEnded = false;
    if (!firstEnded_) {
        const DWORD wait = Os().WaitForProcess(process_.get(), ms);
        if (wait == WAIT_TIMEOUT) return true;
        justEnded = firstEnded_ = wait == WAIT_OBJECT_0;
    } else if (ms) {
        Os().Sleep(ms);
    }
    DWORD active = 0;
    if (job_.Valid() && Os().JobActiveProcesses(job_.get(), &active)) {
        DWORD code = 0;
        if (justEnded && active > 0 && Os().ProcessExitCode(process_.get(), &code))
            Log(std::string(kFlashTitle) + ": WinFlash64.exe ended with exit code " + std::to_string(code) +
                "; the flash goes on while the programs it started run");
        return active > 0;
    }
    if (job_.Valid() && !countFailed_) {
        countFailed_ = true;
        Log(std::string(kFlashTitle) + ": the processes of the flasher's job cannot be counted, error " +
            std::to_string(Os().LastError()) + "; it is watched by its first process and the process list");
    }
    // No count, and the first process has ended or cannot be watched: held
    // while anyone's is listed.
    return FindFlasher() != FlasherListing::NotFound;
}

FlashResult FinishFlash(RunningFlash& flash, DWORD* code) {
    while (flash.StillRunningAfter(100)) ui::app::ProcessPaintAndTimers();
    return flash.Result(code);
}

void RunningFlash::LetGo() {
    hold_.reset();
    mutex_.reset();
}

FlashResult RunningFlash::Result(DWORD* code) {
    *code = 0;
    const bool known = process_.Valid() && Os().ProcessExitCode(process_.get(), code) && *code != STILL_ACTIVE;
    process_.Close();
    held_.clear();
    if (!known) {
        Log(std::string(kFlashTitle) + ": the result of WinFlash64.exe cannot be read");
        return FlashResult::Unknown;
    }
    Log(std::string(kFlashTitle) + ": WinFlash64.exe ended with exit code " + std::to_string(*code));
    return *code == 0 ? FlashResult::Succeeded : FlashResult::Failed;
}

void RunningFlash::ResumeEncryption() {
    if (encryption_) encryption_->Resume();
}

void RunningFlash::MoveHoldTo(ui::TForm& holder) {
    if (hold_) hold_->MoveTo(holder);
}

bool NoFlashInProgress(Dialogue& dialogue) {
    switch (FindFlasher()) {
    case FlasherListing::Found:
        dialogue.Tell(kInProgress, kFlashTitle, MB_ICONERROR);
        return false;
    case FlasherListing::Unknown:
        dialogue.Tell(kCannotTell, kFlashTitle, MB_ICONERROR);
        return false;
    case FlasherListing::NotFound:
        break;
    }
    return true;
}

FlashStart StartFlash(const FlashRequest& request, Dialogue& dialogue, ui::TForm& holder) {
    FlashStart start;
    // The steps of the shared task steps report their own refusals.
    auto refuse = [&start, &dialogue](FlashStep step, const char* check = nullptr) {
        if (check) EventRefused(kFlashTitle, check, dialogue);
        start.refused = step;
        return std::move(start);
    };
    if (request.board != BoardCheck::Matches) return refuse(FlashStep::Board);
    const TaskSteps run(kFlashTitle, dialogue);
    // Until the restart the BIOS reports the old version, so every check
    // below would pass again for the image that was just flashed.
    if (const auto pending = PendingUpdate();
        pending && !dialogue.Ask(Question::FlashAgain,
                                 PendingText(*pending) + "\n\nFlashing again before the restart writes the BIOS "
                                                         "once more.\nDo you want to flash the BIOS again now?",
                                 kFlashTitle, MB_ICONWARNING))
        return refuse(FlashStep::Pending);
    const std::string& image = request.image;
    if (image.empty()) {
        run.Refuse("BIOS file", "Please select one BIOS!");
        return refuse(FlashStep::Name);
    }
    // The name goes into a command line unquoted: anything that would add
    // arguments, commands or another folder is refused before any question.
    if (!core::UsableImageName(image, core::ImageUse::Flash)) {
        run.Refuse("BIOS file", "This BIOS file name can not be used!\nPlease select a file of the folder "
                                "C:\\KAVELTON\\ROM,\nwithout path, blanks or special characters.");
        return refuse(FlashStep::Name);
    }
    if (!run.ImageReady(image)) return refuse(FlashStep::Image);
    // Held from the check until the flash has ended, so that what starts is
    // what was checked. One that is not there fails to start, as it always
    // did.
    HANDLE flasher = nullptr;
    if (!run.Hold(kFlasherPath, kFlasherExe, true, &flasher)) return refuse(FlashStep::Image);
    const bool missing = flasher == nullptr;
    const DWORD flasherMissing = ERROR_FILE_NOT_FOUND;
    if (!missing && !FlasherSignatureAccepted(flasher, kFlashTitle, dialogue))
        return refuse(FlashStep::Signature, "signature");
    if (!run.VersionAccepted(true, request.runningVersion, image)) return refuse(FlashStep::Version);
    if (!CheckPower(dialogue)) return refuse(FlashStep::Power, "power");
    // Last of the questions, because a suspension changes the system.
    auto encryption = std::make_unique<DriveEncryption>(dialogue);
    if (!encryption->Check(SystemDrive(), request.encryptionRestarts)) return refuse(FlashStep::Encryption, "drive encryption");

    // Another run may have started a flasher while the questions were up:
    // look again, under the mutex that keeps any other from starting now.
    auto mutex = std::make_unique<FlashMutex>();
    const LockTaken taken = mutex->Take();
    if (taken != LockTaken::Yes) dialogue.Tell(LockRefusal(taken, *mutex), kFlashTitle, MB_ICONERROR);
    if (taken != LockTaken::Yes || !NoFlashInProgress(dialogue)) {
        encryption->Resume();
        return refuse(FlashStep::InProgress, "flash in progress");
    }

    // From the start until the flasher has ended, nothing may sleep or end
    // the session by mistake.
    start.flash = std::make_unique<RunningFlash>(holder, std::move(mutex), std::move(encryption));
    start.flash->held_ = run.TakeHeld();
    const std::string command = core::FlasherCommand(image);
    Platform::JobStart job;
    if (!missing && Os().StartInJob(kFlasherPath, command, SW_SHOW, kInstallFolder, job)) {
        Log(std::string(kFlashTitle) + ": started " + command);
        if (!job.job)
            Log(std::string(kFlashTitle) + ": no job can hold the flasher, error " + std::to_string(job.jobError) +
                "; it is watched by its own process and the process list");
        start.flash->process_.Reset(job.process);
        start.flash->job_.Reset(job.job);
        return start;
    }
    start.startError = missing ? flasherMissing : Os().LastError();
    EventNotStarted(kFlashTitle, kFlasherExe, start.startError, dialogue);
    Log(std::string(kFlashTitle) + ": " + command + " could not be started, error " + std::to_string(start.startError));
    // No flash, no restart: the drive's protection comes back at once.
    start.flash->ResumeEncryption();
    start.refused = FlashStep::Start;
    return start;
}

}  // namespace kv
