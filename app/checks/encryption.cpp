#include "checks/encryption.h"

#include <wbemidl.h>

#include <cstdio>
#include <utility>

#include "com_method_source.h"
#include "common/run_log.h"

namespace kv {
namespace {

const wchar_t kEncryptionNameSpace[] = L"root\\CIMV2\\Security\\MicrosoftVolumeEncryption";
const wchar_t kVolumeClass[] = L"Win32_EncryptableVolume";

std::string Hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
    return text;
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

wmi::MethodSource* g_encryptionSource = nullptr;

}  // namespace

wmi::MethodSource& EncryptionSource() {
    static wmi::ComMethodSource real;
    return g_encryptionSource ? *g_encryptionSource : real;
}

void SetEncryptionSource(wmi::MethodSource* source) { g_encryptionSource = source; }

bool DriveEncryption::Check(const std::string& systemDrive, int restarts) {
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
    const std::string count = restarts == 1 ? "one restart" : std::to_string(restarts) + " restarts";
    // Suspended until someone resumes it is not what was asked for.
    if (!hasCount && restarts > 1) {
        dialogue_.Tell("Drive " + systemDrive + " is protected by drive encryption (BitLocker), and this Windows "
                           "cannot limit a suspension to " + count + ".\nThe BIOS is not flashed.",
                       kFlashTitle, MB_ICONERROR);
        return false;
    }
    std::string text = "Drive " + systemDrive +
                       " is protected by drive encryption (BitLocker).\n"
                       "A BIOS update changes what the encryption trusts: unless the protection is "
                       "suspended, Windows asks for the recovery key at the next start.\n\n"
                       "Do you want to suspend the protection for " + count + " and flash the BIOS?";
    if (!hasCount)
        text += "\n\nThis Windows cannot limit the suspension to one restart: after the restart, resume "
                "the protection in BitLocker Drive Encryption of the Control Panel.";
    if (!dialogue_.Ask(Question::SuspendEncryption, text, kFlashTitle, MB_ICONWARNING)) {
        Log("Encryption: suspension declined, stopped");
        return false;
    }
    std::vector<wmi::MethodParameter> in;
    if (hasCount) in.push_back({L"DisableCount", static_cast<std::uint32_t>(restarts)});
    hr = source_.ExecMethod(path, kVolumeClass, L"DisableKeyProtectors", in, out);
    if (SUCCEEDED(hr)) hr = MethodResult(out, nullptr);
    if (hr != S_OK) {
        dialogue_.Tell("The drive encryption protection of drive " + systemDrive + " could not be suspended (error " +
                           Hex(hr) + ").\nThe BIOS is not flashed.",
                       kFlashTitle, MB_ICONERROR);
        return false;
    }
    suspendedPath_ = path;
    Log(hasCount ? "Encryption: suspended for " + count : std::string("Encryption: suspended until resumed"));
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
