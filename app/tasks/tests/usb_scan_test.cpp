// One scan through a scripted UsbScan.dll: what is kept of its records, and
// the boxes when no scan can be made.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

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

FARPROC Proc(auto* f) { return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(f)); }

class UsbScanTest : public ::testing::Test {
protected:
    void SetUp() override { fake().libraries["UsbScan.dll"] = {{"GetUSBDrive", Proc(ScriptedScan)}}; }
    test::FakePlatform& fake() { return scoped_.fake; }
    test::ScopedFake scoped_;
};

TEST_F(UsbScanTest, KeepsTheUsbDisksLeavesOutTheDisketteAndNeverReadsPastTheBuffer) {
    std::vector<std::string> many;
    for (char c = 'C'; c <= 'V'; ++c) many.push_back(std::string(1, c) + ":");
    struct Case {
        const char* name;
        std::vector<std::string> records;
        int reported;
        std::vector<std::string> drives;
        bool nothing;
    };
    const Case cases[] = {
        {"the diskette among them", {"A:", "E:", "F:"}, -1, {"E:", "F:"}, false},
        {"B: stays a USB disk", {"A:", "B:"}, -1, {"B:"}, false},
        {"only the diskette", {"A:"}, -1, {}, true},
        {"nothing", {}, -1, {}, true},
        {"more claimed than the buffer holds", many, 25, many, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_records = c.records;
        g_reported = c.reported;
        const UsbScan scan = ScanUsbDrives("Create Flash BIOS Penlet");
        EXPECT_TRUE(scan.scanned);
        EXPECT_EQ(scan.drives, c.drives);
        EXPECT_EQ(scan.foundNothing, c.nothing);
        EXPECT_TRUE(fake().messages.empty());
        EXPECT_EQ(fake().loadedLibraries(), 0) << "unloaded once it has answered";
    }
}

// A library that is missing says so, and then, as one without the export,
// that the scan cannot be asked for.
TEST_F(UsbScanTest, NoLibraryOrNoExportIsReportedAndNothingStaysLoaded) {
    for (const bool loads : {false, true}) {
        SCOPED_TRACE(loads ? "no export" : "no library");
        fake().messages.clear();
        if (loads)
            fake().libraries["UsbScan.dll"].clear();
        else
            fake().libraries.erase("UsbScan.dll");
        EXPECT_FALSE(ScanUsbDrives("Create Flash BIOS Penlet").scanned);
        std::vector<std::string> texts;
        for (const auto& m : fake().messages) {
            texts.push_back(m.text);
            EXPECT_EQ(m.title, "Create Flash BIOS Penlet");
            EXPECT_EQ(m.style, static_cast<UINT>(MB_TOPMOST));
        }
        std::vector<std::string> expected = {"Load UsbScan DLL Failed!", "Get ProcAddress Failed!"};
        if (loads) expected.erase(expected.begin());
        EXPECT_EQ(texts, expected);
        EXPECT_EQ(fake().loadedLibraries(), 0);
    }
}

}  // namespace
}  // namespace kv
