#include "common/privileges.h"

#include <windows.h>

#include <string>

#include "common/run_log.h"
#include "platform.h"

namespace kv {

PrivilegeHold::PrivilegeHold(const char* name) : name_(name) {
    PrivilegeChange change;
    enabled_ = Os().EnablePrivilege(name_, change);
    tokenOpened_ = change.tokenOpened;
    turnedOn_ = enabled_ && !change.wasEnabled;
    if (enabled_) return;
    const DWORD error = Os().LastError();
    const char* why = !tokenOpened_                       ? ": the token cannot be opened"
                      : error == ERROR_NO_SUCH_PRIVILEGE ? ": unknown"
                                                          : "";
    Log(name_ + " cannot be enabled" + why + ", error " + std::to_string(error));
}

PrivilegeHold::~PrivilegeHold() {
    if (turnedOn_) Os().DisablePrivilege(name_);
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
