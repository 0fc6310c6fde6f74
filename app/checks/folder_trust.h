// Whether the install folder is under the control of administrators alone.
// Kavelton runs as administrator (and as SYSTEM under deployment tools), and
// what it loads, runs and believes lies in C:\KAVELTON: anyone else who can
// change the folder or one of those files can take over the machine. Before
// anything is loaded or written there, each is checked as Win32-OpenSSH
// checks a key file: owner and access list.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace kv {

// A file or folder that others can change, and who, or what makes it so.
struct OpenEntry {
    std::string path;
    std::string who;  // "NT AUTHORITY\Authenticated Users can change it", ...
};

// Why the object the self-relative descriptor describes can be changed by
// others than SYSTEM, Administrators, TrustedInstaller and user; empty when
// it cannot. Deny entries are not counted on: they only ever make it safer.
std::string WhoElseCanChange(const std::vector<BYTE>& descriptor, const std::vector<BYTE>& user);

// One file or folder; std::nullopt when it is secure or does not exist.
std::optional<OpenEntry> CheckEntry(const std::string& path);

// The install folder, ROM and every file the program loads, runs or trusts,
// where others can change them.
std::vector<OpenEntry> FindOpenEntries();

// Up to five entries, a line each, and how many more there are.
std::string DescribeOpenEntries(const std::vector<OpenEntry>& open);

// Takes the folder for Administrators and gives it and everything below it
// the locked access list. ERROR_SUCCESS, or the error.
DWORD SecureInstallFolder();

// What others could have changed while the folder was open, a line each:
// once it is secured, these are restored before the program runs again, in
// one of the ways kRestoreHow names.
std::string RestoreList();
inline constexpr char kRestoreHow[] =
    "repair the installation with msiexec /fa Kavelton.msi, or copy them again from the vendor's package";

// Before the main window: when the folder is open, asks whether to secure
// it, and ends the run either way. True when the program may go on: the
// folder was secure already.
bool InstallFolderTrustedAtStart();

}  // namespace kv
