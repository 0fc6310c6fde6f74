// BIOS.dll loaded by name and called as the main window calls it.
#include "win_test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string g_dllPath;

using InitFn = bool (*)(int);
using BiosFn = const wchar_t* (*)(int);
using UnInitFn = bool (*)();

std::wstring Copy(const wchar_t* text) { return text ? text : L"<null>"; }

TEST(BiosDll, ExportsTheUndecoratedNames) {
    kv::test::Library dll(g_dllPath);
    ASSERT_NE(dll.Get(), nullptr) << g_dllPath << " error " << GetLastError();
    for (const char* name : {"InitNameSpace", "BIOS", "UnInitNameSpace"}) {
        SCOPED_TRACE(name);
        EXPECT_NE(dll.Proc<FARPROC>(name), nullptr);
    }
    EXPECT_EQ(dll.Proc<FARPROC>("GetUSBDrive"), nullptr);
}

TEST(BiosDll, AnswersTheMainWindowsCallsInOrder) {
    KV_SKIP_UNLESS_WINE_SMBIOS();
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        kv::test::Library dll(g_dllPath);
        ASSERT_NE(dll.Get(), nullptr) << g_dllPath << " error " << GetLastError();
        auto init = dll.Proc<InitFn>("InitNameSpace");
        auto bios = dll.Proc<BiosFn>("BIOS");
        auto uninit = dll.Proc<UnInitFn>("UnInitNameSpace");
        ASSERT_TRUE(init && bios && uninit);

        EXPECT_TRUE(init(0));
        EXPECT_EQ(Copy(bios(0)), L"The Wine Project");
        EXPECT_EQ(Copy(bios(1)), L"Wine");
        EXPECT_EQ(Copy(bios(2)), L"20120608000000.000000+000");
        EXPECT_TRUE(init(2));
        EXPECT_EQ(Copy(bios(4)), L"Wine");
        EXPECT_TRUE(init(1));
        EXPECT_EQ(Copy(bios(3)), L"Base Board");
        EXPECT_EQ(Copy(bios(12)), L"");
        EXPECT_EQ(Copy(bios(-1)), L"");
        EXPECT_TRUE(uninit());
    }
}

TEST(BiosDll, ToleratesCallsOutOfOrder) {
    KV_SKIP_UNLESS_WINE_SMBIOS();
    kv::test::Library dll(g_dllPath);
    ASSERT_NE(dll.Get(), nullptr);
    auto init = dll.Proc<InitFn>("InitNameSpace");
    auto bios = dll.Proc<BiosFn>("BIOS");
    auto uninit = dll.Proc<UnInitFn>("UnInitNameSpace");
    ASSERT_TRUE(init && bios && uninit);
    EXPECT_EQ(Copy(bios(0)), L" NULL");
    EXPECT_TRUE(init(0));
    EXPECT_EQ(Copy(bios(1)), L"Wine");
    // An unknown class leaves nothing selected, not the previous instance.
    EXPECT_FALSE(init(9));
    EXPECT_EQ(Copy(bios(1)), L"NULL");
    EXPECT_TRUE(uninit());
    EXPECT_TRUE(uninit());
}

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <path of BIOS.dll>\n", argv[0]);
        return 2;
    }
    g_dllPath = kv::test::WindowsPath(argv[1]);
    return RUN_ALL_TESTS();
}
