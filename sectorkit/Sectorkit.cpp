// Sector-by-sector copy of the install folder's diskette image onto drive A:.
// The caller drives the loop; the library only keeps the two open ends and
// the sector in transit between calls.
#include "sectorkit.h"

#include <windows.h>
#include <winioctl.h>

#include <cstdio>

namespace {

constexpr const char* kDrivePath = "\\\\.\\A:";
constexpr const char* kImagePath = "c:\\KAVELTON\\fdd.imz";
constexpr DWORD kSectorSize = 512;

// One set per loaded library; a handle that is not open is null.
HANDLE g_drive = nullptr;
HANDLE g_image = nullptr;
unsigned char g_sector[kSectorSize] = {};
DWORD g_transferred = 0;

void Say(const char* text) noexcept
{
    std::fputs(text, stdout);
    std::fputs("\n", stdout);
    std::fflush(stdout);
}

// Owns a handle while it is being opened, so every early return closes it.
class UniqueHandle {
public:
    explicit UniqueHandle(HANDLE h) noexcept : h_(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle()
    {
        if (h_)
            CloseHandle(h_);
    }
    HANDLE get() const noexcept { return h_; }
    explicit operator bool() const noexcept { return h_ != nullptr; }
    HANDLE release() noexcept
    {
        HANDLE h = h_;
        h_ = nullptr;
        return h;
    }

private:
    HANDLE h_;
};

bool VolumeControl(HANDLE volume, DWORD code) noexcept
{
    DWORD returned = 0;
    return DeviceIoControl(volume, code, nullptr, 0, nullptr, 0, &returned, nullptr) != FALSE;
}

// A volume opened by someone else for a moment (Explorer, an antivirus scan)
// refuses the lock; give it a short while before calling it refused.
bool LockVolume(HANDLE volume) noexcept
{
    for (int attempt = 0; attempt < 10; ++attempt) {
        if (VolumeControl(volume, FSCTL_LOCK_VOLUME))
            return true;
        Sleep(100);
    }
    return false;
}

void ReleaseDrive(HANDLE drive) noexcept
{
    // Closing the handle releases the lock as well; the unlock only makes it
    // explicit (Wine refuses it after the refused dismount).
    VolumeControl(drive, FSCTL_UNLOCK_VOLUME);
    CloseHandle(drive);
}

HANDLE OpenReadWrite(const char* path) noexcept
{
    return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, 0, nullptr);
}

std::int32_t OpenBothEnds() noexcept
{
    // A second open without a close would otherwise leave the earlier drive
    // locked for the rest of the process.
    if (g_image) {
        CloseHandle(g_image);
        g_image = nullptr;
    }
    if (g_drive) {
        ReleaseDrive(g_drive);
        g_drive = nullptr;
    }

    UniqueHandle drive(OpenReadWrite(kDrivePath));
    if (!drive)
        return 0;
    // Since Vista, raw writes into the file-system area of a mounted volume
    // are refused; lock it so no file system works on it while we write.
    if (!LockVolume(drive.get())) {
        Say("Lock Disk Failed!");
        return 0;
    }
    // Best effort: real Windows dismounts a locked volume, Wine refuses.
    VolumeControl(drive.get(), FSCTL_DISMOUNT_VOLUME);

    UniqueHandle image(OpenReadWrite(kImagePath));
    if (!image) {
        // Keeping the drive locked with no image to copy would block it
        // until the process ends.
        ReleaseDrive(drive.release());
        return 0;
    }
    g_drive = drive.release();
    g_image = image.release();
    return 1;
}

std::int32_t CloseBothEnds() noexcept
{
    if (!CloseHandle(g_image)) {
        Say("Close Handle Failed!");
        return 0;
    }
    // Cleared so a later call never closes a handle value the process has
    // since handed out again.
    g_image = nullptr;
    VolumeControl(g_drive, FSCTL_UNLOCK_VOLUME);
    if (!CloseHandle(g_drive)) {
        Say("Close Handle Failed!");
        return 0;
    }
    g_drive = nullptr;
    return 1;
}

} // namespace

extern "C" std::int32_t GetDiskHandle()
{
    try {
        return OpenBothEnds();
    } catch (...) {
        return 0;
    }
}

extern "C" std::int32_t ReadDisk()
{
    try {
        const BOOL ok = ReadFile(g_image, g_sector, kSectorSize, &g_transferred, nullptr);
        if (!ok) {
            Say("Read File Failed!");
            return 0;
        }
        return ok;
    } catch (...) {
        return 0;
    }
}

extern "C" std::int32_t WriteDisk()
{
    try {
        const BOOL ok = WriteFile(g_drive, g_sector, kSectorSize, &g_transferred, nullptr);
        if (!ok) {
            Say("Write Disk Failed!");
            return 0;
        }
        return ok;
    } catch (...) {
        return 0;
    }
}

extern "C" std::int32_t CloseHdel()
{
    try {
        return CloseBothEnds();
    } catch (...) {
        return 0;
    }
}
