#pragma once

#include <string>

#include "common/dialogue.h"

namespace kv {

// Enables the shutdown privilege and asks Windows to reboot, without forcing
// programs to close. Returns to the caller; Windows does the rest.
void RestartSystem();

enum class RestartBy {
    Gui,         // ExitWindowsEx, as the dialogs always did
    Unattended,  // InitiateShutdown, which also restarts for a service account
};
enum class RestartOutcome { Started, Refused, Failed };

// The one way a task restarts the system. While a BIOS flash is in progress
// it refuses with a box and records nothing. Otherwise it lets go of the
// holds of flashes that have ended, records image for the next start's
// result, and asks Windows to restart.
RestartOutcome RestartForUpdate(const std::string& image, Dialogue& dialogue, RestartBy by);

}  // namespace kv
