#include "tasks/usb_scan.h"

#include <cstring>

#include "checks/signature.h"
#include "common/install_paths.h"
#include "platform.h"

namespace kv {
namespace {

bool IsFloppyRecord(const char* record) { return record[0] == 'A' && record[1] == ':' && record[2] == '\0'; }

}  // namespace

UsbScan ScanUsbDrives(const char* title, Dialogue& dialogue) {
    UsbScan scan;
    char buffer[usb::kBufferBytes] = {};
    int count = 0;
    {
        // Held from its check until the scan has returned.
        const auto library = LoadCheckedLibrary("UsbScan.dll", kInstallLibraryFlags);
        if (!library->get()) dialogue.Tell("Load UsbScan DLL Failed!", title, 0);
        const auto getUsbDrive = ProcAs<usb::GetUsbDriveFn>(library->Find(usb::kScanExport));
        if (!getUsbDrive) {
            dialogue.Tell("Get ProcAddress Failed!", title, 0);
            return scan;
        }
        getUsbDrive(buffer, &count);
    }
    scan.scanned = true;
    scan.foundNothing = count < 1 || (count == 1 && IsFloppyRecord(buffer));
    // A library may report more records than the buffer holds: take at most
    // what fits.
    const int records = count < usb::kMaxRecords ? count : usb::kMaxRecords;
    for (int i = 0; i < records; ++i) {
        const char* record = buffer + usb::kRecordBytes * i;
        if (!IsFloppyRecord(record)) scan.drives.emplace_back(record, strnlen(record, 2));
    }
    return scan;
}

}  // namespace kv
