#include "common/events.h"

#include <vector>

#include "common/install_paths.h"
#include "common/run_log.h"
#include "text.h"
#include "message_table/events.h"
#include "platform.h"

namespace kv {
namespace {

// The type whose icon Event Viewer shows is the one the box showed.
WORD TypeOf(UINT icon) {
    switch (icon & MB_ICONMASK) {
    case MB_ICONERROR:
        return EVENTLOG_ERROR_TYPE;
    case MB_ICONWARNING:
        return EVENTLOG_WARNING_TYPE;
    default:
        return EVENTLOG_INFORMATION_TYPE;
    }
}

void Write(WORD type, DWORD id, const std::vector<std::string>& inserts) {
    std::vector<std::wstring> wide;
    for (const std::string& insert : inserts) wide.push_back(Widen(insert));
    if (!Os().WriteEvent(type, id, wide)) Log("Event " + std::to_string(id) + " cannot be written");
}

}  // namespace

void EventCommandLine(const std::string& arguments) {
    Write(EVENTLOG_INFORMATION_TYPE, KV_EVENT_COMMAND_LINE, {arguments});
}

void EventScan(int exitCode, const std::string& candidate, const std::string& runningVersion) {
    Write(exitCode == 0 || exitCode == 11 ? EVENTLOG_INFORMATION_TYPE : EVENTLOG_WARNING_TYPE, KV_EVENT_SCAN,
          {std::to_string(exitCode), candidate.empty() ? "none" : candidate, runningVersion});
}

void EventFlashed(const std::string& image, bool restarting, const Dialogue& dialogue) {
    Write(EVENTLOG_INFORMATION_TYPE, restarting ? KV_EVENT_FLASHED_RESTARTING : KV_EVENT_FLASHED,
          {image, dialogue.Where()});
}

void EventWritten(const std::string& task, const std::string& image, const std::string& drive) {
    Write(EVENTLOG_INFORMATION_TYPE, KV_EVENT_WRITTEN, {task, image, drive});
}

void EventRefused(const std::string& task, const std::string& check, const Dialogue& dialogue) {
    const UINT icon = dialogue.LastIcon();
    // A question answered No ends the run as the user asked: a warning.
    Write(icon == MB_ICONERROR ? EVENTLOG_ERROR_TYPE : EVENTLOG_WARNING_TYPE, KV_EVENT_REFUSED,
          {task, dialogue.Where(), check, dialogue.LastText()});
}

void EventFailed(const std::string& task, const std::string& program, const std::string& code,
                 const std::string& text, const Dialogue& dialogue) {
    Write(EVENTLOG_ERROR_TYPE, KV_EVENT_FAILED,
          {task, dialogue.Where(), program, code.empty() ? "unknown" : code, text});
}

void EventLibraryRefused(const std::string& library, const std::string& why) {
    Write(EVENTLOG_ERROR_TYPE, KV_EVENT_REFUSED, {"Start", library, "signature", why});
}

void EventNotStarted(const std::string& task, const std::string& program, DWORD error, const Dialogue& dialogue) {
    Write(EVENTLOG_ERROR_TYPE, KV_EVENT_NOT_STARTED, {task, dialogue.Where(), program, std::to_string(error)});
}

void EventUpdateResult(const std::string& text, UINT icon) { Write(TypeOf(icon), KV_EVENT_UPDATE_RESULT, {text}); }

void EventFolder(bool secured, const std::string& openEntries) {
    if (secured)
        Write(EVENTLOG_WARNING_TYPE, KV_EVENT_FOLDER_SECURED, {kInstallFolder});
    else
        Write(EVENTLOG_WARNING_TYPE, KV_EVENT_FOLDER_OPEN, {kInstallFolder, openEntries});
}

void EventRestartRefused(const Dialogue& dialogue) {
    Write(EVENTLOG_WARNING_TYPE, KV_EVENT_RESTART_REFUSED, {dialogue.Where()});
}

}  // namespace kv
