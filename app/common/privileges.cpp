#include "common/privileges.h"

#include <windows.h>

#include <string>

#include "common/run_log.h"
#include "platform.h"

namespace kv {

PrivilegeHold::PrivilegeHold(const char* name) {
    HANDLE token = nullptr;
    if (!Os().OpenProcessToken(Os().GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
        Log(std::string(name) + " cannot be enabled: the token cannot be opened, error " +
            std::to_string(Os().LastError()));
        return;
    }
    token_.Reset(token);
    TOKEN_PRIVILEGES wanted{};
    wanted.PrivilegeCount = 1;
    wanted.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!Os().LookupPrivilege(nullptr, name, &wanted.Privileges[0].Luid)) {
        Log(std::string(name) + " cannot be enabled: unknown, error " + std::to_string(Os().LastError()));
        return;
    }
    // Succeeds also for a privilege the token does not hold, and says so only
    // in the last error.
    const bool adjusted = Os().AdjustTokenPrivileges(token, false, &wanted, &previous_);
    const DWORD error = Os().LastError();
    enabled_ = adjusted && error != ERROR_NOT_ALL_ASSIGNED;
    if (!enabled_) {
        previous_.PrivilegeCount = 0;
        Log(std::string(name) + " cannot be enabled, error " + std::to_string(error));
    }
}

PrivilegeHold::~PrivilegeHold() {
    // previous_ lists it only when this hold turned it on.
    if (token_.Valid() && previous_.PrivilegeCount == 1) Os().AdjustTokenPrivileges(token_.get(), false, &previous_, nullptr);
}

namespace {

std::vector<BYTE> WellKnownSid(WELL_KNOWN_SID_TYPE type) {
    std::vector<BYTE> sid(SECURITY_MAX_SID_SIZE);
    DWORD size = static_cast<DWORD>(sid.size());
    if (!::CreateWellKnownSid(type, nullptr, sid.data(), &size)) return {};
    sid.resize(size);
    return sid;
}

}  // namespace

bool StandardUserRights(UserRights& rights) {
    rights = {};
    std::vector<BYTE> user = Os().UserSid();
    if (user.empty()) return false;
    rights.denyOnly.push_back(WellKnownSid(WinBuiltinAdministratorsSid));
    // SYSTEM's own SID opens what only the system may change; an
    // administrator's own account is the one at the keyboard or the one who
    // elevated, and keeps what is its own.
    if (::IsWellKnownSid(user.data(), WinLocalSystemSid)) rights.denyOnly.push_back(std::move(user));
    rights.flags = DISABLE_MAX_PRIVILEGE;
    rights.integrity = WellKnownSid(WinMediumLabelSid);
    return !rights.denyOnly[0].empty() && !rights.integrity.empty();
}

}  // namespace kv
