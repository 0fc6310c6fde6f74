#pragma once

#include <windows.h>

#include <string>

#include "common/dialogue.h"

namespace kv {

// Enables the shutdown privilege for the request and asks Windows to reboot
// for a planned upgrade, without forcing programs to close. ERROR_SUCCESS
// once Windows has started the shutdown (programs may still refuse to end),
// or the error it refused with. Returns to the caller; Windows does the rest.
DWORD RestartSystem();

enum class RestartBy {
    Gui,         // ExitWindowsEx, as the dialogs always did
    Unattended,  // InitiateShutdown, which also restarts for a service account
};
enum class RestartOutcome { Started, Refused, Failed };

// How long the logged-on users are warned before an unattended restart, and
// the longest warning /restart:SECONDS may ask for.
constexpr DWORD kRestartWarningSeconds = 60;
constexpr DWORD kMaxRestartWarningSeconds = 600;

// The one way a task restarts the system. While a BIOS flash is in progress
// it refuses with a box and records nothing. Otherwise it lets go of the
// holds of flashes that have ended, records image for the next start's
// result, and asks Windows to restart; a restart that Windows does not start
// is told in a box and logged. warnSeconds: the unattended restart's warning.
RestartOutcome RestartForUpdate(const std::string& image, Dialogue& dialogue, RestartBy by,
                                DWORD warnSeconds = kRestartWarningSeconds);

}  // namespace kv
