#include "flash/flash_procedure.h"

#include "checks/power.h"
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
    if (process_.Valid()) {
        const DWORD wait = Os().WaitForProcess(process_.get(), ms);
        if (wait == WAIT_TIMEOUT) return true;
        if (wait == WAIT_OBJECT_0) return false;
    } else if (ms) {
        Os().Sleep(ms);
    }
    // Not ours, or ours cannot be watched: held while anyone's is listed.
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
    if (!run.VersionAccepted(true, request.runningVersion, image)) return refuse(FlashStep::Version);
    if (!CheckPower(dialogue)) return refuse(FlashStep::Power, "power");
    // Last of the questions, because a suspension changes the system.
    auto encryption = std::make_unique<DriveEncryption>(dialogue);
    if (!encryption->Check(SystemDrive(), request.encryptionRestarts)) return refuse(FlashStep::Encryption, "drive encryption");

    // Another run may have started a flasher while the questions were up:
    // look again, under the mutex that keeps any other from starting now.
    auto mutex = std::make_unique<FlashMutex>();
    const bool taken = mutex->Take();
    if (!taken) dialogue.Tell(kInProgress, kFlashTitle, MB_ICONERROR);
    if (!taken || !NoFlashInProgress(dialogue)) {
        encryption->Resume();
        return refuse(FlashStep::InProgress, "flash in progress");
    }

    // From the start until the flasher has ended, nothing may sleep or end
    // the session by mistake.
    start.flash = std::make_unique<RunningFlash>(holder, std::move(mutex), std::move(encryption));
    const std::string command = core::FlasherCommand(image);
    HANDLE process = nullptr;
    if (Os().StartProcess(kFlasherPath, command, SW_SHOW, kInstallFolder, &process)) {
        Log(std::string(kFlashTitle) + ": started " + command);
        start.flash->process_.Reset(process);
        return start;
    }
    start.startError = Os().LastError();
    EventNotStarted(kFlashTitle, kFlasherExe, start.startError, dialogue);
    Log(std::string(kFlashTitle) + ": " + command + " could not be started, error " + std::to_string(start.startError));
    // No flash, no restart: the drive's protection comes back at once.
    start.flash->ResumeEncryption();
    start.refused = FlashStep::Start;
    return start;
}

}  // namespace kv
