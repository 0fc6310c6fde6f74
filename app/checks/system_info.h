// The running machine's BIOS and board, read through BIOS.dll, and the board
// check against the install folder's System.txt. Shared by the main window
// and the unattended command line.
#pragma once

#include <string>

#include "common/dialogue.h"

namespace kv {

struct SystemInfo {
    bool read = false;  // false: BIOS.dll or one of its functions is missing
    std::string maker, version, date, product, board;
};

// Loads C:\KAVELTON\BIOS.dll (a box when it cannot), reads the values
// in the library's order and unloads it again. The values are in the ANSI
// code page, as the program's other texts; utf8, when given, also receives
// them as UTF-8, converted straight from the library's UTF-16, so that no
// character is lost on the way.
SystemInfo ReadSystemInfo(Dialogue& dialogue, SystemInfo* utf8 = nullptr);

// "C:" for the drive of the Windows folder; empty when it cannot be read.
std::string SystemDrive();

enum class BoardCheck { Matches, DoesNotMatch, NoSystemId };

// Compares the board with the system ID of C:\KAVELTON\System.txt; logs it.
// systemId, when given, receives the ID once the file could be read.
BoardCheck CheckBoard(const std::string& board, std::string* systemId = nullptr);

}  // namespace kv
