#include "tasks/diskette.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "commands.h"
#include "forms.h"
#include "images.h"

namespace kv {
namespace {

constexpr DWORD kSectorSize = raw::kSectorSize;
// Read back a track at a time: the medium's own unit, fewer passes of the head.
constexpr int kVerifySectors = 18;
constexpr ULONGLONG kPumpEveryMs = 15;
// The floppy driver finishes releasing the volume after its handle closes;
// the read-back opens it again.
constexpr DWORD kReleaseMs = 30;

const char kImagePath[] = "c:\\KAVELTON\\fdd.imz";
const char kInUse[] = "The floppy disk is in use by another program!\nClose it and try again.";

std::string ErrorOf(const raw::RawVolume& volume) { return " (error " + std::to_string(volume.Error()) + ")!"; }

}  // namespace

std::string OpenDisketteDrive(raw::RawVolume& drive) {
    if (drive.Open("\\\\.\\A:")) return "A:";
    if (drive.Open("\\\\.\\B:")) return "B:";
    return {};
}

bool DisketteSteps::NameUsable(const std::string& image) const {
    if (core::UsableImageName(image, core::ImageUse::Diskette)) return true;
    checks_.Refuse("BIOS file", "Please select a BIOS file from the list!\nThe name must be a plain file name of at most " +
                                    std::to_string(core::kMaxImageNameLength) + " characters.");
    return false;
}

bool DisketteSteps::FindDrive() {
    driveName_ = OpenDisketteDrive(drive_);
    if (!driveName_.empty()) return true;
    checks_.Refuse("diskette drive", "Please install a floppy drive!");
    return false;
}

bool DisketteSteps::OpenImage() {
    if (image_.Open(kImagePath, GENERIC_READ | GENERIC_WRITE, FILE_FLAG_RANDOM_ACCESS)) return true;
    checks_.Error("Lost fdd.imz in C:KAVELTON!");
    return false;
}

bool DisketteSteps::CheckMedia() {
    char sector[kSectorSize] = {};
    // A short first sector is no more a readable diskette than a refused one.
    const bool present = drive_.Read(sector, kSectorSize);
    if (!drive_.Seek(0)) {
        checks_.Error("The diskette in drive " + driveName_ + " could not be read from its start" + ErrorOf(drive_) +
                      "\nPlease try again.");
        return false;
    }
    if (!image_.Seek(0)) {
        checks_.Error("fdd.imz in C:\\KAVELTON could not be read from its start" + ErrorOf(image_));
        return false;
    }
    if (!present) {
        checks_.Refuse("diskette", "Please insert a floppy disk!");
        return false;
    }
    std::optional<std::uint64_t> volumeBytes;
    if (!drive_.IsDiskette(&volumeBytes)) {
        const std::string found =
            volumeBytes ? "The disk in drive " + driveName_ + " holds " + std::to_string(*volumeBytes) + " bytes."
                        : "The size of the disk in drive " + driveName_ + " cannot be read.";
        checks_.Refuse("diskette", found + "\nOnly a 1.44 MB diskette (" + std::to_string(raw::kDisketteBytes) +
                                       " bytes) can be written.");
        return false;
    }
    // A short image would leave the last sectors of the diskette as stale
    // copies of an earlier one.
    std::uint64_t imageSize = 0;
    if (!Os().FileSize(image_.get(), imageSize) || imageSize < kDisketteImageBytes) {
        checks_.Error("fdd.imz in C:\\KAVELTON is damaged:\nit is shorter than " +
                      std::to_string(kDisketteImageSectors) + " sectors (" + std::to_string(kDisketteImageBytes) +
                      " bytes)!");
        return false;
    }
    return true;
}

bool DisketteSteps::LockDrive() {
    if (!drive_.Lock()) {
        checks_.Error(kInUse);
        return false;
    }
    drive_.Dismount();
    return true;
}

bool DisketteSteps::Stop(const std::string& text) {
    drive_.Close();
    image_.Close();
    if (onCopyFailed) onCopyFailed();
    copy_.Error(text);
    return false;
}

bool DisketteSteps::Write(const std::function<void(int)>& sectorRead) {
    char sector[kSectorSize];
    written_.clear();
    written_.reserve(kDisketteImageBytes);
    ULONGLONG lastPump = 0;
    for (int k = 0; k < kDisketteImageSectors; ++k) {
        if (!image_.Read(sector, kSectorSize)) return Stop("Read File Failed!");
        written_.append(sector, kSectorSize);
        sectorRead(k);
        if (!drive_.Write(sector, kSectorSize)) return Stop("Write Disk Failed!");
        // The thread is busy here: let the windows draw and Timer1 tick, as
        // often as a screen shows it (a sector can take far less than that).
        if (Os().TickCount() - lastPump >= kPumpEveryMs) {
            ui::app::ProcessPaintAndTimers();
            lastPump = Os().TickCount();
        }
    }
    // Everything must be on the medium before the handle goes, and before
    // the read-back can see it.
    if (!drive_.Flush())
        return Stop("The diskette could not be written to the end" + ErrorOf(drive_) +
                    "\nPlease use another floppy disk.");
    if (!drive_.Close()) return Stop("Can't close disk handle!");
    Os().Sleep(kReleaseMs);
    image_.Close();
    return true;
}

bool DisketteSteps::ReadBack() {
    const std::string mismatch = Mismatch();
    return mismatch.empty() || Stop(mismatch);
}

std::string DisketteSteps::Mismatch() const {
    // A second handle that bypasses the cache, so the sectors come from the
    // medium and not from what the write left in memory; locked, so that
    // nothing mounts and writes to it while it is read back.
    raw::RawVolume drive;
    switch (drive.OpenLocked("\\\\.\\" + driveName_, GENERIC_READ | GENERIC_WRITE, FILE_FLAG_NO_BUFFERING)) {
    case raw::VolumeRefusal::NotOpened:
        return "The diskette could not be opened to check it" + ErrorOf(drive);
    case raw::VolumeRefusal::InUse:
        return kInUse;
    case raw::VolumeRefusal::None:
        break;
    }
    raw::SectorBuffer buffer(kVerifySectors * kSectorSize);
    const auto total = static_cast<int>(written_.size() / kSectorSize);
    for (int first = 0; first < total; first += kVerifySectors) {
        const int count = std::min(kVerifySectors, total - first);
        if (!drive.Read(buffer.data(), static_cast<DWORD>(count) * kSectorSize))
            return "The diskette could not be read back at sector " + std::to_string(first) + ErrorOf(drive) +
                   "\nPlease use another floppy disk.";
        for (int k = 0; k < count; ++k) {
            if (std::memcmp(buffer.data() + k * kSectorSize, written_.data() + (first + k) * kSectorSize,
                            kSectorSize) != 0)
                return "The diskette does not hold what was written: sector " + std::to_string(first + k) +
                       " differs from fdd.imz!\nPlease use another floppy disk.";
        }
        ui::app::ProcessPaintAndTimers();
    }
    return {};
}

bool DisketteSteps::StartBatch(const std::string& image, OsHandle& batch) const {
    return checks_.StartBatch("copybinFile.bat", core::DisketteCommand(image, driveName_), batch);
}

}  // namespace kv
