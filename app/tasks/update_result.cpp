#include "tasks/update_result.h"

#include "common/dialogue.h"
#include "common/events.h"
#include "common/run_log.h"
#include "images.h"
#include "platform.h"

namespace kv {
namespace {

const char kResultTitle[] = "BIOS update result";
// One image name: far above any usable one, far below anything harmful.
constexpr std::size_t kMaxRecord = 4096;

}  // namespace

void RecordUpdate(const std::string& image) {
    if (Os().WriteWholeFile(kLastUpdatePath, image + "\r\n"))
        Log("Update recorded: " + image);
    else
        Log("Update record cannot be written: " + image);
}

void ShowLastUpdateResult(const std::string& runningVersion) {
    std::string bytes;
    if (!Os().ReadWholeFile(kLastUpdatePath, bytes)) return;
    // Deleted first, so that the box shows once even if the check below
    // goes wrong.
    if (!Os().DeleteFile(kLastUpdatePath)) Log("Update record cannot be deleted");
    std::string image = bytes.substr(0, bytes.find_first_of("\r\n"));
    if (image.size() > kMaxRecord) image.resize(kMaxRecord);
    if (image.empty()) {
        Log("Update record is empty");
        return;
    }

    const auto order = core::CompareImageVersion(runningVersion, image);
    const std::string both = "BIOS image: " + image + "\nRunning BIOS version: " + runningVersion;
    std::string text;
    UINT icon = MB_ICONINFORMATION;
    switch (order) {
    case core::VersionOrder::Equal:
        text = "The BIOS update took.\n\n" + both;
        break;
    case core::VersionOrder::Unknown:
        text = "Whether the BIOS update took cannot be told: the versions cannot be compared.\n\n" + both;
        break;
    default:
        text = "The BIOS update did not take.\n\n" + both +
               "\n\nPlease try again, or flash the BIOS from a diskette or a USB key.";
        icon = MB_ICONWARNING;
        break;
    }
    Boxes().Tell(text, kResultTitle, icon);
    EventUpdateResult(text, icon);
}

}  // namespace kv
