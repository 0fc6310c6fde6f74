// Machine identity texts: the system ID file and the BIOS date.
#pragma once

#include <string>
#include <string_view>

namespace kv::core {

// The 8-bit text of a file's bytes. A UTF-16 LE or BE or a UTF-8 byte-order
// mark says how the rest is encoded: characters up to U+00FF become their
// byte, others '?'. Bytes without a mark are returned as they are.
std::string DecodeTextFile(std::string_view fileBytes);

// The system ID in the bytes of System.txt as stored on disk, decoded as
// DecodeTextFile does (Notepad saves "Unicode" as UTF-16 LE). The text is
// read the way the C run-time's text mode reads it (CR LF becomes LF, a
// Ctrl-Z ends the text); the ID is the run after the first colon up to the
// first blank, line feed or end. The whole run is returned, however long.
// A zero byte ends the ID as well, as it ends a C string.
std::string ParseSystemId(std::string_view fileBytes);

// True when the board's product string equals the ID, letter case aside.
// Whole strings are compared: a long ID never matches on a prefix.
bool SystemIdMatches(std::string_view product, std::string_view systemId);

// "mm/dd/yyyy" from a WMI date (yyyymmdd...). A missing date, or one whose
// first eight characters are not all digits, gives an empty text.
std::string DateText(const wchar_t* releaseDate);

}  // namespace kv::core
