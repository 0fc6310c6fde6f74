// Who may sign the flasher and the libraries, through the fake platform with
// what WinVerifyTrust answers on Windows.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "checks/signature.h"
#include "common/install_paths.h"
#include "common/run_log.h"
#include "fake_platform.h"

namespace kv {
namespace {

using test::Has;

const std::string kLeaf = "DER leaf: Other Maker", kIssuer = "DER CA: Other Maker CA";

TEST(Signature, OnlyAValidSignatureOfOneWhoMaySignPasses) {
    const SignatureInfo other{S_OK, 1, {kLeaf, kIssuer}, "Other Maker"};
    struct Case {
        const char* what;
        const char* file;  // WinFlash64.exe or a library
        std::optional<SignatureInfo> signature;  // none: signed as Kavelton.exe is
        std::optional<std::string> list;         // Signers.txt; none: there is none
        bool allowed;
        const char* says;  // in the box (flasher) or the event (library)
        bool verified;     // WinVerifyTrust asked
    };
    const std::string issuerLine = "cert " + std::string(64, '2') + " Other CA\r\n";
    const Case cases[] = {
        {"unsigned", "WinFlash64.exe", SignatureInfo{TRUST_E_NOSIGNATURE}, std::nullopt, false, "is not signed", true},
        {"changed", "WinFlash64.exe", SignatureInfo{TRUST_E_BAD_DIGEST, 1, {kLeaf, kIssuer}, "Other Maker"},
         issuerLine, false, "is not valid (0x80096010)", true},
        {"valid but not named", "WinFlash64.exe", other, "cert " + std::string(64, '9') + "\n", false,
         "signed by \"Other Maker\", which C:\\KAVELTON\\Signers.txt does not name", true},
        {"no list: Windows trusts it", "WinFlash64.exe", other, std::nullopt, true, "", true},
        {"named by its leaf", "WinFlash64.exe", other, "cert " + std::string(64, '1') + "\n", true, "", true},
        {"named by its issuer", "WinFlash64.exe", other, issuerLine, true, "", true},
        {"a file line, unsigned", "WinFlash64.exe", SignatureInfo{TRUST_E_NOSIGNATURE},
         "file " + std::string(64, '3') + " winflash64.exe\n", true, "", false},
        {"a file line of other bytes", "WinFlash64.exe", SignatureInfo{TRUST_E_NOSIGNATURE},
         "file " + std::string(64, '4') + " WinFlash64.exe\n", false, "is not signed", true},
        {"zero signers", "WinFlash64.exe", SignatureInfo{S_OK, 0, {}, ""}, std::nullopt, false, "names no signer",
         true},
        {"an empty list", "WinFlash64.exe", other, "# nobody yet\r\n", false, "names nobody", true},
        {"a damaged list", "WinFlash64.exe", other, issuerLine + "cert 12\n", false, "line 2 is not", true},
        {"a library of another maker", "BIOS.dll", other, std::nullopt, false,
         "signed by \"Other Maker\", not by the publisher of Kavelton.exe", true},
        {"a library named by the list", "BIOS.dll", other, issuerLine, true, "", true},
        {"our own library, whatever the list", "BIOS.dll", std::nullopt, "cert 12\n", true, "", true},
        {"an unsigned library", "UsbScan.dll", SignatureInfo{TRUST_E_NOSIGNATURE}, issuerLine, false,
         "UsbScan.dll is not signed", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::ScopedFake scoped;
        test::FakePlatform& fake = scoped.fake;
        ForgetOwnSignature();
        fake.libraries[c.file] = {};
        fake.digests[kLeaf] = std::string(32, '\x11');
        fake.digests[kIssuer] = std::string(32, '\x22');
        fake.digests["MZ flasher"] = std::string(32, '\x33');
        const std::string path = InstallPath(c.file);
        if (c.signature) fake.signatures[path] = *c.signature;
        if (c.list) {
            fake.files[kSignerListPath].bytes = *c.list;
            fake.folders[kSignerListPath] = {{"Signers.txt", 0}};
        }
        bool allowed = false;
        std::string said;
        if (std::string(c.file) == kFlasherExe) {
            const HeldFile held(path);
            allowed = FlasherSignatureAccepted(held.handle(), "Flash", Boxes());
            said = fake.messages.empty() ? "" : fake.messages[0].text;
            EXPECT_EQ(fake.messages.size(), allowed ? 0u : 1u);
        } else {
            allowed = LoadCheckedLibrary(c.file, kInstallLibraryFlags)->get() != nullptr;
            EXPECT_EQ(fake.CallCount("LoadLib"), allowed ? 1 : 0) << "a refused library is never loaded";
            EXPECT_TRUE(fake.messages.empty());
            EXPECT_EQ(fake.events.size(), allowed ? 0u : 1u);
            if (!fake.events.empty()) {
                EXPECT_EQ(fake.events[0].inserts[2], L"signature");
                said = std::string(fake.events[0].inserts[3].begin(), fake.events[0].inserts[3].end());
            }
        }
        EXPECT_EQ(allowed, c.allowed);
        EXPECT_TRUE(Has(said, c.says)) << said;
        EXPECT_EQ(fake.CallCount("VerifyEmbeddedSignature"), c.verified ? 1 : 0);
        // Kavelton.exe's own signature, the dearest check, only where nothing
        // else decides: a valid library signature that the list does not name.
        const bool library = std::string(c.file) != kFlasherExe;
        const bool own = library && (!c.signature || c.signature->trust == S_OK) && !Has(c.what, "named by");
        EXPECT_EQ(fake.CallCount("OwnSignature"), own ? 1 : 0);
        ReleaseRunLog();
        if (!library || !allowed) EXPECT_TRUE(Has(fake.RunLog(), "Signature: ")) << "the run log says what was found";
        EXPECT_EQ(fake.openHandles(), 0);
        EXPECT_EQ(fake.openHashes(), 0);
    }
}

}  // namespace
}  // namespace kv
