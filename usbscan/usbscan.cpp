// UsbScan.dll: the drive letters of the machine's USB disks, from WMI.
#include "com_query_source.h"
#include "usb_discovery.h"

#include <cstdio>
#include <type_traits>

namespace {

kv::wmi::ComQuerySource& Wmi() {
    static kv::wmi::ComQuerySource source;
    return source;
}

}  // namespace

extern "C" int GetUSBDrive(char* buffer, int* count) {
    if (!buffer || !count) return 1;
    try {
        return kv::usbscan::FindUsbDrives(Wmi(), buffer, count, stdout);
    } catch (...) {
        return 1;
    }
}

static_assert(std::is_same_v<decltype(&GetUSBDrive), kv::usb::GetUsbDriveFn>, "the export the program calls");
