// One scan through a scripted UsbScan.dll: what it keeps, and why none was made.
#include <gtest/gtest.h>

#include <cstring>

#include "fake_platform.h"
#include "tasks/usb_scan.h"

namespace kv {
namespace {

std::vector<std::string> g_records;
int g_reported = -1;  // the count the library claims; -1: the records'

int ScriptedScan(char* buffer, int* count) {
    std::memset(buffer, 0, usb::kBufferBytes);
    int n = 0;
    for (; n < static_cast<int>(g_records.size()) && n < usb::kMaxRecords; ++n)
        std::memcpy(buffer + usb::kRecordBytes * n, g_records[n].c_str(), 2);
    *count = g_reported >= 0 ? g_reported : n;
    return n == 0;
}

TEST(UsbScanTest, KeepsTheUsbDisksLeavesOutTheDisketteNeverReadsPastTheBufferAndSaysWhyNoScanCouldBeMade) {
    std::vector<std::string> many;
    for (char c = 'C'; c <= 'V'; ++c) many.push_back(std::string(1, c) + ":");
    enum Library { Missing, NoExport, Scans };
    const struct {
        const char* name;
        Library library;
        std::vector<std::string> records;
        int reported;
        std::vector<std::string> drives, boxes;
        bool nothing;
    } cases[] = {
        {"the diskette among them", Scans, {"A:", "E:", "F:"}, -1, {"E:", "F:"}, {}, false},
        {"B: stays a USB disk", Scans, {"A:", "B:"}, -1, {"B:"}, {}, false},
        {"only the diskette", Scans, {"A:"}, -1, {}, {}, true},
        {"nothing", Scans, {}, -1, {}, {}, true},
        {"more claimed than the buffer holds", Scans, many, 25, many, {}, false},
        {"no export", NoExport, {}, -1, {}, {"Get ProcAddress Failed!"}, true},
        {"no library", Missing, {}, -1, {}, {"Load UsbScan DLL Failed!", "Get ProcAddress Failed!"}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::ScopedFake scoped;
        if (c.library != Missing) scoped.fake.libraries["UsbScan.dll"] = {};
        if (c.library == Scans)
            scoped.fake.libraries["UsbScan.dll"]["GetUSBDrive"] =
                reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(ScriptedScan));
        g_records = c.records;
        g_reported = c.reported;
        const UsbScan scan = ScanUsbDrives("Create Flash BIOS Penlet");
        EXPECT_EQ(scan.scanned, c.library == Scans);
        EXPECT_EQ(scan.drives, c.drives);
        EXPECT_EQ(scan.foundNothing, c.nothing);
        std::vector<std::string> boxes;
        for (const auto& m : scoped.fake.messages) {
            boxes.push_back(m.text);
            EXPECT_EQ(m.title, "Create Flash BIOS Penlet");
            EXPECT_EQ(m.style, static_cast<UINT>(MB_TOPMOST));
        }
        EXPECT_EQ(boxes, c.boxes);
        EXPECT_EQ(scoped.fake.loadedLibraries(), 0) << "unloaded once it has answered";
    }
}

}  // namespace
}  // namespace kv
