// The run log for support: C:\KAVELTON\Kavelton.log, UTF-8, one event a line
// with the local time first. Writing it never stops a task.
#pragma once

#include <string>

namespace kv {

inline constexpr char kRunLogPath[] = "C:\\KAVELTON\\Kavelton.log";
// Above this size the older half of the log is dropped.
inline constexpr std::size_t kRunLogLimit = 1024 * 1024;

// Appends one event. text is in the ANSI code page, like the program's
// other texts; its line breaks become " | ", so that an event stays one line.
void Log(const std::string& text);

}  // namespace kv
