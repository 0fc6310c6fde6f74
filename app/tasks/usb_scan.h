// One scan for the machine's USB disks through UsbScan.dll: the library
// checked and loaded from the install folder, asked once, and unloaded again.
#pragma once

#include <string>
#include <vector>

#include "common/dialogue.h"
#include "usb_records.h"

namespace kv {

struct UsbScan {
    // False when no scan could be made at all; a box said why.
    bool scanned = false;
    // Nothing, or only the diskette drive's A:, was found.
    bool foundNothing = true;
    // The drives found, the diskette drive's A: left out; at most
    // usb::kMaxRecords, whatever count the library reports.
    std::vector<std::string> drives;
};

// title: the task's, for the boxes that say why no scan could be made.
UsbScan ScanUsbDrives(const char* title, Dialogue& dialogue = Boxes());

}  // namespace kv
