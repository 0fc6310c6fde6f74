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

void RestartSystem() {
    HANDLE process = Os().GetCurrentProcess();
    HANDLE token = nullptr;
    if (!Os().OpenProcessToken(process, TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
        Boxes().Tell("Open Process Token Failed!", "OpenProcessToken", 0);
        token = nullptr;
    }
    TOKEN_PRIVILEGES privileges{};
    Os().LookupPrivilege(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid);
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    Os().AdjustTokenPrivileges(token, false, &privileges);
    if (token) Os().CloseHandle(token);
    // Without EWX_FORCE: every program may still save its work or refuse.
    Os().ExitWindowsEx(EWX_REBOOT, 0);
}

RestartOutcome RestartForUpdate(const std::string& image, Dialogue& dialogue, RestartBy by) {
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
    if (by == RestartBy::Gui) {
        RestartSystem();
        return RestartOutcome::Started;
    }
    EnablePrivilege("SeShutdownPrivilege");
    const DWORD error =
        Os().RequestRestart(SHTDN_REASON_MAJOR_SOFTWARE | SHTDN_REASON_MINOR_UPGRADE | SHTDN_REASON_FLAG_PLANNED);
    if (error != ERROR_SUCCESS) {
        Log("Restart could not be started, error " + std::to_string(error));
        return RestartOutcome::Failed;
    }
    Log("Restart started");
    return RestartOutcome::Started;
}

}  // namespace kv
