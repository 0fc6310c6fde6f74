// The outcomes that administrators collect from many machines, written to
// the Windows event log under the source "Kavelton" (the message table is in
// Kavelton.exe, so that Event Viewer shows whole sentences). Writing an
// event never stops a task, as with the run log.
#pragma once

#include <windows.h>

#include <string>

#include "common/dialogue.h"

namespace kv {

void EventCommandLine(const std::string& arguments);
void EventScan(int exitCode, const std::string& candidate, const std::string& runningVersion);
// image flashed; restarting: the restart has been started.
void EventFlashed(const std::string& image, bool restarting, const Dialogue& dialogue);
// task: the dialog's title; the image written to drive.
void EventWritten(const std::string& task, const std::string& image, const std::string& drive);
// The check that refused, and the box that said so (the dialogue's last).
void EventRefused(const std::string& task, const std::string& check, const Dialogue& dialogue);
// program ended with code (empty: none could be read); text: what was shown.
void EventFailed(const std::string& task, const std::string& program, const std::string& code,
                 const std::string& text, const Dialogue& dialogue);
void EventNotStarted(const std::string& task, const std::string& program, DWORD error, const Dialogue& dialogue);
void EventUpdateResult(const std::string& text, UINT icon);
void EventFolder(bool secured, const std::string& openEntries);
void EventRestartRefused(const Dialogue& dialogue);
// A library of the install folder not loaded, and why.
void EventLibraryRefused(const std::string& library, const std::string& why);

}  // namespace kv
