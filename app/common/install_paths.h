// Where everything Kavelton loads, runs, reads or writes lies. The folder is
// fixed: every path is built from these names, never from the folder the
// program was started from or the current directory.
#pragma once

#include <windows.h>

#include <string>

namespace kv {

inline constexpr char kInstallFolder[] = "C:\\KAVELTON";
inline constexpr char kRomFolder[] = "C:\\KAVELTON\\ROM";
inline constexpr char kSystemIdPath[] = "C:\\KAVELTON\\System.txt";
inline constexpr char kChecksumListPath[] = "C:\\KAVELTON\\SHA256SUMS";
inline constexpr char kSignerListPath[] = "C:\\KAVELTON\\Signers.txt";
inline constexpr char kRunLogPath[] = "C:\\KAVELTON\\Kavelton.log";
inline constexpr char kLastUpdatePath[] = "C:\\KAVELTON\\LastUpdate.txt";
inline constexpr char kFlasherExe[] = "WinFlash64.exe";
inline constexpr char kFlasherPath[] = "C:\\KAVELTON\\WinFlash64.exe";

// Our own libraries are loaded by their full path; a library of a vendor's
// may find what it imports beside it, and everything else in System32 only.
inline constexpr DWORD kInstallLibraryFlags = LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32;

// name in the install folder ("BIOS.dll" -> "C:\KAVELTON\BIOS.dll").
inline std::string InstallPath(const std::string& name) { return std::string(kInstallFolder) + "\\" + name; }

// An image of the ROM folder.
inline std::string RomPath(const std::string& image) { return std::string(kRomFolder) + "\\" + image; }

}  // namespace kv
