// The one rule of whether a BIOS flash is in progress on this machine:
// whether to start one, whether to hold one, whether to refuse a restart.
#pragma once

#include <windows.h>

#include <string>

#include "platform.h"

namespace kv {

enum class FlasherListing { Found, NotFound, Unknown };

// Whether any WinFlash64.exe is listed, whoever started it and whether or not
// it can be opened; Unknown when the list cannot be read, and then
// *failedCall names the call that failed ("CreateToolhelp32Snapshot()").
FlasherListing FindFlasher(const char** failedCall = nullptr);

// A flash this program holds (keeps Windows from sleeping or ending for),
// known to the rule below while it is held.
class HeldFlash {
public:
    virtual ~HeldFlash() = default;
    // By the flasher's own process handle where there is one.
    virtual bool Running() = 0;
    // Gives up the hold of a flash that has ended.
    virtual void LetGo() = 0;
};
void RegisterHeldFlash(HeldFlash* flash);
void UnregisterHeldFlash(HeldFlash* flash);

// A flash is in progress when a flasher is listed, when nobody can tell, or
// while a flash this program holds still runs.
bool FlashInProgress();

// Before a restart: lets go of the holds of flashes that have ended, which
// would otherwise refuse the end of the session.
void LetGoOfEndedFlashes();

}  // namespace kv
