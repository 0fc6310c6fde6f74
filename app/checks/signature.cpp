#include "checks/signature.h"

#include <algorithm>
#include <cstdio>

#include "checks/image_checksum.h"
#include "common/events.h"
#include "common/install_paths.h"
#include "common/run_log.h"
#include "signers.h"

namespace kv {
namespace {

enum class ListState { None, Ok, Unusable };

ListState ReadSignerList(core::SignerList& list, SignatureVerdict& verdict) {
    std::vector<FolderEntry> entries;
    if (!Os().ListFolder(kSignerListPath, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM,
                         entries) ||
        entries.empty()) {
        verdict.noList = true;
        return ListState::None;
    }
    std::string bytes;
    const HeldFile held(kSignerListPath);
    if (held.open() || !Os().ReadWholeFile(kSignerListPath, bytes)) return ListState::Unusable;
    list = core::ParseSignerList(bytes);
    verdict.badLine = list.badLine;
    verdict.listEmpty = list.Empty();
    return list.Ok() ? ListState::Ok : ListState::Unusable;
}

bool HashBytes(const std::string& bytes, core::Sha256Digest& digest) {
    Sha256Hash* hash = Os().HashBegin();
    if (!hash) return false;
    unsigned char out[32] = {};
    const bool ok = Os().HashData(hash, bytes.data(), static_cast<DWORD>(bytes.size())) && Os().HashFinish(hash, out);
    Os().HashEnd(hash);
    if (ok) std::copy(std::begin(out), std::end(out), digest.begin());
    return ok;
}

struct OwnCache {
    const Platform* platform = nullptr;
    SignatureInfo info;
};
OwnCache g_own;

// Verifying Kavelton.exe is the dearest check of a start; a library whose
// signer the list names never needs it, and the answer is kept.
const SignatureInfo& OwnSignatureOnce() {
    if (g_own.platform != &Os()) {
        g_own.info = Os().OwnSignature();
        g_own.platform = &Os();
    }
    return g_own.info;
}

bool SignedAsWeAre(const SignatureInfo& info) {
    const SignatureInfo& own = OwnSignatureOnce();
    return own.trust == S_OK && own.signers == 1 && !own.chain.empty() && own.chain.front() == info.chain.front();
}

std::string HexOf(HRESULT value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(value));
    return text;
}

}  // namespace

void ForgetOwnSignature() { g_own = {}; }

SignatureVerdict JudgeSignature(HANDLE file, const std::string& name, SignedFile kind, bool hashFile) {
    SignatureVerdict verdict;
    if (file == nullptr || file == INVALID_HANDLE_VALUE) return verdict;
    core::SignerList list;
    const ListState listState = ReadSignerList(list, verdict);
    // Hashing first is the cheaper order: a file that a line allows by the
    // checksum needs no verification at all.
    if (hashFile || (listState == ListState::Ok && core::HasFileLine(list, name))) {
        core::Sha256Digest digest{};
        if (!HashOpenFile(file, digest) || !Os().SetFilePointerBegin(file, 0)) return verdict;
        verdict.file = digest;
        if (listState == ListState::Ok && core::AllowsFile(list, name, digest)) {
            verdict.state = SignatureState::FileListed;
            return verdict;
        }
    }
    const SignatureInfo info = Os().VerifyEmbeddedSignature(file, InstallPath(name));
    verdict.trust = info.trust;
    verdict.signer = info.signerName;
    for (const std::string& certificate : info.chain) {
        core::Sha256Digest digest{};
        if (!HashBytes(certificate, digest)) return verdict;
        verdict.chain.push_back(digest);
    }
    if (info.trust == TRUST_E_NOSIGNATURE || info.trust == TRUST_E_SUBJECT_FORM_UNKNOWN)
        verdict.state = SignatureState::NotSigned;
    else if (info.trust != S_OK)
        verdict.state = SignatureState::Invalid;
    else if (info.signers == 0 || info.chain.empty())
        verdict.state = SignatureState::NoSigner;
    else if (listState == ListState::Ok &&
             std::any_of(verdict.chain.begin(), verdict.chain.end(),
                         [&list](const core::Sha256Digest& d) { return core::NamesCertificate(list, d); }))
        verdict.state = SignatureState::Signed;
    // Our own libraries come with us, whatever the list says of others.
    else if (kind == SignedFile::Library && SignedAsWeAre(info))
        verdict.state = SignatureState::Signed;
    else if (listState == ListState::Unusable)
        verdict.state = SignatureState::ListUnusable;
    else if (listState == ListState::None && kind == SignedFile::Flasher)
        verdict.state = SignatureState::Signed;
    else
        verdict.state = SignatureState::NotListed;
    return verdict;
}

std::string DescribeSignature(const SignatureVerdict& verdict, const std::string& name, SignedFile kind) {
    switch (verdict.state) {
    case SignatureState::Signed:
        return name + " is signed by \"" + verdict.signer + "\"" + (verdict.noList ? " (no signer list)" : "");
    case SignatureState::FileListed:
        return name + " is allowed by its checksum in " + kSignerListPath;
    case SignatureState::Unreadable:
        return name + " cannot be read";
    case SignatureState::NotSigned:
        return name + " is not signed";
    case SignatureState::Invalid:
        return "the signature of " + name + " is not valid (" + HexOf(verdict.trust) +
               "): the file was changed after it was signed, or Windows does not trust its certificate";
    case SignatureState::NoSigner:
        return "the signature of " + name + " names no signer";
    case SignatureState::NotListed:
        if (verdict.noList)
            return name + " is signed by \"" + verdict.signer + "\", not by the publisher of Kavelton.exe";
        return name + " is signed by \"" + verdict.signer + "\", which " + kSignerListPath +
               (kind == SignedFile::Library ? " does not name (nor is it the publisher of Kavelton.exe)"
                                            : " does not name");
    case SignatureState::ListUnusable:
        break;
    }
    if (verdict.listEmpty) return std::string("the signer list ") + kSignerListPath + " is damaged: it names nobody";
    if (verdict.badLine)
        return std::string("the signer list ") + kSignerListPath + " is damaged: line " +
               std::to_string(verdict.badLine) + " is not a cert or file line";
    return std::string("the signer list ") + kSignerListPath + " cannot be read";
}

bool FlasherSignatureAccepted(HANDLE flasher, const char* title, Dialogue& dialogue) {
    const SignatureVerdict verdict = JudgeSignature(flasher, kFlasherExe, SignedFile::Flasher);
    const std::string text = DescribeSignature(verdict, kFlasherExe, SignedFile::Flasher);
    if (verdict.Allowed()) {
        Log("Signature: " + text);
        return true;
    }
    Log("Signature: " + std::string(kFlasherExe) + " refused: " + text);
    std::string box = std::string(kFlasherPath) + " is not started:\n" + text + ".";
    if (verdict.state == SignatureState::NotListed && !verdict.chain.empty())
        box += "\n\nIts certificate's SHA-256 is " + core::DigestText(verdict.chain.front()) + ".";
    dialogue.Tell(box, title, MB_ICONERROR);
    return false;
}

CheckedLibrary::CheckedLibrary(const std::string& name, DWORD flags) : held_(InstallPath(name)) {
    if (held_.missing()) return;
    if (const auto& open = held_.open()) {
        Log("Signature: " + name + " not loaded: " + open->path + ": " + open->who);
        return;
    }
    const SignatureVerdict verdict = JudgeSignature(held_.handle(), name, SignedFile::Library);
    const std::string text = DescribeSignature(verdict, name, SignedFile::Library);
    if (!verdict.Allowed()) {
        Log("Signature: " + name + " not loaded: " + text);
        EventLibraryRefused(name, text);
        return;
    }
    library_.emplace(InstallPath(name), flags);
}

std::unique_ptr<CheckedLibrary> LoadCheckedLibrary(const std::string& name, DWORD flags) {
    return std::make_unique<CheckedLibrary>(name, flags);
}

}  // namespace kv
