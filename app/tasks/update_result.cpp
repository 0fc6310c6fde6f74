#include "tasks/update_result.h"

#include <cstdio>

#include "checks/folder_trust.h"
#include "common/dialogue.h"
#include "common/events.h"
#include "common/file_replace.h"
#include "common/run_log.h"
#include "images.h"
#include "platform.h"

namespace kv {
namespace {

const char kResultTitle[] = "BIOS update result";
// One field: far above any usable one, far below anything harmful.
constexpr std::size_t kMaxField = 4096;

enum class RecordState { None, ThisBoot, EarlierBoot, Damaged };

// What a boot identity looks like: "{" 8-4-4-4-12 hex digits "}".
bool LooksLikeGuid(const std::string& text) {
    if (text.size() != 38 || text.front() != '{' || text.back() != '}') return false;
    for (std::size_t i = 1; i < 37; ++i) {
        const char c = text[i];
        const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
        const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (dash ? c != '-' : !hex) return false;
    }
    return true;
}

// The record is the image's line, then "key=value" lines. A record of one
// line is what the diskette and USB key tasks write, and what earlier
// versions wrote for every flash.
RecordState ReadRecord(UpdateRecord& record) {
    std::string bytes;
    // Judged and held as every trusted file: a link, a second name or a file
    // that others can change is not believed.
    const HeldFile held(kLastUpdatePath);
    if (held.open() || !Os().ReadWholeFile(kLastUpdatePath, bytes)) return RecordState::None;
    std::size_t at = 0;
    bool first = true;
    while (at < bytes.size()) {
        std::size_t end = bytes.find_first_of("\r\n", at);
        if (end == std::string::npos) end = bytes.size();
        const std::string line = bytes.substr(at, end - at);
        at = bytes.find_first_not_of("\r\n", end);
        if (at == std::string::npos) at = bytes.size();
        if (line.size() > kMaxField) return RecordState::Damaged;
        if (first) {
            record.image = line;
            first = false;
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos) return RecordState::Damaged;
        const std::string key = line.substr(0, equals), value = line.substr(equals + 1);
        if (key == "from")
            record.from = value;
        else if (key == "since")
            record.since = value;
        else if (key == "boot")
            record.boot = value;
    }
    if (record.image.empty() || (!record.boot.empty() && !LooksLikeGuid(record.boot))) return RecordState::Damaged;
    if (record.boot.empty()) return RecordState::EarlierBoot;
    const std::string now = Os().BootIdentity();
    // A boot that cannot be told is taken for the same one: a second flash
    // is refused rather than started in a loop. Kavelton itself makes the
    // identity, so this is a registry that cannot be written.
    if (now.empty()) {
        Log("Update record: this boot's identity cannot be told; the update is taken to wait for a restart");
        return RecordState::ThisBoot;
    }
    return _stricmp(now.c_str(), record.boot.c_str()) == 0 ? RecordState::ThisBoot : RecordState::EarlierBoot;
}

void Write(const std::string& bytes, const std::string& image) {
    const std::string why = ReplaceFileWhole(kLastUpdatePath, bytes, FilePlace::InInstallFolder);
    Log(why.empty() ? "Update recorded: " + image : "Update record cannot be written (" + why + "): " + image);
}

std::string UtcNow() {
    SYSTEMTIME t{};
    Os().UtcTime(t);
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02uZ", t.wYear, t.wMonth, t.wDay, t.wHour,
                  t.wMinute, t.wSecond);
    return text;
}

}  // namespace

void RecordUpdate(const std::string& image) {
    if (const auto pending = PendingUpdate(); pending && pending->image == image) return;
    Write(image + "\r\n", image);
}

void RecordPendingUpdate(const std::string& image, const std::string& runningVersion) {
    const std::string boot = Os().BootIdentity();
    if (boot.empty()) Log("This boot's identity cannot be told: the update is judged at the next start");
    Write(image + "\r\nfrom=" + runningVersion + "\r\nsince=" + UtcNow() + "\r\n" +
              (boot.empty() ? std::string() : "boot=" + boot + "\r\n"),
          image);
}

std::optional<UpdateRecord> PendingUpdate() {
    UpdateRecord record;
    if (ReadRecord(record) != RecordState::ThisBoot) return std::nullopt;
    return record;
}

std::optional<JudgedUpdate> JudgeLastUpdate(const std::string& runningVersion) {
    UpdateRecord record;
    const RecordState state = ReadRecord(record);
    if (state == RecordState::None || state == RecordState::ThisBoot) return std::nullopt;
    // Removed first, so that the result is told once even if what follows
    // goes wrong.
    if (!Os().DeleteFile(kLastUpdatePath)) Log("Update record cannot be deleted");
    if (state == RecordState::Damaged) {
        Log("Update record is damaged: removed without a result");
        return std::nullopt;
    }

    JudgedUpdate judged;
    judged.image = record.image;
    const std::string both = "BIOS image: " + record.image + "\nRunning BIOS version: " + runningVersion;
    switch (core::CompareImageVersion(runningVersion, record.image)) {
    case core::VersionOrder::Equal:
        judged.result = UpdateJudgement::Took;
        judged.text = "The BIOS update took.\n\n" + both;
        break;
    case core::VersionOrder::Unknown:
        judged.result = UpdateJudgement::Unknown;
        judged.text = "Whether the BIOS update took cannot be told: the versions cannot be compared.\n\n" + both;
        break;
    default:
        judged.result = UpdateJudgement::NotTaken;
        judged.text = "The BIOS update did not take.\n\n" + both +
                      "\n\nPlease try again, or flash the BIOS from a diskette or a USB key.";
        judged.icon = MB_ICONWARNING;
        break;
    }
    Log("Update result: " + record.image + " " + JudgementName(judged.result) + ", running " + runningVersion);
    EventUpdateResult(judged.text, judged.icon);
    return judged;
}

void ShowLastUpdateResult(const std::string& runningVersion) {
    if (const auto judged = JudgeLastUpdate(runningVersion)) Boxes().Tell(judged->text, kResultTitle, judged->icon);
}

const char* JudgementName(UpdateJudgement result) {
    switch (result) {
    case UpdateJudgement::Took:
        return "took";
    case UpdateJudgement::NotTaken:
        return "notTaken";
    case UpdateJudgement::Unknown:
        break;
    }
    return "unknown";
}

std::string PendingText(const UpdateRecord& record) {
    return "A BIOS update (" + record.image + ") waits for a restart: restart the system to finish it.";
}

}  // namespace kv
