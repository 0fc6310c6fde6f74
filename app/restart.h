#pragma once

namespace kv {

// Enables the shutdown privilege and asks Windows to reboot, without forcing
// programs to close. Returns to the caller; Windows does the rest.
void RestartSystem();

}  // namespace kv
