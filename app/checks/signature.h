// Whether a program or library of the install folder may run with our
// rights: its embedded Authenticode signature, and who signed it, against
// C:\KAVELTON\Signers.txt. The dialogs, /flash and /scan all ask here.
#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "checks/folder_trust.h"
#include "checksums.h"
#include "common/dialogue.h"
#include "platform.h"

namespace kv {

enum class SignatureState {
    Signed,        // validly signed by one who may sign it
    FileListed,    // a "file" line of the list allows it by its checksum
    Unreadable,    // the file cannot be opened or read
    NotSigned,
    Invalid,       // the signature does not verify: changed, or not trusted
    NoSigner,      // a signature that names nobody
    NotListed,     // signed, but by one who may not sign it
    ListUnusable,  // the list is there, but empty, damaged or unreadable
};

// A flasher may be signed by anyone the list names, or without a list by
// anyone Windows trusts. A library must be signed as Kavelton.exe is, or by
// one the list names.
enum class SignedFile { Flasher, Library };

struct SignatureVerdict {
    SignatureState state = SignatureState::Unreadable;
    HRESULT trust = S_OK;
    std::string signer;                      // the leaf's display name
    std::vector<core::Sha256Digest> chain;   // SHA-256 of each certificate, leaf first
    std::optional<core::Sha256Digest> file;  // the file's own SHA-256, where it was taken
    std::size_t badLine = 0;                 // ListUnusable: the damaged line, 0 if none
    bool listEmpty = false;                  // ListUnusable: it holds no line
    bool noList = false;                     // there was no list to ask
    bool Allowed() const { return state == SignatureState::Signed || state == SignatureState::FileListed; }
};

// The rule, for the open file of the install folder called name
// ("WinFlash64.exe"). The file is hashed only where a "file" line names it
// or hashFile asks; a file that a line allows is not verified further.
SignatureVerdict JudgeSignature(HANDLE file, const std::string& name, SignedFile kind, bool hashFile = false);

// What was found, in one sentence for a box, the log and the event.
std::string DescribeSignature(const SignatureVerdict& verdict, const std::string& name, SignedFile kind);

// The flasher held open by flasher: true when it may start. Otherwise a box
// with title has said why, and the run log has a line; the event is the
// caller's.
bool FlasherSignatureAccepted(HANDLE flasher, const char* title, Dialogue& dialogue);

// A library of the install folder, loaded with flags only when the folder
// walk and the signature rule allow it, and held from its check until it is
// unloaded. A refused one is not loaded (get() is null); its log line, and
// for a signature its event, say why. One that is not there is left to the
// caller to report, as any library that fails to load.
class CheckedLibrary {
public:
    CheckedLibrary(const std::string& name, DWORD flags);
    HMODULE get() const { return library_ ? library_->get() : nullptr; }
    FARPROC Find(const char* name) const { return library_ ? library_->Find(name) : nullptr; }

private:
    HeldFile held_;  // first in, last out: the library goes before its hold
    std::optional<OsLibrary> library_;
};
std::unique_ptr<CheckedLibrary> LoadCheckedLibrary(const std::string& name, DWORD flags);

// The running program's signature is read once per platform; a test that
// changes it in its fake forgets what was read.
void ForgetOwnSignature();

}  // namespace kv
