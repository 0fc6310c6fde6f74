#include "usb_discovery.h"

#include "text.h"
#include "usbsize.h"

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <cwchar>
#include <string>

namespace kv::usbscan {

namespace {

using kv::wmi::QuerySource;

// The first two characters of a DeviceID, such as "E:".
void CopyRecord(char* record, const std::string& deviceId) {
    record[0] = deviceId.size() > 0 ? deviceId[0] : '\0';
    record[1] = deviceId.size() > 1 ? deviceId[1] : '\0';
}

struct Volume {
    std::int32_t sectors = 0;
    char record[kRecordBytes] = {};
};

class Output {
public:
    Output(char* buffer, int* count) : buffer_(buffer), count_(count) {}
    // Records beyond the buffer's 20 are dropped.
    char* NextRecord() {
        if (*count_ >= kMaxRecords) return nullptr;
        return buffer_ + kRecordBytes * (*count_)++;
    }
    const char* Record(int i) const { return buffer_ + kRecordBytes * i; }
    int Count() const { return *count_; }

private:
    char* buffer_;
    int* count_;
};

void Line(std::FILE* out, const char* text) {
    std::fputs(text, out);
    std::fputs("\n", out);
    std::fflush(out);
}

class CloseOnExit {
public:
    explicit CloseOnExit(QuerySource& wmi) : wmi_(wmi) {}
    CloseOnExit(const CloseOnExit&) = delete;
    CloseOnExit& operator=(const CloseOnExit&) = delete;
    ~CloseOnExit() { wmi_.CloseNameSpace(); }

private:
    QuerySource& wmi_;
};

}  // namespace

int FindUsbDrives(QuerySource& wmi, char* buffer, int* count, std::FILE* out) {
    std::memset(buffer, 0, kBufferBytes);
    *count = 0;
    Output output(buffer, count);
    std::int32_t usbDisks[kMaxUsbDisks] = {};
    int usbDiskCount = 0;
    CloseOnExit close(wmi);

    wmi.SetEndFlag(1);
    wmi.OpenClassEnum(kv::wmi::kClassDiskDrive);
    while (wmi.NextInstance()) {
        if (std::wcscmp(wmi.GetPropertyText(kv::wmi::kPropInterfaceType), L"USB") != 0) continue;
        const std::string sectors = Narrow(wmi.GetPropertyText(kv::wmi::kPropTotalSectors));
        if (usbDiskCount < kMaxUsbDisks) usbDisks[usbDiskCount++] = kv::core::SectorsFromText(sectors);
    }

    std::fprintf(out, "Num of USB disk is:\t%d", usbDiskCount);
    Line(out, "");
    if (usbDiskCount == 0) {
        Line(out, "Have no USB disk!");
        return 1;
    }

    Volume volumes[kMaxVolumes];
    int volumeCount = 0;
    wmi.SetEndFlag(1);
    wmi.OpenClassEnum(kv::wmi::kClassLogicalDisk);
    while (wmi.NextInstance()) {
        // No medium in the drive.
        if (std::wcscmp(wmi.GetPropertyText(kv::wmi::kPropSize), L"NULL") == 0) continue;
        if (std::wcscmp(wmi.GetPropertyText(kv::wmi::kPropDriveType), L"2") == 0) {
            const std::string deviceId = Narrow(wmi.GetPropertyText(kv::wmi::kPropDeviceId));
            if (char* record = output.NextRecord()) CopyRecord(record, deviceId);
            continue;
        }
        const std::int32_t sectors = kv::core::SectorsFromSize(Narrow(wmi.GetPropertyText(kv::wmi::kPropSize)));
        const std::string deviceId = Narrow(wmi.GetPropertyText(kv::wmi::kPropDeviceId));
        if (volumeCount < kMaxVolumes) {
            volumes[volumeCount].sectors = sectors;
            CopyRecord(volumes[volumeCount].record, deviceId);
            ++volumeCount;
        }
    }

    for (int i = 0; i < usbDiskCount; ++i) {
        std::fprintf(out, "USB Sectors:\t%d\t", static_cast<int>(usbDisks[i]));
        Line(out, "");
    }
    for (int i = 0; i < volumeCount; ++i) {
        std::fprintf(out, "Disk Sectors:%d\t%s", static_cast<int>(volumes[i].sectors), volumes[i].record);
        Line(out, "");
    }

    for (int u = 0; u < usbDiskCount; ++u) {
        for (int v = 0; v < volumeCount; ++v) {
            if (!kv::core::SizesMatch(usbDisks[u], volumes[v].sectors)) continue;
            if (char* record = output.NextRecord()) std::memcpy(record, volumes[v].record, kRecordBytes);
            break;
        }
    }

    Line(out, "");
    Line(out, "");
    Line(out, "ALL USB Disk:\t");
    for (int i = 0; i < output.Count(); ++i) Line(out, output.Record(i));
    return 0;
}

}  // namespace kv::usbscan
