// The checks a run makes before anything is written or started: the image's
// checksum, the power supply, and drive encryption. Each shows its own boxes
// (no owner, topmost) and returns whether the run may go on.
#pragma once

#include <string>

#include "dialogue.h"
#include "install_paths.h"
#include "method_source.h"

namespace kv {

inline constexpr char kFlashTitle[] = "Flash BIOS in windows";

// Compares the image in C:\KAVELTON\ROM with its digest in the checksum
// list. Without a list it goes on; once the list exists, an image it does
// not name is refused. errorTitle is the title of the calling dialog's error
// boxes, shown through dialogue.
bool CheckImageChecksum(const std::string& image, const char* errorTitle, Dialogue& dialogue);

// Refuses on battery power and asks when the battery is low.
bool CheckPower(Dialogue& dialogue);

// "C:" for the drive of the Windows folder; empty when it cannot be read.
std::string SystemDrive();

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

    bool Check(const std::string& systemDrive);
    bool Suspended() const { return !suspendedPath_.empty(); }
    // Resumes a suspension made by Check(); tells the user when it fails.
    void Resume();

private:
    Dialogue& dialogue_;
    wmi::MethodSource& source_;
    std::wstring suspendedPath_;
};

}  // namespace kv
