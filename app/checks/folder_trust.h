// Whether the install folder is under the control of administrators alone.
// Kavelton runs as administrator (and as SYSTEM under deployment tools), and
// what it loads, runs and believes lies in C:\KAVELTON: anyone else who can
// change the folder or one of those files can take over the machine. Before
// anything is loaded or written there, each is checked as Win32-OpenSSH
// checks a key file: owner and access list.
#pragma once

#include <windows.h>

#include "platform.h"

#include <optional>
#include <string>
#include <vector>

namespace kv {

// A file or folder that others can change, and who, or what makes it so.
struct OpenEntry {
    std::string path;
    std::string who;    // "NT AUTHORITY\Authenticated Users can change it", ...
    bool link = false;  // a link or a second name, which securing never touches
};

// Why the object the self-relative descriptor describes can be changed by
// others than SYSTEM, Administrators, TrustedInstaller and user; empty when
// it cannot. Deny entries are not counted on: they only ever make it safer.
// A folder's inheritable entries count too: they are what every file made
// in it later gets.
std::string WhoElseCanChange(const std::vector<BYTE>& descriptor, const std::vector<BYTE>& user, bool isFolder = false);

// Why what one handle told of path makes it open: today's owner and access
// rule, and anything that makes the path name something other than the
// entry judged (a reparse point, a second name, another final path, or a
// name that someone else holds open). std::nullopt when none holds.
// listedAttributes: what the folder's listing said of it (links that Wine
// shows only there).
std::optional<OpenEntry> JudgeEntry(const std::string& path, bool isFolder, const EntryFacts& facts,
                                    DWORD listedAttributes = 0);

// One file or folder, by handle; std::nullopt when it is secure or does not
// exist.
std::optional<OpenEntry> CheckEntry(const std::string& path, bool isFolder = false);

// Every folder and file below the install folder, the folder itself, ROM
// and its images included, walked by handle, where they are open. Nothing
// behind a link is walked: the link is open itself.
std::vector<OpenEntry> FindOpenEntries();

// A file the program loads, runs or reads as trusted, opened and judged
// before it is used and kept open until that use ends: while it is held,
// nobody can write, replace, delete or rename it, nor rename a folder on
// its way (each is held as well, from the install folder down).
class HeldFile {
public:
    explicit HeldFile(const std::string& path);
    ~HeldFile();
    HeldFile(HeldFile&& other) noexcept = default;
    HeldFile& operator=(HeldFile&&) = delete;
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;

    // Why it must not be used; std::nullopt when it is held and trusted.
    const std::optional<OpenEntry>& open() const { return open_; }
    // The file's own handle, reading; nullptr when it is not held.
    HANDLE handle() const { return open_ || handles_.empty() ? nullptr : handles_.back(); }
    // Not held because it is not there at all.
    bool missing() const { return missing_; }

private:
    std::vector<HANDLE> handles_;
    std::optional<OpenEntry> open_;
    bool missing_ = false;
};

// Up to five entries, a line each, and how many more there are.
std::string DescribeOpenEntries(const std::vector<OpenEntry>& open);

// Takes the folder for Administrators and gives it and everything below it
// the locked access list, entry by entry through handles of its own walk.
// ERROR_SUCCESS, or the error; kLinksRefused, touching nothing, when the
// tree holds a link or a second name.
DWORD SecureInstallFolder();
inline constexpr DWORD kLinksRefused = ERROR_CANT_RESOLVE_FILENAME;
inline constexpr char kRemoveLinks[] =
    "Kavelton never follows or secures links or second names: an administrator must remove them, then run "
    "Kavelton again.";

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
