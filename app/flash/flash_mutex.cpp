#include "flash/flash_mutex.h"

#include <sddl.h>

#include <string>
#include <vector>

#include "common/run_log.h"

namespace kv {
namespace {

const char kAlias[] = "Kavelton";
const char kLockInNamespace[] = "Kavelton\\Flash";
const char kGlobalLock[] = "Global\\Kavelton.Flash";
// SYSTEM (deployment tools) and administrators (the program's own token)
// alike can open the namespace and the mutex, whichever of them made them.
const wchar_t kLockSddl[] = L"D:(A;;GA;;;SY)(A;;GA;;;BA)";
// A namespace lives only while some process holds a handle to it: one that
// the create found may be gone by the open, when its last holder has just
// ended, and then the next round creates a new one. Only a member of the
// Administrators group can make this race go on, so a few rounds are enough.
constexpr int kNamespaceRounds = 3;

}  // namespace

FlashMutex::~FlashMutex() {
    if (held_) Os().ReleaseMutex(handle_.get());
}

DWORD FlashMutex::EnterNamespace(const std::vector<BYTE>& descriptor) {
    DWORD error = ERROR_SUCCESS;
    for (int round = 0; round < kNamespaceRounds; ++round) {
        HANDLE ns = nullptr;
        error = Os().AdminNamespace(kAlias, descriptor, &ns);
        if (error == ERROR_SUCCESS || error == ERROR_ALREADY_EXISTS) {
            namespace_.Reset(ns);
            return ERROR_SUCCESS;
        }
        if (error == ERROR_CALL_NOT_IMPLEMENTED) break;
        Log("Flash lock: the namespace " + std::string(kAlias) + " can be neither created nor opened, error " +
            std::to_string(error));
    }
    return error;
}

LockTaken FlashMutex::Take() {
    if (held_) return LockTaken::Yes;
    PSECURITY_DESCRIPTOR sd = nullptr;
    ULONG size = 0;
    name_ = kLockInNamespace;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(kLockSddl, SDDL_REVISION_1, &sd, &size)) {
        error_ = ::GetLastError();
        return LockTaken::Unavailable;
    }
    const std::vector<BYTE> descriptor(static_cast<BYTE*>(sd), static_cast<BYTE*>(sd) + size);
    ::LocalFree(sd);

    error_ = EnterNamespace(descriptor);
    if (error_ == ERROR_CALL_NOT_IMPLEMENTED) {
        name_ = kGlobalLock;
        Log("Flash lock: this system has no private namespaces, so " + name_ + " is used, which any user could take");
    } else if (error_ != ERROR_SUCCESS) {
        return LockTaken::Unavailable;
    }
    handle_.Reset(Os().NamedMutex(name_, descriptor));
    if (!handle_.Valid()) {
        error_ = Os().LastError();
        Log("Flash: " + name_ + " cannot be opened, error " + std::to_string(error_));
        namespace_.Close();
        // CreateMutex finds an object of another kind under the name.
        return error_ == ERROR_INVALID_HANDLE ? LockTaken::NameTaken : LockTaken::HeldElsewhere;
    }
    // An abandoned mutex was held by a process that ended: nobody flashes now.
    const DWORD wait = Os().WaitForMutex(handle_.get());
    held_ = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
    if (!held_) {
        Log("Flash: " + name_ + " is held by another run");
        handle_.Close();
        namespace_.Close();
        return LockTaken::HeldElsewhere;
    }
    return LockTaken::Yes;
}

}  // namespace kv
