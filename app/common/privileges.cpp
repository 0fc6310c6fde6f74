#include "common/privileges.h"

#include <windows.h>

#include <string>

#include "common/run_log.h"
#include "platform.h"

namespace kv {

bool EnablePrivilege(const char* name) {
    HANDLE token = nullptr;
    bool ok = Os().OpenProcessToken(Os().GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token);
    OsHandle owned(ok ? token : nullptr);
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    ok = ok && Os().LookupPrivilege(nullptr, name, &privileges.Privileges[0].Luid) &&
         Os().AdjustTokenPrivileges(token, false, &privileges);
    if (!ok) Log(std::string(name) + " cannot be enabled, error " + std::to_string(Os().LastError()));
    return ok;
}

}  // namespace kv
