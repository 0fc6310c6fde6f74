#include "tasks/restart.h"

#include <windows.h>

#include <reason.h>

#include "checks/flash_in_progress.h"
#include "common/dialogue.h"
#include "common/events.h"
#include "common/privileges.h"
#include "common/run_log.h"
#include "platform.h"
#include "tasks/update_result.h"

namespace kv {

namespace {

constexpr DWORD kPlannedUpgrade = SHTDN_REASON_MAJOR_SOFTWARE | SHTDN_REASON_MINOR_UPGRADE | SHTDN_REASON_FLAG_PLANNED;

}  // namespace

DWORD RestartSystem() {
    const auto shutdown = EnablePrivilege("SeShutdownPrivilege");
    if (!shutdown.TokenOpened()) Boxes().Tell("Open Process Token Failed!", "OpenProcessToken", 0);
    // Without EWX_FORCE: every program may still save its work or refuse.
    // Asked even without the privilege: Windows, not a guess, says no.
    if (Os().Restart(RestartKind::Asking, kPlannedUpgrade, 0, {})) return ERROR_SUCCESS;
    const DWORD error = Os().LastError();
    return error ? error : ERROR_GEN_FAILURE;
}

RestartOutcome RestartForUpdate(const std::string& image, Dialogue& dialogue, RestartBy by, DWORD warnSeconds) {
    // A restart under a writing flasher can leave the board without a BIOS;
    // Windows would only ask the holding window, and offer "Restart anyway".
    if (FlashInProgress()) {
        Log("Restart refused: a BIOS flash is in progress");
        dialogue.Tell("A BIOS flash is in progress.\nThe system will not restart now: restart it once "
                      "WinFlash64.exe has ended.",
                      "Restart system", MB_ICONWARNING);
        EventRestartRefused(dialogue);
        return RestartOutcome::Refused;
    }
    LetGoOfEndedFlashes();
    RecordUpdate(image);
    DWORD error = ERROR_SUCCESS;
    if (by == RestartBy::Gui) {
        error = RestartSystem();
    } else {
        const auto shutdown = EnablePrivilege("SeShutdownPrivilege");
        // Other sessions and our own are ended once the warning is over: a
        // user who is logged on, or a program that will not close, would
        // otherwise keep the update from finishing while 1641 says it did.
        if (!Os().Restart(RestartKind::Forcing, kPlannedUpgrade, warnSeconds,
                          L"Kavelton restarts this computer to finish a BIOS update.")) {
            error = Os().LastError();
            if (error == ERROR_SUCCESS) error = ERROR_GEN_FAILURE;
        }
    }
    if (error != ERROR_SUCCESS) {
        Log("Restart could not be started, error " + std::to_string(error));
        if (by == RestartBy::Gui)
            dialogue.Tell("Windows did not start the restart (error " + std::to_string(error) +
                              ").\nRestart the system yourself to finish the BIOS update.",
                          "Restart system", MB_ICONERROR);
        return RestartOutcome::Failed;
    }
    Log(by == RestartBy::Gui ? "Restart started"
                             : "Restart started, in " + std::to_string(warnSeconds) + " seconds");
    return RestartOutcome::Started;
}

}  // namespace kv
