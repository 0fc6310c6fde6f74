// The diskette run as steps: find the drive, open and check the image and
// the diskette, write and read back, start the batch file. Each step shows
// its own refusal and says whether the run may go on; the dialog keeps its
// controls, its questions and its progress.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "platform.h"
#include "raw_volume.h"
#include "tasks/task_steps.h"

namespace kv {

// The start of fdd.imz that goes raw onto the diskette.
constexpr int kDisketteImageSectors = 750;
constexpr std::uint64_t kDisketteImageBytes = std::uint64_t{raw::kSectorSize} * kDisketteImageSectors;

// The one probe for the diskette drive: A:, else B:. The drive's name, or
// empty when neither can be opened.
std::string OpenDisketteDrive(raw::RawVolume& drive);

class DisketteSteps {
public:
    // checks: the boxes until the copy starts; copy: those of the copy.
    DisketteSteps(const TaskSteps& checks, const TaskSteps& copy) : checks_(checks), copy_(copy) {}

    // Called when a copy fails, after both ends are closed and before its
    // box: the user gets the dialog's buttons back at once.
    std::function<void()> onCopyFailed;

    // The name goes into a command line for the command processor.
    bool NameUsable(const std::string& image) const;
    bool FindDrive();
    const std::string& DriveName() const { return driveName_; }
    bool OpenImage();
    // A 1.44 MB diskette is in the drive, and fdd.imz is long enough.
    bool CheckMedia();
    // Takes the volume from the file system; nothing is written before.
    bool LockDrive();
    // Copies the image's first sectors; sectorRead(k) after each read.
    bool Write(const std::function<void(int)>& sectorRead);
    // Compares the diskette, read past the cache, with what was written.
    bool ReadBack();
    bool StartBatch(const std::string& image, OsHandle& batch) const;

private:
    bool Stop(const std::string& text);
    std::string Mismatch() const;

    const TaskSteps& checks_;
    const TaskSteps& copy_;
    raw::RawVolume drive_, image_;
    std::string driveName_;
    // What was read from fdd.imz, to compare the diskette with afterwards.
    std::string written_;
};

}  // namespace kv
