// Drive encryption (BitLocker) of the system drive: a BIOS update changes
// what the encryption trusts, so it is suspended for one restart first.
#pragma once

#include <string>

#include "common/dialogue.h"
#include "method_source.h"

namespace kv {

// The WMI used for drive encryption: the real one unless a test installed
// another (nullptr restores the real one).
wmi::MethodSource& EncryptionSource();
void SetEncryptionSource(wmi::MethodSource* source);

// Drive encryption of the system drive. When protection is on, offers to
// suspend it for one restart; the suspension is undone by Resume() when the
// flash does not happen after all.
class DriveEncryption {
public:
    explicit DriveEncryption(Dialogue& dialogue, wmi::MethodSource& source = EncryptionSource())
        : dialogue_(dialogue), source_(source) {}
    DriveEncryption(const DriveEncryption&) = delete;
    DriveEncryption& operator=(const DriveEncryption&) = delete;

    // restarts: how many restarts the suspension lasts (1 to 15), where
    // Windows can limit it; where it cannot, more than one is refused.
    bool Check(const std::string& systemDrive, int restarts = 1);
    bool Suspended() const { return !suspendedPath_.empty(); }
    // Resumes a suspension made by Check(); tells the user when it fails.
    void Resume();

private:
    Dialogue& dialogue_;
    wmi::MethodSource& source_;
    std::wstring suspendedPath_;
};

}  // namespace kv
