#include "flash/flash_hold.h"

#include "common/run_log.h"
#include "platform.h"

namespace kv {
namespace {

const wchar_t kReason[] = L"A BIOS update is in progress. Do not turn off or restart the computer.";

}  // namespace

FlashHold::FlashHold(ui::TForm& holder) {
    stateSet_ = Os().SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED) != 0;
    if (!stateSet_) Log("Flash hold: sleep cannot be held off");
    Block(holder);
}

FlashHold::~FlashHold() {
    Unblock();
    if (stateSet_) Os().SetThreadExecutionState(ES_CONTINUOUS);
    Log("Flash hold: released");
}

void FlashHold::MoveTo(ui::TForm& holder) {
    if (&holder == holder_) return;
    Unblock();
    Block(holder);
}

void FlashHold::Block(ui::TForm& holder) {
    holder_ = &holder;
    holder.OnQueryEndSession = [] {
        Log("Flash hold: ending the session refused");
        return false;
    };
    reasonSet_ = Os().ShutdownBlockReasonCreate(holder.Handle(), kReason);
    if (!reasonSet_) Log("Flash hold: shutdown block reason refused, error " + std::to_string(Os().LastError()));
}

void FlashHold::Unblock() {
    if (!holder_) return;
    holder_->OnQueryEndSession = nullptr;
    if (reasonSet_) Os().ShutdownBlockReasonDestroy(holder_->Handle());
    reasonSet_ = false;
    holder_ = nullptr;
}

}  // namespace kv
