// What UsbScan.dll's GetUSBDrive hands back, as the library and the program
// both read it: up to kMaxRecords records of a drive letter, a colon and a
// zero byte, in a buffer the caller owns, and their count.
#pragma once

namespace kv::usb {

inline constexpr int kRecordBytes = 3;  // letter, colon, zero
inline constexpr int kMaxRecords = 20;  // records in the caller's buffer
inline constexpr int kBufferBytes = kRecordBytes * kMaxRecords;

inline constexpr char kScanExport[] = "GetUSBDrive";
// Fills buffer (kBufferBytes) and count; 1 when no USB disk drive was seen.
using GetUsbDriveFn = int (*)(char* buffer, int* count);

}  // namespace kv::usb
