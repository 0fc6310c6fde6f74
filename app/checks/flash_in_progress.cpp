#include "checks/flash_in_progress.h"

#include <algorithm>
#include <vector>

#include "commands.h"
#include "common/install_paths.h"

namespace kv {
namespace {

std::vector<HeldFlash*>& Held() {
    static std::vector<HeldFlash*> held;
    return held;
}

}  // namespace

FlasherListing FindFlasher(const char** failedCall) {
    const ProcessList list = Os().ListProcesses();
    auto unknown = [&](const char* call) {
        if (failedCall) *failedCall = call;
        return FlasherListing::Unknown;
    };
    if (list.result == ProcessList::NoSnapshot) return unknown("CreateToolhelp32Snapshot()");
    if (list.result == ProcessList::NoFirstEntry) return unknown("Process32First()");
    for (const RunningProcess& process : list.processes)
        if (core::EqualIgnoringCase(process.exeName, kFlasherExe)) return FlasherListing::Found;
    return FlasherListing::NotFound;
}

void RegisterHeldFlash(HeldFlash* flash) { Held().push_back(flash); }

void UnregisterHeldFlash(HeldFlash* flash) { std::erase(Held(), flash); }

bool FlashInProgress() {
    if (FindFlasher() != FlasherListing::NotFound) return true;
    return std::any_of(Held().begin(), Held().end(), [](HeldFlash* flash) { return flash->Running(); });
}

void LetGoOfEndedFlashes() {
    const std::vector<HeldFlash*> held = Held();
    for (HeldFlash* flash : held)
        if (!flash->Running()) flash->LetGo();
}

}  // namespace kv
