// The run log for support: C:\KAVELTON\Kavelton.log, UTF-8, one event a line
// with the local time first. Writing it never stops a task.
#pragma once

#include <cstddef>
#include <string>

#include "common/install_paths.h"

namespace kv {

// Above this size the older half of the log is dropped.
inline constexpr std::size_t kRunLogLimit = 1024 * 1024;

// Appends one event. text is in the ANSI code page, like the program's
// other texts; its line breaks become " | ", so that an event stays one line.
void Log(const std::string& text);

// Until the install folder is known to be secure, a write into it could land
// wherever someone else pointed the log: events are kept in memory from
// HoldRunLog() on and written by ReleaseRunLog(), or never.
void HoldRunLog();
void ReleaseRunLog();

}  // namespace kv
