#pragma once

#include <string>

#include "platform.h"

namespace kv {

enum class LockTaken {
    Yes,
    HeldElsewhere,  // another run holds it, or it may not be opened
    NameTaken,      // another program made an object of another kind under its name
    Unavailable,    // the namespace it lives in can be neither created nor opened
};

// The flash lock, taken right before a flasher starts and held until it has
// ended: two instances of the program, or the dialog and the command line,
// each see the other's flash even before its flasher is listed. It lives in
// a private namespace that only administrators can create and only SYSTEM
// and administrators may open, so no other user can hold it or take its
// name. Where the system has no private namespaces (Wine), it is
// Global\Kavelton.Flash, which any user could take first.
class FlashMutex {
public:
    FlashMutex() = default;
    ~FlashMutex();
    FlashMutex(const FlashMutex&) = delete;
    FlashMutex& operator=(const FlashMutex&) = delete;

    LockTaken Take();
    // Once Take failed: the lock's name, and the error that refused it.
    const std::string& Name() const { return name_; }
    DWORD Error() const { return error_; }

private:
    DWORD EnterNamespace(const std::vector<BYTE>& descriptor);

    // Declared first, so closed last: the namespace must outlive the mutex
    // in it, or another run could create a new one and take a second lock.
    OsHandle namespace_;
    OsHandle handle_;
    std::string name_;
    DWORD error_ = ERROR_SUCCESS;
    bool held_ = false;
};

}  // namespace kv
