// Text between the program's ANSI code page, UTF-16 (the system's and the
// libraries') and UTF-8 (the run log, the report). One place below every
// floor that converts (the platform, the libraries, the program), so that
// each converts the same way; each gives empty text for what it cannot
// convert.
#pragma once

#include <windows.h>

#include <string>

namespace kv {

// UTF-16 to codePage (CP_ACP or CP_UTF8), all of it, nulls included.
std::string Narrow(const std::wstring& text, UINT codePage = CP_ACP);
// The same up to the first null, as the system and libraries hand text out;
// nullptr is empty text.
std::string Narrow(const wchar_t* text, UINT codePage = CP_ACP);
// The ANSI code page to UTF-16.
std::wstring Widen(const std::string& text);
// The ANSI code page to UTF-8.
std::string AnsiToUtf8(const std::string& text);

}  // namespace kv
