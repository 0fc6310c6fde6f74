#include "checks/folder_trust.h"

#include <sddl.h>

#include <algorithm>

#include "commands.h"
#include "common/dialogue.h"
#include "common/events.h"
#include "common/install_paths.h"
#include "common/privileges.h"
#include "common/run_log.h"
#include "text.h"
#include "folder_lock.h"
#include "platform.h"

namespace kv {
namespace {

const char kTitle[] = "Kavelton";
constexpr std::size_t kNamedEntries = 5;

// Every right that changes the object, its attributes, its access list or
// owner, or (for a folder) what it holds.
constexpr ACCESS_MASK kChangeRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_WRITE_ATTRIBUTES |
                                      FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE |
                                      GENERIC_ALL;

std::vector<BYTE> SidBytes(const wchar_t* text) {
    PSID sid = nullptr;
    if (!::ConvertStringSidToSidW(text, &sid)) return {};
    std::vector<BYTE> bytes(static_cast<BYTE*>(sid), static_cast<BYTE*>(sid) + ::GetLengthSid(sid));
    ::LocalFree(sid);
    return bytes;
}

bool Trusted(PSID sid, const std::vector<BYTE>& user) {
    // TrustedInstaller is a service SID with no well-known type of its own.
    static const std::vector<BYTE> trustedInstaller =
        SidBytes(L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464");
    auto same = [sid](const std::vector<BYTE>& other) {
        return !other.empty() && ::EqualSid(sid, const_cast<BYTE*>(other.data()));
    };
    return ::IsWellKnownSid(sid, WinLocalSystemSid) || ::IsWellKnownSid(sid, WinBuiltinAdministratorsSid) ||
           same(trustedInstaller) || same(user);
}

// "DOMAIN\name" as Windows shows it, or the SID itself when nobody knows it.
std::string AccountName(PSID sid) {
    wchar_t name[256] = {}, domain[256] = {};
    DWORD nameSize = 256, domainSize = 256;
    SID_NAME_USE use{};
    if (::LookupAccountSidW(nullptr, sid, name, &nameSize, domain, &domainSize, &use) && name[0])
        return Narrow(domain[0] ? std::wstring(domain) + L"\\" + name : std::wstring(name));
    LPWSTR text = nullptr;
    if (!::ConvertSidToStringSidW(sid, &text)) return "an unknown account";
    std::string out = Narrow(text);
    ::LocalFree(text);
    return out;
}

}  // namespace

std::string WhoElseCanChange(const std::vector<BYTE>& descriptor, const std::vector<BYTE>& user, bool isFolder) {
    const std::string unreadable = "its owner and access list cannot be read";
    auto* sd = const_cast<BYTE*>(descriptor.data());
    if (descriptor.empty() || !::IsValidSecurityDescriptor(sd)) return unreadable;
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    if (!::GetSecurityDescriptorOwner(sd, &owner, &defaulted)) return unreadable;
    if (!owner) return "it has no owner";
    if (!Trusted(owner, user)) return "it belongs to " + AccountName(owner);
    BOOL present = FALSE;
    PACL dacl = nullptr;
    if (!::GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted)) return unreadable;
    if (!present || !dacl) return "it has no access list, so everyone can change it";
    std::vector<std::string> others, heirs;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!::GetAce(dacl, i, &ace)) return unreadable;
        const auto* header = static_cast<const ACE_HEADER*>(ace);
        switch (header->AceType) {
        case ACCESS_DENIED_ACE_TYPE:
        case ACCESS_DENIED_OBJECT_ACE_TYPE:
        case ACCESS_DENIED_CALLBACK_ACE_TYPE:
        case ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE:
            continue;
        case ACCESS_ALLOWED_ACE_TYPE:
            break;
        default:
            // A condition or an object type can grant anything to anyone;
            // nothing here tells what.
            return "it has an access entry of a kind that cannot be judged";
        }
        // Inheritable entries of a folder are what each file made in it
        // later gets; on a file they mean nothing.
        const bool inheritable = isFolder && (header->AceFlags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE));
        const bool effective = !(header->AceFlags & INHERIT_ONLY_ACE);
        if (!inheritable && !effective) continue;
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        PSID sid = &allowed->SidStart;
        // CREATOR OWNER stands for whoever makes the new file, and matches
        // no one where it is effective. Making files here is already
        // refused to all but the trusted accounts (the effective entries
        // are judged above), so whoever it becomes is one of them.
        // CREATOR GROUP is not: it becomes the maker's primary group, such
        // as Domain Users.
        if (!(allowed->Mask & kChangeRights) || Trusted(sid, user) || ::IsWellKnownSid(sid, WinCreatorOwnerSid)) continue;
        const std::string name = AccountName(sid);
        for (auto* list : {effective ? &others : nullptr, inheritable ? &heirs : nullptr})
            if (list && std::find(list->begin(), list->end(), name) == list->end()) list->push_back(name);
    }
    auto names = [](const std::vector<std::string>& list) {
        std::string text = list[0];
        for (std::size_t i = 1; i < list.size(); ++i) text += ", " + list[i];
        return text;
    };
    if (!others.empty()) return names(others) + " can change it";
    if (!heirs.empty()) return names(heirs) + " can change what is made in it";
    return {};
}

std::optional<OpenEntry> JudgeEntry(const std::string& path, bool isFolder, const EntryFacts& facts,
                                    DWORD listedAttributes) {
    auto open = [&](std::string who, bool link = false) { return OpenEntry{path, std::move(who), link}; };
    if (facts.error == ERROR_FILE_NOT_FOUND || facts.error == ERROR_PATH_NOT_FOUND) return std::nullopt;
    // Another program holds it open for writing, for deleting, or alone:
    // whatever it writes there now would be used.
    if (facts.error == ERROR_SHARING_VIOLATION) return open("it is held open by another program");
    if ((facts.attributes | listedAttributes) & FILE_ATTRIBUTE_REPARSE_POINT)
        return open("it is a link (reparse point)", true);
    if (facts.error != ERROR_SUCCESS && facts.descriptor.empty())
        return open("its owner and access list cannot be read (error " + std::to_string(facts.error) + ")");
    if (!isFolder && facts.links > 1) return open("it has a second name (hard link)", true);
    // Whatever the name went through on its way (a junction above it, a
    // mount point, a link that Wine resolves unseen), the handle names it.
    const std::string walked = std::string("\\\\?\\") + path;
    if (facts.finalPath.empty()) return open("its final path cannot be read");
    if (!core::EqualIgnoringCase(facts.finalPath, walked)) return open("its final path is " + facts.finalPath, true);
    const std::string who = WhoElseCanChange(facts.descriptor, Os().UserSid(), isFolder);
    if (!who.empty()) return open(who);
    return std::nullopt;
}

std::optional<OpenEntry> CheckEntry(const std::string& path, bool isFolder) {
    EntryFacts facts;
    OsHandle h(Os().InspectEntry(path, isFolder, facts));
    return JudgeEntry(path, isFolder, facts);
}

namespace {

// The install tree holds a few dozen entries a level or two deep; a tree
// deeper than this is not one the program put there.
constexpr int kDeepestLevel = 8;

struct Walked {
    std::string path;
    bool isFolder;
};

// Judges path, then (a folder that is no link) what it holds. all, when
// given, receives every entry walked, each folder before what it holds.
void Walk(const std::string& path, bool isFolder, DWORD listed, int level, std::vector<OpenEntry>& open,
          std::vector<Walked>* all) {
    EntryFacts facts;
    OsHandle h(Os().InspectEntry(path, isFolder, facts));
    if (facts.error == ERROR_FILE_NOT_FOUND || facts.error == ERROR_PATH_NOT_FOUND) return;
    if (all) all->push_back({path, isFolder});
    const auto entry = JudgeEntry(path, isFolder, facts, listed);
    if (entry) open.push_back(*entry);
    if (!isFolder || (entry && entry->link) || !h.Valid()) return;
    if (level >= kDeepestLevel) {
        open.push_back({path, "it lies too deep to be judged"});
        return;
    }
    std::vector<FolderEntry> children;
    if (!Os().ListEntries(path, children)) {
        open.push_back({path, "what it holds cannot be listed (error " + std::to_string(Os().LastError()) + ")"});
        return;
    }
    // The folder stays held while what it holds is walked: it cannot be
    // renamed or swapped for another meanwhile.
    for (const FolderEntry& child : children)
        Walk(path + "\\" + child.name, (child.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0, child.attributes, level + 1,
             open, all);
}

}  // namespace

std::vector<OpenEntry> FindOpenEntries() {
    std::vector<OpenEntry> open;
    Walk(kInstallFolder, true, 0, 0, open, nullptr);
    return open;
}

HeldFile::HeldFile(const std::string& path) {
    // The folders on the way first, from the install folder down: once one
    // is held, nothing below it can be renamed away under us.
    std::vector<std::string> chain;
    const std::string root = kInstallFolder;
    if (path.size() > root.size() && core::EqualIgnoringCase(path.substr(0, root.size()), root) && path[root.size()] == '\\') {
        chain.push_back(root);
        for (std::size_t at = path.find('\\', root.size() + 1); at != std::string::npos; at = path.find('\\', at + 1))
            chain.push_back(path.substr(0, at));
    }
    chain.push_back(path);
    for (std::size_t i = 0; i < chain.size(); ++i) {
        const bool isFolder = i + 1 < chain.size();
        EntryFacts facts;
        HANDLE h = Os().InspectEntry(chain[i], isFolder, facts);
        if (h != INVALID_HANDLE_VALUE && h != nullptr) handles_.push_back(h);
        if (facts.error == ERROR_FILE_NOT_FOUND || facts.error == ERROR_PATH_NOT_FOUND) {
            open_ = OpenEntry{chain[i], "it is not there"};
            missing_ = true;
            return;
        }
        if ((open_ = JudgeEntry(chain[i], isFolder, facts))) return;
        if (h == INVALID_HANDLE_VALUE || h == nullptr) {
            open_ = OpenEntry{chain[i], "it cannot be opened (error " + std::to_string(facts.error) + ")"};
            return;
        }
    }
}

HeldFile::~HeldFile() {
    for (auto it = handles_.rbegin(); it != handles_.rend(); ++it) Os().CloseHandle(*it);
}

std::string DescribeOpenEntries(const std::vector<OpenEntry>& open) {
    std::string text;
    for (std::size_t i = 0; i < open.size() && i < kNamedEntries; ++i)
        text += (i ? "\n" : "") + open[i].path + ": " + open[i].who;
    if (open.size() > kNamedEntries) text += "\nand " + std::to_string(open.size() - kNamedEntries) + " more";
    return text;
}

DWORD SecureInstallFolder() {
    std::vector<OpenEntry> open;
    std::vector<Walked> all;
    Walk(kInstallFolder, true, 0, 0, open, &all);
    // Securing by name through a link would hand whatever it points at,
    // System32 as well, to the lock; a second name shares the file with a
    // folder the lock never reaches. Neither is touched, nor anything else.
    for (const OpenEntry& entry : open) {
        if (!entry.link) continue;
        Log("Folder: not securing " + std::string(kInstallFolder) + ": " + entry.path + ": " + entry.who);
        return kLinksRefused;
    }
    // An elevated token holds both, but disabled: taking the files of other
    // owners needs them, for this step only.
    const auto takeOwnership = EnablePrivilege("SeTakeOwnershipPrivilege");
    const auto restore = EnablePrivilege("SeRestorePrivilege");
    PSECURITY_DESCRIPTOR sd = nullptr;
    ULONG size = 0;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(kFolderLockSddl, SDDL_REVISION_1, &sd, &size))
        return ::GetLastError();
    const std::vector<BYTE> locked(static_cast<BYTE*>(sd), static_cast<BYTE*>(sd) + size);
    ::LocalFree(sd);
    // Each folder before what it holds: once it is locked, nobody else can
    // add to it while the rest is done.
    DWORD error = ERROR_SUCCESS;
    for (const Walked& entry : all) {
        if (Os().SecureEntry(entry.path, entry.isFolder, locked)) continue;
        const DWORD failed = Os().LastError();
        Log("Folder: securing " + entry.path + " failed, error " + std::to_string(failed));
        if (!error) error = failed;
        // A link put in place since the walk: nothing below it is safe to go on with.
        if (failed == kLinksRefused) break;
    }
    Log("Folder: securing " + std::string(kInstallFolder) + (error ? " failed, error " + std::to_string(error) : " done"));
    return error;
}

std::string RestoreList() {
    return std::string("Kavelton.exe, BIOS.dll, UsbScan.dll, Sectorkit.dll and any other .dll in ") + kInstallFolder +
           "\ncopybinFile.bat, ToUSB.bat, " + kFlasherExe + ", fdd.imz\nSystem.txt, SHA256SUMS and the BIOS images in " +
           kRomFolder;
}

bool InstallFolderTrustedAtStart() {
    std::vector<OpenEntry> open = FindOpenEntries();
    if (open.empty()) {
        Log("Folder: " + std::string(kInstallFolder) + " is secure");
        return true;
    }
    Log("Folder: open: " + DescribeOpenEntries(open));
    const std::string question =
        "Users other than administrators can change the folder of Kavelton, or files that it uses with "
        "administrator rights:\n\n" +
        DescribeOpenEntries(open) +
        "\n\nAny of them could run programs of their own with administrator rights through Kavelton, or put "
        "an altered BIOS image or flasher in place.\n\nDo you want Kavelton to secure " +
        kInstallFolder +
        " now? Afterwards only administrators can change the folder and its files; users can still read "
        "them.\nYes secures it and ends Kavelton: restore its files, then start it again. No ends Kavelton.";
    if (!Boxes().Ask(Question::SecureFolder, question, kTitle, MB_ICONWARNING)) {
        EventFolder(false, DescribeOpenEntries(open));
        return false;
    }
    Log("Folder: secure answered Yes");
    const DWORD error = SecureInstallFolder();
    open = FindOpenEntries();
    EventFolder(open.empty(), DescribeOpenEntries(open));
    // Whatever the folder held while it was open may be someone else's by
    // now, and a lock takes nothing from handles opened before it: nothing
    // of it is used in this run.
    if (open.empty()) {
        Boxes().Tell(std::string(kInstallFolder) +
                         " is secured: only administrators can change it now.\n\nWhile it was open, others could "
                         "have changed the files that Kavelton loads, runs or believes:\n\n" +
                         RestoreList() + "\n\nRestore them, then start Kavelton again: " + kRestoreHow +
                         ".\n\nKavelton ends now.",
                     kTitle, MB_ICONWARNING);
        return false;
    }
    Boxes().Tell(std::string(kInstallFolder) + " could not be secured" +
                         (error ? " (error " + std::to_string(error) + ")" : std::string()) + ". Still open:\n\n" +
                         DescribeOpenEntries(open) +
                         "\n\nKavelton ends. " +
                         (error == kLinksRefused ? std::string(kRemoveLinks)
                                                 : "An administrator can give these to Administrators alone, or run "
                                                   "Kavelton.exe /secure."),
                 kTitle, MB_ICONERROR);
    return false;
}

}  // namespace kv
