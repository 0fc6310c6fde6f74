// Whether a BIOS update took: the image is recorded once it is flashed (in
// Windows) or before the restart that flashes it (diskette, USB key), and
// compared with the running BIOS at the first start after the restart.
// Until that restart the record says that the update waits for it.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "common/install_paths.h"

namespace kv {

struct UpdateRecord {
    std::string image;
    std::string from;   // the running version it replaces
    std::string since;  // when it was flashed, UTC ("2026-12-08T08:30:05Z")
    std::string boot;   // the boot it was flashed in; empty: judged at the next start
};

enum class UpdateJudgement { Took, NotTaken, Unknown };

struct JudgedUpdate {
    std::string image;
    UpdateJudgement result = UpdateJudgement::Unknown;
    std::string text;  // the result box's text
    UINT icon = MB_ICONINFORMATION;
};

// Records the image whose flash the coming restart does (diskette, USB key).
// A flash of this boot that waits for the same restart keeps its record.
void RecordUpdate(const std::string& image);

// Records the image that a flasher has just written in Windows, with the
// version it replaces, the time and this boot: until a restart, every caller
// is told that the update waits for it.
void RecordPendingUpdate(const std::string& image, const std::string& runningVersion);

// The record of a flash of this boot, which waits for a restart.
std::optional<UpdateRecord> PendingUpdate();

// A record of an earlier boot, or without one, judged once against the
// running version: logged, written as an event, and removed. A record of
// this boot is left alone; a damaged one is removed.
std::optional<JudgedUpdate> JudgeLastUpdate(const std::string& runningVersion);

// JudgeLastUpdate, and the dialogs' box that tells its result.
void ShowLastUpdateResult(const std::string& runningVersion);

// "took", "notTaken", "unknown".
const char* JudgementName(UpdateJudgement result);

// "A BIOS update (IMAGE) waits for a restart." and what to do.
std::string PendingText(const UpdateRecord& record);

}  // namespace kv
