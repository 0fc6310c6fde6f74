#include "restart.h"

#include <windows.h>

#include "platform.h"

namespace kv {

void RestartSystem() {
    HANDLE process = Os().GetCurrentProcess();
    HANDLE token = nullptr;
    if (!Os().OpenProcessToken(process, TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
        Os().ShowMessage("Open Process Token Failed!", "OpenProcessToken", MB_OK | MB_TOPMOST);
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

}  // namespace kv
