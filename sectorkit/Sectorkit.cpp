// Sector-by-sector copy of the install folder's diskette image onto drive A:.
// The caller drives the loop; the library only keeps the two open ends and
// the sector in transit between calls.
#include "sectorkit.h"

#include <windows.h>

#include <cstdio>

#include "raw_volume.h"

namespace {

using kv::raw::RawVolume;

constexpr const char* kDrivePath = "\\\\.\\A:";
constexpr const char* kImagePath = "c:\\KAVELTON\\fdd.imz";

// One set per loaded library; a volume that is not open holds no handle.
// The volumes close through the platform, also when the library is unloaded
// without CloseHdel: the platform is made inside the constructor, so it is
// complete first and, statics ending in reverse order, destroyed last.
struct Ends {
    Ends() { static_cast<void>(kv::Win32Os()); }
    RawVolume drive;
    RawVolume image;
};
Ends g_ends;
RawVolume& g_drive = g_ends.drive;
RawVolume& g_image = g_ends.image;
unsigned char g_sector[kv::raw::kSectorSize] = {};

void Say(const char* text) noexcept
{
    std::fputs(text, stdout);
    std::fputs("\n", stdout);
    std::fflush(stdout);
}

std::int32_t OpenBothEnds()
{
    // A second open without a close would otherwise leave the earlier drive
    // locked for the rest of the process.
    g_image.Close();
    g_drive.Close();

    if (!g_drive.Open(kDrivePath))
        return 0;
    // Refused like a drive that cannot be opened, before the lock and the
    // dismount touch whatever volume holds the letter.
    if (!g_drive.IsDiskette()) {
        g_drive.Close();
        return 0;
    }
    // Since Vista, raw writes into the file-system area of a mounted volume
    // are refused; lock it so no file system works on it while we write.
    if (!g_drive.Lock()) {
        g_drive.Close();
        Say("Lock Disk Failed!");
        return 0;
    }
    g_drive.Dismount();
    if (!g_image.Open(kImagePath)) {
        // Keeping the drive locked with no image to copy would block it
        // until the process ends.
        g_drive.Close();
        return 0;
    }
    return 1;
}

std::int32_t CloseBothEnds()
{
    // Nothing open is a close that fails, as closing a null handle does.
    const bool wasOpen = g_image.Valid() && g_drive.Valid();
    // A copy reported done must be on the diskette, not in a cache that a
    // removed diskette never sees.
    const bool flushed = wasOpen && g_drive.Flush();
    // The drive is released even when the flush failed or the image will not
    // close: a locked diskette nobody can reach again is worse than the report.
    const bool imageClosed = g_image.Close();
    const bool driveClosed = g_drive.Close();
    if (!flushed || !imageClosed || !driveClosed) {
        Say("Close Handle Failed!");
        return 0;
    }
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
        // A short read at the end of the image would leave the previous
        // sector in the buffer, and the next write would copy it again.
        if (!g_image.Read(g_sector, sizeof g_sector)) {
            Say("Read File Failed!");
            return 0;
        }
        return 1;
    } catch (...) {
        return 0;
    }
}

extern "C" std::int32_t WriteDisk()
{
    try {
        if (!g_drive.Write(g_sector, sizeof g_sector)) {
            Say("Write Disk Failed!");
            return 0;
        }
        return 1;
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
