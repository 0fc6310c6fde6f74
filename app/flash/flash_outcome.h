// What a flash's end means to its callers, in one place: the command line's
// exit code and words and the dialog's box come from the same rows, so the
// two can never tell one flash differently.
#pragma once

#include <windows.h>

#include <string>

#include "common/exit_codes.h"
#include "flash/flash_procedure.h"

namespace kv {

// The exit code of a flash that StartFlash refused at refused; kExitSuccess
// for None. Each refusal has told the user through its dialogue already.
int RefusalExitCode(FlashStep refused);

// Words for a flasher that could not be started (the command line's; the
// dialog's watch reports it as a flasher that was never seen).
std::string StartFailureText(const std::string& image, DWORD error);

// How the flasher ended, for each caller.
struct FlasherEnd {
    int exitCode;           // the command line's, before any restart
    std::string said;       // the command line's words
    std::string boxed;      // the dialog's error box; empty when it succeeded
    std::string eventCode;  // the event's exit code; empty when none was read
};

// result and code as RunningFlash::Result gave them.
FlasherEnd DescribeFlasherEnd(FlashResult result, DWORD code);

}  // namespace kv
