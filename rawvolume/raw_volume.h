// The raw diskette volume as both the diskette dialog and Sectorkit.dll use
// it: open, check that it is a 1.44 MB diskette, lock with a bounded retry,
// best-effort dismount, whole-sector transfers, flush, unlock and close.
// Every step goes through the platform seam, and a failed step keeps the
// error the platform gave, so that a message or the log can say why it
// failed.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "platform.h"

namespace kv::raw {

constexpr DWORD kSectorSize = 512;
// The one medium a diskette image is written to: 2,880 sectors of 512 bytes.
constexpr std::uint64_t kDisketteBytes = 2880 * kSectorSize;
// A volume opened by someone else for a moment (Explorer, an antivirus scan)
// refuses the lock; this gives it about a second before calling it refused.
constexpr int kLockAttempts = 10;
constexpr DWORD kLockPauseMs = 100;

// Why a volume could not be had.
enum class VolumeRefusal { None, NotOpened, InUse };

class RawVolume {
public:
    RawVolume() = default;
    ~RawVolume() { Close(); }
    RawVolume(const RawVolume&) = delete;
    RawVolume& operator=(const RawVolume&) = delete;

    // Opens a raw volume such as \\.\A: or a plain file, for reading and
    // writing unless access says otherwise.
    bool Open(const std::string& path, DWORD access = GENERIC_READ | GENERIC_WRITE, DWORD flags = 0);
    bool Valid() const { return handle_.Valid(); }
    HANDLE get() const { return handle_.get(); }

    // Opens and locks in one call, and says which of the two failed; a
    // volume whose lock is refused is closed again (Error() keeps why).
    VolumeRefusal OpenLocked(const std::string& path, DWORD access = GENERIC_READ | GENERIC_WRITE,
                             DWORD flags = 0);

    // True only for a 1.44 MB diskette (exactly kDisketteBytes). Whatever
    // else holds the letter, a USB stick among them, would lose its start to
    // the image. found, when given, gets the size read, or nothing when none
    // could be read (no diskette either).
    bool IsDiskette(std::optional<std::uint64_t>* found = nullptr);

    // Keeps the file system away while sectors are rewritten under it.
    bool Lock(int attempts = kLockAttempts, DWORD pauseMs = kLockPauseMs);
    // Best effort: Windows dismounts a locked volume, Wine refuses.
    void Dismount();
    bool Unlock();

    // A transfer of fewer bytes than asked is a failure like a refused one:
    // anything else would leave stale or missing sectors behind.
    bool Read(void* buffer, DWORD size);
    bool Write(const void* buffer, DWORD size);
    bool Seek(LONG offset);
    bool Flush();

    // Unlocks when locked, then closes; false when the close failed (the
    // handle is given up all the same).
    bool Close();

    // The platform's error for the last failed step.
    DWORD Error() const { return error_; }

private:
    bool Failed(DWORD fallback = ERROR_GEN_FAILURE);

    OsHandle handle_;
    bool locked_ = false;
    DWORD error_ = ERROR_SUCCESS;
};

// A sector-aligned buffer, as reads that bypass the cache need.
class SectorBuffer {
public:
    explicit SectorBuffer(DWORD bytes);
    ~SectorBuffer();
    SectorBuffer(const SectorBuffer&) = delete;
    SectorBuffer& operator=(const SectorBuffer&) = delete;
    unsigned char* data() const { return data_; }
    DWORD size() const { return size_; }

private:
    unsigned char* data_;
    DWORD size_;
};

}  // namespace kv::raw
