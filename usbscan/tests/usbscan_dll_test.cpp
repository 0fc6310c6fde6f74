// UsbScan.dll loaded by name and asked about Wine's disks: two IDE drives.
#include "win_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string g_dllPath;

using GetUsbDriveFn = int (*)(char*, int*);

TEST(UsbScanDll, ExportsTheUndecoratedName) {
    kv::test::Library dll(g_dllPath);
    ASSERT_NE(dll.Get(), nullptr) << g_dllPath << " error " << GetLastError();
    EXPECT_NE(dll.Proc<FARPROC>("GetUSBDrive"), nullptr);
    EXPECT_EQ(dll.Proc<FARPROC>("_GetUSBDrive"), nullptr);
    EXPECT_EQ(dll.Proc<FARPROC>("InitNameSpace"), nullptr);
}

TEST(UsbScanDll, FindsNoUsbDiskUnderWine) {
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        kv::test::Library dll(g_dllPath);
        ASSERT_NE(dll.Get(), nullptr) << g_dllPath << " error " << GetLastError();
        auto getUsbDrive = dll.Proc<GetUsbDriveFn>("GetUSBDrive");
        ASSERT_NE(getUsbDrive, nullptr);
        char buffer[60 + 16];
        std::memset(buffer, 'x', sizeof buffer);
        int count = 7;
        int result = -1;
        std::string out;
        {
            kv::test::CapturedStdout capture;
            result = getUsbDrive(buffer, &count);
            out = capture.Text();
        }
        EXPECT_EQ(result, 1);
        EXPECT_EQ(count, 0);
        EXPECT_EQ(out, "Num of USB disk is:\t0\nHave no USB disk!\n");
        for (int i = 0; i < 60; ++i) ASSERT_EQ(buffer[i], 0) << "byte " << i;
        for (int i = 60; i < 76; ++i) ASSERT_EQ(buffer[i], 'x') << "byte " << i;
    }
}

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <path of UsbScan.dll>\n", argv[0]);
        return 2;
    }
    g_dllPath = kv::test::WindowsPath(argv[1]);
    return RUN_ALL_TESTS();
}
