// Scripted UsbScan.dll: call k answers line k of usbscan-double.txt (the
// last line again when calls outnumber lines) and logs "GetUSBDrive k" to
// usbscan-double.log, both in the current directory.
#include "double_files.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

constexpr const char* kScript = "usbscan-double.txt";
constexpr const char* kLog = "usbscan-double.log";
constexpr int kMaxRecords = 20;

}  // namespace

extern "C" int GetUSBDrive(char* buffer, int* count) {
    try {
        const int call = kv::doubles::NextCallNumber(kLog, "GetUSBDrive ");
        kv::doubles::AppendLine(kLog, "GetUSBDrive " + std::to_string(call));
        if (!buffer || !count) return 1;
        std::memset(buffer, 0, 3 * kMaxRecords);
        *count = 0;
        const auto lines = kv::doubles::ReadLines(kScript);
        if (lines.empty()) return 1;
        const std::size_t line = std::min<std::size_t>(static_cast<std::size_t>(call), lines.size()) - 1;
        for (const std::string& drive : kv::doubles::Words(lines[line])) {
            if (*count >= kMaxRecords) break;
            char* record = buffer + 3 * (*count)++;
            record[0] = drive[0];
            record[1] = drive.size() > 1 ? drive[1] : '\0';
        }
        return *count > 0 ? 0 : 1;
    } catch (...) {
        return 1;
    }
}
