#pragma once

#include <windows.h>

#include <string>

#include "platform.h"

namespace kv {

// One privilege of the program's own token (an elevated token holds most of
// them, disabled), turned on for one step and back off when the step ends,
// unless it was on before. A failure is logged.
class PrivilegeHold {
public:
    explicit PrivilegeHold(const char* name);
    ~PrivilegeHold();
    PrivilegeHold(const PrivilegeHold&) = delete;
    PrivilegeHold& operator=(const PrivilegeHold&) = delete;

    bool Enabled() const { return enabled_; }
    // False when the token itself could not be opened.
    bool TokenOpened() const { return tokenOpened_; }

private:
    std::string name_;
    bool enabled_ = false;
    bool tokenOpened_ = false;
    bool turnedOn_ = false;  // by this hold, which turns it off again
};

// Turns the privilege on for the caller's scope: true of Enabled() once the
// token holds it enabled; false when the token cannot be opened, the name is
// unknown, or the token does not hold it.
[[nodiscard]] inline PrivilegeHold EnablePrivilege(const char* name) { return PrivilegeHold(name); }

// The rights a program that works on what a user brought runs with: those of
// a standard user. Administrators (and our own account, when it is SYSTEM)
// only deny, every privilege but bypass-traverse-checking is gone, and the
// integrity is medium. False when our account cannot be read: whether it is
// SYSTEM would then be unknown.
bool StandardUserRights(UserRights& rights);

}  // namespace kv
