// Served UsbScan.dll: the real discovery over WMI instances read from
// usbscan-served.txt in the current directory (format in README.md). Each
// call is logged as "GetUSBDrive k" to usbscan-served.log.
#include "double_files.h"
#include "served_query_source.h"
#include "usb_discovery.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>

namespace {

constexpr const char* kScript = "usbscan-served.txt";
constexpr const char* kLog = "usbscan-served.log";

bool SameText(const std::string& a, const wchar_t* b) {
    std::size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::towlower(b[i])) return false;
    return i == a.size() && !b[i];
}

int ClassIndex(const std::string& name) {
    for (int i = 0; i < kv::wmi::kClassCount; ++i)
        if (SameText(name, kv::wmi::ClassName(i))) return i;
    return -1;
}

int PropertyIndex(const std::string& name) {
    for (unsigned i = 0; i < kv::wmi::kPropertyCount; ++i)
        if (SameText(name, kv::wmi::PropertyName(i))) return static_cast<int>(i);
    return -1;
}

void Load(kv::wmi::ServedQuerySource& wmi) {
    int section = -1;
    for (const std::string& line : kv::doubles::ReadLines(kScript)) {
        const auto words = kv::doubles::Words(line);
        if (words.empty() || words[0][0] == '#') continue;
        if (words[0].front() == '[') {
            const std::string name = words[0].substr(1, words[0].find(']') - 1);
            section = ClassIndex(name);
            if (section >= 0 && words.size() > 1 && words[1] == "fail") wmi.FailOpen(section);
            continue;
        }
        if (section < 0) continue;
        kv::wmi::ServedInstance instance;
        for (const std::string& word : words) {
            const std::size_t eq = word.find('=');
            if (eq == std::string::npos) continue;
            const int property = PropertyIndex(word.substr(0, eq));
            const std::string value = word.substr(eq + 1);
            if (property < 0) continue;
            if (value == "NULL") instance.SetNull(static_cast<unsigned>(property));
            else instance.Set(static_cast<unsigned>(property), kv::doubles::Widen(value));
        }
        wmi.Instances(section).push_back(std::move(instance));
    }
}

}  // namespace

extern "C" int GetUSBDrive(char* buffer, int* count) {
    try {
        const int call = kv::doubles::NextCallNumber(kLog, "GetUSBDrive ");
        kv::doubles::AppendLine(kLog, "GetUSBDrive " + std::to_string(call));
        if (!buffer || !count) return 1;
        kv::wmi::ServedQuerySource wmi;
        Load(wmi);
        return kv::usbscan::FindUsbDrives(wmi, buffer, count, stdout);
    } catch (...) {
        return 1;
    }
}
