// The USB disk discovery over served WMI instances.
#include "served_query_source.h"
#include "usb_discovery.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace kv::wmi;
using kv::usbscan::FindUsbDrives;
using kv::usbscan::kBufferBytes;

constexpr int kGuardBytes = 32;
constexpr unsigned char kGuard = 0xAB;

ServedInstance DiskDrive(const wchar_t* interfaceType, const std::wstring& totalSectors) {
    ServedInstance disk;
    disk.Set(kPropInterfaceType, interfaceType);
    if (totalSectors == L"NULL") disk.SetNull(kPropTotalSectors);
    else disk.Set(kPropTotalSectors, totalSectors);
    return disk;
}

ServedInstance UsbDisk(long long sectors) { return DiskDrive(L"USB", std::to_wstring(sectors)); }

// A volume of the given size in sectors; a negative size stands for NULL.
ServedInstance Volume(const wchar_t* id, int driveType, long long sectors) {
    ServedInstance volume;
    volume.Set(kPropDeviceId, id).Set(kPropDriveType, std::to_wstring(driveType));
    if (sectors < 0) volume.SetNull(kPropSize);
    else volume.Set(kPropSize, std::to_wstring(sectors * 512));
    return volume;
}

ServedInstance Local(const wchar_t* id, long long sectors) { return Volume(id, 3, sectors); }
ServedInstance Removable(const wchar_t* id, long long sectors) { return Volume(id, 2, sectors); }

struct Scan {
    int result = -1;
    int count = -1;
    std::vector<std::string> records;
    std::string out;
    bool guardIntact = true;
    unsigned char buffer[kBufferBytes + kGuardBytes];
};

// Runs the discovery once with a guard region behind the 60 bytes.
Scan ScanOnce(ServedQuerySource& wmi, Scan scan = {}) {
    if (scan.result == -1) std::memset(scan.buffer, 0x5A, sizeof scan.buffer);
    std::memset(scan.buffer + kBufferBytes, kGuard, kGuardBytes);
    std::FILE* out = std::tmpfile();
    EXPECT_NE(out, nullptr);
    scan.result = FindUsbDrives(wmi, reinterpret_cast<char*>(scan.buffer), &scan.count, out);
    std::rewind(out);
    scan.out.clear();
    for (int c; (c = std::fgetc(out)) != EOF;)
        if (c != '\r') scan.out += static_cast<char>(c);
    std::fclose(out);
    scan.records.clear();
    for (int i = 0; i < scan.count && i < 20; ++i) {
        const char* record = reinterpret_cast<const char*>(scan.buffer) + 3 * i;
        EXPECT_EQ(record[2], '\0') << "record " << i;
        scan.records.emplace_back(record, strnlen(record, 2));
    }
    for (int i = 0; i < kGuardBytes; ++i)
        if (scan.buffer[kBufferBytes + i] != kGuard) scan.guardIntact = false;
    return scan;
}

using Records = std::vector<std::string>;

TEST(FindUsbDrives, WorkedExample) {
    ServedQuerySource wmi;
    wmi.Instances(kClassDiskDrive) = {DiskDrive(L"IDE", L"1000"), UsbDisk(100)};
    wmi.Instances(kClassLogicalDisk) = {Removable(L"A:", -1), Local(L"C:", 300), Removable(L"E:", 64),
                                        Local(L"F:", 98)};
    const Scan scan = ScanOnce(wmi);
    EXPECT_EQ(scan.result, 0);
    EXPECT_EQ(scan.count, 2);
    EXPECT_EQ(scan.records, (Records{"E:", "F:"}));
    EXPECT_EQ(scan.out,
              "Num of USB disk is:\t1\n"
              "USB Sectors:\t100\t\n"
              "Disk Sectors:300\tC:\n"
              "Disk Sectors:98\tF:\n"
              "\n"
              "\n"
              "ALL USB Disk:\t\n"
              "E:\n"
              "F:\n");
    for (int i = 6; i < kBufferBytes; ++i) ASSERT_EQ(scan.buffer[i], 0) << "byte " << i;
    EXPECT_EQ(wmi.OpenCount(), 2);
    EXPECT_EQ(wmi.CloseCount(), 1);
}

TEST(FindUsbDrives, SizeMustLieStrictlyWithinFivePercent) {
    struct Case {
        long long usb, volume;
        bool match;
    };
    for (const Case c : {Case{100, 96, true}, Case{100, 105, true}, Case{100, 100, true}, Case{100, 95, false},
                         Case{100, 106, false}, Case{19, 20, false}, Case{21, 20, false}, Case{0, 0, false},
                         Case{100, 0, false}}) {
        SCOPED_TRACE(std::to_string(c.usb) + " against " + std::to_string(c.volume));
        ServedQuerySource wmi;
        wmi.Instances(kClassDiskDrive) = {UsbDisk(c.usb)};
        wmi.Instances(kClassLogicalDisk) = {Local(L"G:", c.volume)};
        const Scan scan = ScanOnce(wmi);
        EXPECT_EQ(scan.result, 0);
        EXPECT_EQ(scan.records, c.match ? Records{"G:"} : Records{});
    }
}

TEST(FindUsbDrives, MatchingOrder) {
    ServedQuerySource wmi;
    // Two equal USB disks share one volume; of two fitting volumes the first wins.
    wmi.Instances(kClassDiskDrive) = {UsbDisk(1000), UsbDisk(1000), UsbDisk(5000)};
    wmi.Instances(kClassLogicalDisk) = {Local(L"D:", 990), Local(L"E:", 1001), Local(L"F:", 5100),
                                        Local(L"G:", 5000)};
    EXPECT_EQ(ScanOnce(wmi).records, (Records{"D:", "D:", "F:"}));
}

TEST(FindUsbDrives, RemovableAndNullSizedVolumes) {
    ServedQuerySource wmi;
    wmi.Instances(kClassDiskDrive) = {DiskDrive(L"USB", L"NULL"), UsbDisk(2000), DiskDrive(L"usb", L"50")};
    // Half-size partitions match nothing; NULL sizes are skipped even when removable.
    wmi.Instances(kClassLogicalDisk) = {Removable(L"A:", -1), Local(L"B:", -1), Local(L"H:", 1000),
                                        Local(L"I:", 1000), Removable(L"J:", 7), Removable(L"A:", 2880),
                                        Local(L"K:", 50), Local(L"L:", 0)};
    const Scan scan = ScanOnce(wmi);
    EXPECT_EQ(scan.result, 0);
    EXPECT_EQ(scan.records, (Records{"J:", "A:"}));
    EXPECT_NE(scan.out.find("Num of USB disk is:\t2\nUSB Sectors:\t0\t\nUSB Sectors:\t2000\t\n"), std::string::npos)
        << scan.out;
    EXPECT_EQ(scan.out.find("B:"), std::string::npos) << scan.out;
}

TEST(FindUsbDrives, NoUsbDiskMeansNoVolumeScan) {
    ServedQuerySource wmi;
    wmi.Instances(kClassDiskDrive) = {DiskDrive(L"IDE", L"100"), DiskDrive(L"SCSI", L"NULL")};
    wmi.Instances(kClassLogicalDisk) = {Removable(L"E:", 100)};
    const Scan scan = ScanOnce(wmi);
    EXPECT_EQ(scan.result, 1);
    EXPECT_EQ(scan.count, 0);
    EXPECT_EQ(scan.out, "Num of USB disk is:\t0\nHave no USB disk!\n");
    EXPECT_EQ(wmi.OpenCount(), 1);
    EXPECT_EQ(wmi.CloseCount(), 1);
    for (int i = 0; i < kBufferBytes; ++i) ASSERT_EQ(scan.buffer[i], 0) << "byte " << i;
}

TEST(FindUsbDrives, ClassesThatCannotBeOpened) {
    ServedQuerySource noDisks;
    noDisks.Instances(kClassDiskDrive) = {UsbDisk(100)};
    noDisks.FailOpen(kClassDiskDrive);
    EXPECT_EQ(ScanOnce(noDisks).result, 1);

    ServedQuerySource noVolumes;
    noVolumes.Instances(kClassDiskDrive) = {UsbDisk(100)};
    noVolumes.Instances(kClassLogicalDisk) = {Removable(L"E:", 100)};
    noVolumes.FailOpen(kClassLogicalDisk);
    const Scan scan = ScanOnce(noVolumes);
    EXPECT_EQ(scan.result, 0);
    EXPECT_EQ(scan.count, 0);
    EXPECT_EQ(noVolumes.CloseCount(), 1);
}

TEST(FindUsbDrives, ExcessEntriesAreIgnoredWithoutOverrun) {
    {
        SCOPED_TRACE("12 USB disks, 25 local volumes");
        ServedQuerySource wmi;
        for (int i = 0; i < 12; ++i) wmi.Instances(kClassDiskDrive).push_back(UsbDisk(1000 * (i + 1)));
        for (int i = 0; i < 25; ++i) wmi.Instances(kClassLogicalDisk).push_back(Local(L"C:", 1000 * (25 - i)));
        const Scan scan = ScanOnce(wmi);
        EXPECT_TRUE(scan.guardIntact);
        EXPECT_NE(scan.out.find("Num of USB disk is:\t10\n"), std::string::npos) << scan.out;
        EXPECT_EQ(scan.out.find("USB Sectors:\t11000"), std::string::npos) << scan.out;
        EXPECT_NE(scan.out.find("Disk Sectors:6000\t"), std::string::npos) << scan.out;
        // Volumes 21..25 (5000 down to 1000 sectors) are not in the table.
        EXPECT_EQ(scan.out.find("Disk Sectors:5000\t"), std::string::npos) << scan.out;
        EXPECT_EQ(scan.count, 5);  // USB disks of 6000..10000 sectors
    }
    {
        SCOPED_TRACE("25 removable volumes");
        ServedQuerySource wmi;
        wmi.Instances(kClassDiskDrive) = {UsbDisk(100)};
        for (int i = 0; i < 25; ++i) wmi.Instances(kClassLogicalDisk).push_back(Removable(L"R:", 100));
        wmi.Instances(kClassLogicalDisk).push_back(Local(L"S:", 100));
        const Scan scan = ScanOnce(wmi);
        EXPECT_TRUE(scan.guardIntact);
        EXPECT_EQ(scan.count, 20);
        EXPECT_EQ(scan.records.back(), "R:");
    }
    {
        SCOPED_TRACE("10 USB matches after 15 removables");
        ServedQuerySource wmi;
        for (int i = 0; i < 10; ++i) wmi.Instances(kClassDiskDrive).push_back(UsbDisk(100));
        for (int i = 0; i < 15; ++i) wmi.Instances(kClassLogicalDisk).push_back(Removable(L"R:", 7));
        wmi.Instances(kClassLogicalDisk).push_back(Local(L"M:", 100));
        const Scan scan = ScanOnce(wmi);
        EXPECT_TRUE(scan.guardIntact);
        EXPECT_EQ(scan.count, 20);
        EXPECT_EQ(scan.records[15], "M:");
        EXPECT_EQ(scan.records[19], "M:");
    }
}

TEST(FindUsbDrives, EachCallStartsAfresh) {
    ServedQuerySource wmi;
    wmi.Instances(kClassDiskDrive) = {UsbDisk(100)};
    wmi.Instances(kClassLogicalDisk) = {Removable(L"E:", 9), Removable(L"G:", 9), Local(L"F:", 100)};
    Scan first = ScanOnce(wmi);
    const Scan second = ScanOnce(wmi, first);
    EXPECT_EQ(second.records, (Records{"E:", "G:", "F:"}));
    EXPECT_EQ(second.out, first.out);

    wmi.Instances(kClassLogicalDisk) = {Removable(L"H:", 9)};
    const Scan third = ScanOnce(wmi, second);
    EXPECT_EQ(third.count, 1);
    EXPECT_EQ(third.records, Records{"H:"});
    for (int i = 3; i < kBufferBytes; ++i) ASSERT_EQ(third.buffer[i], 0) << "byte " << i;
}

}  // namespace
