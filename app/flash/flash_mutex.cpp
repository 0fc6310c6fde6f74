#include "flash/flash_mutex.h"

#include <sddl.h>

#include <string>
#include <vector>

#include "common/run_log.h"

namespace kv {
namespace {

const char kMutexName[] = "Global\\Kavelton.Flash";
// SYSTEM (deployment tools) and administrators (the program's own token)
// alike can open it, whichever of them made it.
const wchar_t kMutexSddl[] = L"D:(A;;GA;;;SY)(A;;GA;;;BA)";

}  // namespace

FlashMutex::~FlashMutex() {
    if (held_) Os().ReleaseMutex(handle_.get());
}

bool FlashMutex::Take() {
    if (held_) return true;
    PSECURITY_DESCRIPTOR sd = nullptr;
    ULONG size = 0;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(kMutexSddl, SDDL_REVISION_1, &sd, &size))
        return false;
    const std::vector<BYTE> descriptor(static_cast<BYTE*>(sd), static_cast<BYTE*>(sd) + size);
    ::LocalFree(sd);
    handle_.Reset(Os().NamedMutex(kMutexName, descriptor));
    if (!handle_.Valid()) {
        Log("Flash: " + std::string(kMutexName) + " cannot be opened, error " + std::to_string(Os().LastError()));
        return false;
    }
    // An abandoned mutex was held by a process that ended: nobody flashes now.
    const DWORD wait = Os().WaitForMutex(handle_.get());
    held_ = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
    if (!held_) {
        Log("Flash: " + std::string(kMutexName) + " is held by another run");
        handle_.Close();
    }
    return held_;
}

}  // namespace kv
