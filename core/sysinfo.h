// Machine identity texts: the system ID file and the BIOS date.
#pragma once

#include <string>
#include <string_view>

namespace kv::core {

// The system ID in the bytes of System.txt as stored on disk. The file is
// read the way the C run-time's text mode reads it (CR LF becomes LF, a
// Ctrl-Z ends the text); the ID is the run after the first colon up to the
// first blank, line feed or end. The whole run is returned, however long.
// A zero byte ends the ID as well, as it ends a C string.
std::string ParseSystemId(std::string_view fileBytes);

// True when the board's product string equals the ID, letter case aside.
// Whole strings are compared: a long ID never matches on a prefix.
bool SystemIdMatches(std::string_view product, std::string_view systemId);

// "mm/dd/yyyy" from a WMI date (yyyymmdd...), each character taken as the
// low byte of its code unit. A missing date or one shorter than eight
// characters gives an empty text. A character whose low byte is zero ends
// the text there, as in the zero-terminated label text.
std::string DateText(const wchar_t* releaseDate);

}  // namespace kv::core
