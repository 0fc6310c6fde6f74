// The test doubles answer from their script files and log their calls, so
// the end-to-end tests can rely on them.
#include "win_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

std::string g_bios, g_scripted, g_served;

void WriteFile(const char* name, const std::string& text) {
    std::ofstream(name, std::ios::binary) << text;
}

std::string ReadFile(const char* name) {
    std::ifstream file(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Each test works in a fresh folder, as the program's install folder.
class Doubles : public testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        folder_ = std::string(temp) + "kv-doubles-" + std::to_string(GetCurrentProcessId()) + "-" +
                  testing::UnitTest::GetInstance()->current_test_info()->name();
        CreateDirectoryA(folder_.c_str(), nullptr);
        ASSERT_TRUE(SetCurrentDirectoryA(folder_.c_str())) << folder_;
        RemoveFiles();
    }
    void TearDown() override {
        RemoveFiles();
        SetCurrentDirectoryA("..");
        RemoveDirectoryA(folder_.c_str());
    }
    static void RemoveFiles() {
        for (const char* f : {"bios-double.txt", "bios-double.log", "usbscan-double.txt", "usbscan-double.log",
                              "usbscan-served.txt", "usbscan-served.log"})
            DeleteFileA(f);
    }
    std::string folder_;
};

using GetUsbDriveFn = int (*)(char*, int*);

struct Scan {
    int result;
    int count;
    std::vector<std::string> records;
};

Scan CallGetUsbDrive(const std::string& path) {
    kv::test::Library dll(path);
    EXPECT_NE(dll.Get(), nullptr) << path << " error " << GetLastError();
    auto get = dll.Proc<GetUsbDriveFn>("GetUSBDrive");
    EXPECT_NE(get, nullptr);
    if (!get) return {-1, -1, {}};
    char buffer[60 + 8];
    std::memset(buffer, 'x', sizeof buffer);
    Scan scan{};
    scan.count = 99;
    {
        kv::test::CapturedStdout quiet;
        scan.result = get(buffer, &scan.count);
    }
    for (int i = 0; i < scan.count && i < 20; ++i) scan.records.emplace_back(buffer + 3 * i);
    for (int i = 3 * scan.count; i < 60; ++i) EXPECT_EQ(buffer[i], 0) << "byte " << i;
    for (int i = 60; i < 68; ++i) EXPECT_EQ(buffer[i], 'x') << "byte " << i;
    return scan;
}

using Records = std::vector<std::string>;

TEST_F(Doubles, BiosDoubleAnswersFromItsScriptAndLogs) {
    WriteFile("bios-double.txt",
              "Manufacturer=Pravolin Inc.\r\nSMBIOSBIOSVersion=1.07\nReleaseDate=20080215000000.000000+000\n"
              "Model=<null>\n");
    kv::test::Library dll(g_bios);
    ASSERT_NE(dll.Get(), nullptr) << g_bios;
    auto init = dll.Proc<bool (*)(int)>("InitNameSpace");
    auto bios = dll.Proc<const wchar_t* (*)(int)>("BIOS");
    auto uninit = dll.Proc<bool (*)()>("UnInitNameSpace");
    ASSERT_TRUE(init && bios && uninit);
    EXPECT_TRUE(init(0));
    EXPECT_STREQ(bios(0), L"Pravolin Inc.");
    EXPECT_STREQ(bios(1), L"1.07");
    EXPECT_STREQ(bios(2), L"20080215000000.000000+000");
    EXPECT_TRUE(init(2));
    EXPECT_EQ(bios(4), nullptr);  // <null>
    EXPECT_TRUE(init(1));
    EXPECT_EQ(bios(3), nullptr);  // missing
    EXPECT_TRUE(uninit());
    EXPECT_EQ(ReadFile("bios-double.log"),
              "InitNameSpace 0\r\nBIOS 0\r\nBIOS 1\r\nBIOS 2\r\nInitNameSpace 2\r\nBIOS 4\r\n"
              "InitNameSpace 1\r\nBIOS 3\r\nUnInitNameSpace\r\n");
}

TEST_F(Doubles, ScriptedUsbScanGoesLineByLineAcrossLoads) {
    WriteFile("usbscan-double.txt", "A:\n\nE:  F:\tG:\n");
    EXPECT_EQ(CallGetUsbDrive(g_scripted).records, Records{"A:"});
    const Scan empty = CallGetUsbDrive(g_scripted);
    EXPECT_EQ(empty.result, 1);
    EXPECT_EQ(empty.count, 0);
    EXPECT_EQ(CallGetUsbDrive(g_scripted).records, (Records{"E:", "F:", "G:"}));
    EXPECT_EQ(CallGetUsbDrive(g_scripted).records, (Records{"E:", "F:", "G:"}));
    EXPECT_EQ(ReadFile("usbscan-double.log"), "GetUSBDrive 1\r\nGetUSBDrive 2\r\nGetUSBDrive 3\r\nGetUSBDrive 4\r\n");
}

TEST_F(Doubles, ScriptedUsbScanWritesAtMostTwentyRecords) {
    std::string line;
    for (int i = 0; i < 25; ++i) line += "Q: ";
    WriteFile("usbscan-double.txt", line + "\n");
    const Scan scan = CallGetUsbDrive(g_scripted);
    EXPECT_EQ(scan.result, 0);
    EXPECT_EQ(scan.count, 20);
}

TEST_F(Doubles, ServedUsbScanRunsTheRealDiscovery) {
    WriteFile("usbscan-served.txt",
              "# the worked example\n"
              "[Win32_DiskDrive]\n"
              "InterfaceType=IDE TotalSectors=NULL\n"
              "InterfaceType=USB TotalSectors=100\n"
              "[win32_logicaldisk]\n"
              "DeviceID=A: DriveType=2 Size=NULL\n"
              "DeviceID=C: DriveType=3 Size=153600\n"
              "DeviceID=E: DriveType=2 Size=51200\n"
              "DeviceID=F: DriveType=3 Size=50176\n");
    const Scan scan = CallGetUsbDrive(g_served);
    EXPECT_EQ(scan.result, 0);
    EXPECT_EQ(scan.records, (Records{"E:", "F:"}));
    EXPECT_EQ(ReadFile("usbscan-served.log"), "GetUSBDrive 1\r\n");
}

TEST_F(Doubles, ServedUsbScanWithoutUsbDiskOrFile) {
    Scan scan = CallGetUsbDrive(g_served);
    EXPECT_EQ(scan.result, 1);
    EXPECT_EQ(scan.count, 0);
    WriteFile("usbscan-served.txt",
              "[Win32_DiskDrive] fail\nInterfaceType=USB TotalSectors=100\n"
              "[Win32_LogicalDisk]\nDeviceID=E: DriveType=2 Size=51200\n");
    scan = CallGetUsbDrive(g_served);
    EXPECT_EQ(scan.result, 1);
    EXPECT_EQ(scan.count, 0);
}

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s <BIOS double> <scripted UsbScan> <served UsbScan>\n", argv[0]);
        return 2;
    }
    g_bios = kv::test::WindowsPath(argv[1]);
    g_scripted = kv::test::WindowsPath(argv[2]);
    g_served = kv::test::WindowsPath(argv[3]);
    return RUN_ALL_TESTS();
}
