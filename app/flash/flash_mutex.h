#pragma once

#include "platform.h"

namespace kv {

// Global\Kavelton.Flash, taken right before a flasher starts and held until
// it has ended: two instances of the program, or the dialog and the command
// line, each see the other's flash even before its flasher is listed.
class FlashMutex {
public:
    FlashMutex() = default;
    ~FlashMutex();
    FlashMutex(const FlashMutex&) = delete;
    FlashMutex& operator=(const FlashMutex&) = delete;

    // True when this process now holds it. Another holder, or a mutex this
    // account may not open, means a flash is in progress elsewhere.
    bool Take();

private:
    OsHandle handle_;
    bool held_ = false;
};

}  // namespace kv
