#include "flash/flash_outcome.h"

#include <iterator>

#include "commands.h"

namespace kv {
namespace {

// {code} stands for the flasher's exit code.
struct EndRow {
    FlashResult result;
    int exitCode;
    const char* said;
    const char* boxed;
};

// A flash that succeeded still waits for its restart.
const EndRow kEnds[] = {
    {FlashResult::Succeeded, kExitRestartNeeded, "WinFlash64.exe ended with exit code 0.", ""},
    {FlashResult::Failed, kExitFlasherFailed, "WinFlash64.exe ended with exit code {code}.",
     "WinFlash64.exe ended with exit code {code}: the BIOS may not have been updated!\nRead the flasher's own "
     "messages before you restart the system."},
    {FlashResult::Unknown, kExitFlasherFailed,
     "The result of WinFlash64.exe cannot be read: read its own messages before you restart.",
     "The result of WinFlash64.exe can not be read!\nRead the flasher's own messages before you restart the "
     "system."},
};

std::string WithCode(std::string text, DWORD code) {
    const std::string mark = "{code}";
    if (const auto at = text.find(mark); at != std::string::npos) text.replace(at, mark.size(), std::to_string(code));
    return text;
}

}  // namespace

int RefusalExitCode(FlashStep refused) {
    switch (refused) {
    case FlashStep::None:
        return kExitSuccess;
    case FlashStep::Board:
        return kExitBoardUnknown;
    case FlashStep::Pending:
        return kExitRestartNeeded;
    case FlashStep::Name:
    case FlashStep::Image:
        return kExitImageRefused;
    case FlashStep::Signature:
        return kExitSignatureRefused;
    case FlashStep::Version:
        return kExitNotNewer;
    case FlashStep::Power:
        return kExitPower;
    case FlashStep::Encryption:
        return kExitEncryption;
    case FlashStep::InProgress:
    case FlashStep::Start:
        break;
    }
    return kExitFlasherNotStarted;
}

std::string StartFailureText(const std::string& image, DWORD error) {
    return core::FlasherCommand(image) + " could not be started (error " + std::to_string(error) + ").";
}

FlasherEnd DescribeFlasherEnd(FlashResult result, DWORD code) {
    // A result without a row of its own is told as unknown, never as success.
    const EndRow* row = &kEnds[std::size(kEnds) - 1];
    for (const EndRow& end : kEnds)
        if (end.result == result) row = &end;
    // An exit code is only one when it was read: STILL_ACTIVE is not one.
    return {row->exitCode, WithCode(row->said, code), WithCode(row->boxed, code),
            result == FlashResult::Failed ? std::to_string(code) : std::string()};
}

}  // namespace kv
