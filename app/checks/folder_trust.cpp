#include "checks/folder_trust.h"

#include <sddl.h>

#include <algorithm>

#include "commands.h"
#include "common/dialogue.h"
#include "common/events.h"
#include "common/install_paths.h"
#include "common/privileges.h"
#include "common/run_log.h"
#include "common/text.h"
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

// What the program loads, runs or believes, besides the folders and any
// library beside them (a vendor's BIOS.dll finds its own imports there).
const char* const kTrustedFiles[] = {"Kavelton.exe",  "BIOS.dll", "UsbScan.dll", "Sectorkit.dll",
                                     "copybinFile.bat", "ToUSB.bat", kFlasherExe,  "fdd.imz",
                                     "System.txt",    "SHA256SUMS", "Signers.txt", "LastUpdate.txt"};

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

std::string WhoElseCanChange(const std::vector<BYTE>& descriptor, const std::vector<BYTE>& user) {
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
    std::vector<std::string> others;
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
        if (header->AceFlags & INHERIT_ONLY_ACE) continue;
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        PSID sid = &allowed->SidStart;
        if (!(allowed->Mask & kChangeRights) || Trusted(sid, user)) continue;
        const std::string name = AccountName(sid);
        if (std::find(others.begin(), others.end(), name) == others.end()) others.push_back(name);
    }
    if (others.empty()) return {};
    std::string who = others[0];
    for (std::size_t i = 1; i < others.size(); ++i) who += ", " + others[i];
    return who + " can change it";
}

std::optional<OpenEntry> CheckEntry(const std::string& path) {
    std::vector<BYTE> descriptor;
    const DWORD error = Os().ReadSecurity(path, descriptor);
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return std::nullopt;
    std::string who = error == ERROR_SUCCESS
                          ? WhoElseCanChange(descriptor, Os().UserSid())
                          : "its owner and access list cannot be read (error " + std::to_string(error) + ")";
    if (who.empty()) return std::nullopt;
    return OpenEntry{path, who};
}

std::vector<OpenEntry> FindOpenEntries() {
    std::vector<std::string> paths = {kInstallFolder, kRomFolder};
    for (const char* name : kTrustedFiles) paths.push_back(InstallPath(name));
    std::vector<FolderEntry> libraries;
    if (Os().ListFolder(InstallPath("*.dll"), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, libraries)) {
        for (const FolderEntry& library : libraries) {
            const std::string path = InstallPath(library.name);
            bool listed = false;
            for (const std::string& known : paths) listed = listed || core::EqualIgnoringCase(known, path);
            if (!listed) paths.push_back(path);
        }
    }
    std::vector<OpenEntry> open;
    for (const std::string& path : paths)
        if (auto entry = CheckEntry(path)) open.push_back(*entry);
    return open;
}

std::string DescribeOpenEntries(const std::vector<OpenEntry>& open) {
    std::string text;
    for (std::size_t i = 0; i < open.size() && i < kNamedEntries; ++i)
        text += (i ? "\n" : "") + open[i].path + ": " + open[i].who;
    if (open.size() > kNamedEntries) text += "\nand " + std::to_string(open.size() - kNamedEntries) + " more";
    return text;
}

DWORD SecureInstallFolder() {
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
    const DWORD error = Os().ResetSecurityTree(kInstallFolder, locked);
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
                         "\n\nKavelton ends. An administrator can give these to Administrators alone, or run "
                         "Kavelton.exe /secure.",
                 kTitle, MB_ICONERROR);
    return false;
}

}  // namespace kv
