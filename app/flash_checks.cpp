#include "flash_checks.h"

#include <wbemidl.h>

#include <algorithm>
#include <cstdio>
#include <utility>

#include "checksums.h"
#include "com_method_source.h"
#include "platform.h"
#include "run_log.h"

namespace kv {
namespace {

constexpr DWORD kHashChunk = 64 * 1024;
constexpr BYTE kNoBattery = 128;
constexpr BYTE kUnknownBattery = 255;
constexpr BYTE kLowCharge = 20;

const wchar_t kEncryptionNameSpace[] = L"root\\CIMV2\\Security\\MicrosoftVolumeEncryption";
const wchar_t kVolumeClass[] = L"Win32_EncryptableVolume";

std::string Hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

// The image's SHA-256; false when it cannot be read or hashed.
bool HashImage(const std::string& path, core::Sha256Digest& digest) {
    OsHandle file(Os().OpenFile(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN));
    if (!file.Valid()) return false;
    HANDLE hash = Os().HashBegin();
    if (!hash) return false;
    bool ok = true;
    std::string chunk(kHashChunk, '\0');
    for (;;) {
        DWORD n = 0;
        if (!Os().ReadFile(file.get(), chunk.data(), kHashChunk, &n)) {
            ok = false;
            break;
        }
        if (n == 0) break;
        if (!Os().HashData(hash, chunk.data(), n)) {
            ok = false;
            break;
        }
    }
    unsigned char bytes[32] = {};
    ok = ok && Os().HashFinish(hash, bytes);
    Os().HashEnd(hash);
    if (ok) std::copy(std::begin(bytes), std::end(bytes), digest.begin());
    return ok;
}

// A method's own result: its ReturnValue (an HRESULT for these methods), or
// a failure when an out-parameter it must give is missing.
HRESULT MethodResult(const wmi::MethodOutput& out, const wchar_t* required) {
    const auto result = out.find(L"ReturnValue");
    if (result == out.end()) return WBEM_E_NOT_FOUND;
    if (result->second != 0) return static_cast<HRESULT>(result->second);
    if (required && !out.count(required)) return WBEM_E_NOT_FOUND;
    return S_OK;
}

bool ListExists() {
    std::vector<FolderEntry> entries;
    return Os().ListFolder(kChecksumListPath,
                           FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, entries) &&
           !entries.empty();
}

}  // namespace

bool CheckImageChecksum(const std::string& image, const char* errorTitle, Dialogue& dialogue) {
    auto Box = [&dialogue](const std::string& text, const char* title, UINT style) {
        dialogue.Tell(text, title, style & MB_ICONMASK);
    };
    if (!ListExists()) {
        Log("Checksum: " + image + " not verified (no checksum list)");
        return true;
    }
    std::string bytes;
    if (!Os().ReadWholeFile(kChecksumListPath, bytes)) {
        Box(std::string("The checksum list ") + kChecksumListPath +
                " cannot be read.\nThe BIOS image is not used.",
            errorTitle, MB_OK | MB_ICONERROR);
        return false;
    }
    const core::ChecksumList list = core::ParseChecksumList(bytes);
    if (list.Empty()) {
        Box(std::string("The checksum list ") + kChecksumListPath +
                " is damaged: it holds no checksum line.\nThe BIOS image is not used.",
            errorTitle, MB_OK | MB_ICONERROR);
        return false;
    }
    if (!list.Ok()) {
        Box(std::string("The checksum list ") + kChecksumListPath + " is damaged: line " +
                std::to_string(list.badLine) +
                " is not a checksum line.\nThe BIOS image is not used.",
            errorTitle, MB_OK | MB_ICONERROR);
        return false;
    }
    const auto listed = core::ListedDigests(list, image);
    // A list that is there was put there to protect: an image it does not
    // name is refused, not passed over.
    if (listed.empty()) {
        Log("Checksum: " + image + " refused (not listed in " + kChecksumListPath + ")");
        Box("The BIOS image " + image + " is not listed in the checksum list " + kChecksumListPath +
                ".\nThe BIOS image is not used.\n\nTo use it, add its line to the list: its SHA-256 "
                "checksum, two blanks and ROM/" + image + ", as \"sha256sum ROM/*\" writes it in C:\\KAVELTON.",
            errorTitle, MB_OK | MB_ICONERROR);
        return false;
    }
    core::Sha256Digest actual{};
    if (!HashImage(RomPath(image), actual)) {
        Box("The checksum of the BIOS image " + image + " cannot be computed:\nthe file cannot be read.",
            errorTitle, MB_OK | MB_ICONERROR);
        return false;
    }
    for (const auto& digest : listed) {
        if (digest != actual) {
            Box("The BIOS image " + image + " does not match its checksum in " + kChecksumListPath +
                    ".\nThe file may be damaged or altered. It is not used.",
                errorTitle, MB_OK | MB_ICONERROR);
            Log("Checksum: " + image + " is " + core::DigestText(actual) + ", listed " +
                core::DigestText(digest));
            return false;
        }
    }
    Log("Checksum: " + image + " verified");
    return true;
}

bool CheckPower(Dialogue& dialogue) {
    SYSTEM_POWER_STATUS power{};
    if (!Os().GetPowerStatus(power)) {
        Log("Power: status cannot be read");
        return true;
    }
    Log("Power: AC line " + std::to_string(power.ACLineStatus) + ", battery flag " +
        std::to_string(power.BatteryFlag) + ", charge " + std::to_string(power.BatteryLifePercent));
    // Without a battery (or with one that tells nothing) the AC line figure
    // is not a reason to refuse.
    if (power.BatteryFlag == kNoBattery || power.BatteryFlag == kUnknownBattery) return true;
    if (power.ACLineStatus == 0) {
        dialogue.Tell("The computer runs on battery power.\nPlease connect the AC adapter before you flash the BIOS!",
                      kFlashTitle, MB_ICONERROR);
        return false;
    }
    if (power.ACLineStatus == 1 && power.BatteryLifePercent < kLowCharge) {
        const bool yes = dialogue.Ask(Question::LowBattery,
                                      "The battery is charged only " + std::to_string(power.BatteryLifePercent) +
                                          "%.\nIf the power fails during the flash, the computer may not start "
                                          "again.\nDo you want to flash the BIOS anyway?",
                                      kFlashTitle, MB_ICONWARNING);
        Log(yes ? "Power: low battery, flash anyway" : "Power: low battery, stopped");
        return yes;
    }
    return true;
}

std::string SystemDrive() {
    const std::string folder = Os().WindowsFolder();
    if (folder.size() < 2 || folder[1] != ':') return {};
    return folder.substr(0, 2);
}

namespace {
wmi::MethodSource* g_encryptionSource = nullptr;
}

wmi::MethodSource& EncryptionSource() {
    static wmi::ComMethodSource real;
    return g_encryptionSource ? *g_encryptionSource : real;
}

void SetEncryptionSource(wmi::MethodSource* source) { g_encryptionSource = source; }

bool DriveEncryption::Check(const std::string& systemDrive) {
    struct Connection {
        wmi::MethodSource& source;
        ~Connection() { source.Disconnect(); }
    } connection{source_};

    auto cannotTell = [&](const char* step, HRESULT hr) {
        Log(std::string("Encryption: ") + step + " failed, " + Hex(hr));
        return dialogue_.Ask(Question::EncryptionUnknown,
                             "Whether drive " + systemDrive + " is protected by drive encryption (BitLocker) "
                                 "cannot be told (" + step + ": error " + Hex(hr) + ").\n\n"
                                 "If it is, suspend the protection yourself before the flash; otherwise Windows "
                                 "asks for the recovery key at the next start.\n\nDo you want to flash the BIOS now?",
                             kFlashTitle, MB_ICONWARNING);
    };

    const std::wstring drive(systemDrive.begin(), systemDrive.end());
    HRESULT hr = source_.Connect(kEncryptionNameSpace);
    if (hr == static_cast<HRESULT>(WBEM_E_INVALID_NAMESPACE)) {
        Log("Encryption: not available");
        return true;
    }
    if (FAILED(hr)) return cannotTell("connect", hr);
    if (drive.empty()) return cannotTell("system drive", E_FAIL);
    std::wstring path;
    hr = source_.FindInstance(kVolumeClass, L"DriveLetter", drive, path);
    if (hr == static_cast<HRESULT>(WBEM_E_INVALID_CLASS) || hr == S_FALSE) {
        Log("Encryption: " + systemDrive + " is not an encryptable volume");
        return true;
    }
    if (FAILED(hr)) return cannotTell("find volume", hr);

    wmi::MethodOutput out;
    hr = source_.ExecMethod(path, kVolumeClass, L"GetProtectionStatus", {}, out);
    if (SUCCEEDED(hr)) hr = MethodResult(out, L"ProtectionStatus");
    if (hr != S_OK) return cannotTell("protection status", hr);
    const std::uint32_t status = out.at(L"ProtectionStatus");
    Log("Encryption: protection status " + std::to_string(status));
    if (status == 0) return true;

    bool hasCount = false;
    hr = source_.HasInParameter(kVolumeClass, L"DisableKeyProtectors", L"DisableCount", hasCount);
    if (FAILED(hr)) return cannotTell("suspend method", hr);
    std::string text = "Drive " + systemDrive +
                       " is protected by drive encryption (BitLocker).\n"
                       "A BIOS update changes what the encryption trusts: unless the protection is "
                       "suspended, Windows asks for the recovery key at the next start.\n\n"
                       "Do you want to suspend the protection for one restart and flash the BIOS?";
    if (!hasCount)
        text += "\n\nThis Windows cannot limit the suspension to one restart: after the restart, resume "
                "the protection in BitLocker Drive Encryption of the Control Panel.";
    if (!dialogue_.Ask(Question::SuspendEncryption, text, kFlashTitle, MB_ICONWARNING)) {
        Log("Encryption: suspension declined, stopped");
        return false;
    }
    std::vector<wmi::MethodParameter> in;
    if (hasCount) in.push_back({L"DisableCount", 1});
    hr = source_.ExecMethod(path, kVolumeClass, L"DisableKeyProtectors", in, out);
    if (SUCCEEDED(hr)) hr = MethodResult(out, nullptr);
    if (hr != S_OK) {
        dialogue_.Tell("The drive encryption protection of drive " + systemDrive + " could not be suspended (error " +
                           Hex(hr) + ").\nThe BIOS is not flashed.",
                       kFlashTitle, MB_ICONERROR);
        return false;
    }
    suspendedPath_ = path;
    Log(hasCount ? "Encryption: suspended for one restart" : "Encryption: suspended until resumed");
    return true;
}

void DriveEncryption::Resume() {
    if (suspendedPath_.empty()) return;
    const std::wstring path = std::exchange(suspendedPath_, std::wstring());
    HRESULT hr = source_.Connect(kEncryptionNameSpace);
    wmi::MethodOutput out;
    if (SUCCEEDED(hr)) hr = source_.ExecMethod(path, kVolumeClass, L"EnableKeyProtectors", {}, out);
    source_.Disconnect();
    if (SUCCEEDED(hr)) hr = MethodResult(out, nullptr);
    if (hr == S_OK) {
        Log("Encryption: protection resumed");
        return;
    }
    dialogue_.Tell("The drive encryption protection could not be resumed (error " + Hex(hr) +
                       ").\nPlease resume it in BitLocker Drive Encryption of the Control Panel.",
                   kFlashTitle, MB_ICONERROR);
}

}  // namespace kv
