// Finds the drive letters under which the machine's USB disks are reached:
// removable volumes, and for each USB disk drive the first local volume
// whose size lies within 5 % of the drive's.
#pragma once

#include "query_source.h"
#include "usb_records.h"

#include <cstdio>

namespace kv::usbscan {

using usb::kBufferBytes;
using usb::kMaxRecords;
using usb::kRecordBytes;
inline constexpr int kMaxUsbDisks = 10;   // further USB disk drives are ignored
inline constexpr int kMaxVolumes = 20;    // further local volumes are ignored

// Clears the kBufferBytes buffer and the count, then fills them. Writes the
// diagnostic lines to out. Returns 1 when no disk drive has the interface
// type "USB", else 0. Always ends with wmi.CloseNameSpace().
int FindUsbDrives(kv::wmi::QuerySource& wmi, char* buffer, int* count, std::FILE* out);

}  // namespace kv::usbscan
