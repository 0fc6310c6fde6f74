// The query layer against Wine's WMI. The expected texts are the values
// Wine gives on a host without DMI data.
#include "com_query_source.h"
#include "served_query_source.h"
#include "win_test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace kv::wmi;

std::wstring Text(QuerySource& source, unsigned property) { return source.GetPropertyText(property); }

// Reads one property of every instance of a class.
std::vector<std::wstring> ReadAll(QuerySource& source, int classIndex, unsigned property) {
    std::vector<std::wstring> texts;
    source.SetEndFlag(1);
    EXPECT_TRUE(source.OpenClassEnum(classIndex)) << "class " << classIndex;
    while (source.NextInstance()) texts.push_back(source.GetPropertyText(property));
    return texts;
}

TEST(ComQuerySource, ReadsTheBiosClass) {
    KV_SKIP_UNLESS_WINE_SMBIOS();
    ComQuerySource wmi;
    ASSERT_TRUE(wmi.OpenClassEnum(kClassBios)) << "hr " << std::hex << wmi.LastResult();
    ASSERT_TRUE(wmi.NextInstance()) << "hr " << std::hex << wmi.LastResult();
    EXPECT_EQ(wmi.EndFlag(), 1u);
    EXPECT_EQ(Text(wmi, kPropManufacturer), L"The Wine Project");
    EXPECT_EQ(Text(wmi, kPropSmbiosBiosVersion), L"Wine");
    EXPECT_EQ(Text(wmi, kPropReleaseDate), L"20120608000000.000000+000");
    // Not a property of this class: the Get fails and the Otherwise text stands.
    EXPECT_EQ(Text(wmi, kPropModel), L"NULL");
    EXPECT_EQ(Text(wmi, kPropTotalSectors), L"NULL");
    EXPECT_TRUE(wmi.CloseNameSpace());
}

TEST(ComQuerySource, IndicesAboveNineGiveEmptyText) {
    ComQuerySource wmi;
    // Before any instance too: no query is made.
    EXPECT_EQ(Text(wmi, 10), L"");
    ASSERT_TRUE(wmi.OpenClassEnum(kClassBios));
    ASSERT_TRUE(wmi.NextInstance());
    for (unsigned index : {10u, 11u, 1000u, static_cast<unsigned>(-1), static_cast<unsigned>(-5)}) {
        SCOPED_TRACE(index);
        EXPECT_EQ(Text(wmi, index), L"");
    }
    EXPECT_TRUE(wmi.CloseNameSpace());
}

TEST(ComQuerySource, ReadsModelAndBoardProduct) {
    KV_SKIP_UNLESS_WINE_SMBIOS();
    ComQuerySource wmi;
    EXPECT_EQ(ReadAll(wmi, kClassComputerSystem, kPropModel), std::vector<std::wstring>{L"Wine"});
    EXPECT_EQ(ReadAll(wmi, kClassBaseBoard, kPropProduct), std::vector<std::wstring>{L"Base Board"});
    EXPECT_TRUE(wmi.CloseNameSpace());
}

TEST(ComQuerySource, DiskDrivesWithoutTotalSectorsReadNull) {
    ComQuerySource wmi;
    const auto interfaces = ReadAll(wmi, kClassDiskDrive, kPropInterfaceType);
    EXPECT_EQ(interfaces, (std::vector<std::wstring>{L"IDE", L"IDE"}));
    // Wine fails the Get and leaves the VARIANT empty.
    const auto sectors = ReadAll(wmi, kClassDiskDrive, kPropTotalSectors);
    EXPECT_EQ(sectors, (std::vector<std::wstring>{L"NULL", L"NULL"}));
    EXPECT_TRUE(wmi.CloseNameSpace());
}

TEST(ComQuerySource, LogicalDisksGiveDriveTypeAsDecimalText) {
    ComQuerySource wmi;
    wmi.SetEndFlag(1);
    ASSERT_TRUE(wmi.OpenClassEnum(kClassLogicalDisk));
    int seen = 0;
    while (wmi.NextInstance()) {
        const std::wstring id = Text(wmi, kPropDeviceId);
        SCOPED_TRACE(std::string(id.begin(), id.end()));
        EXPECT_EQ(id.size(), 2u);
        EXPECT_EQ(Text(wmi, kPropDriveType), L"3");
        const std::wstring size = Text(wmi, kPropSize);
        EXPECT_FALSE(size.empty());
        EXPECT_EQ(size.find_first_not_of(L"0123456789"), std::wstring::npos)
            << "size " << std::string(size.begin(), size.end());
        ++seen;
    }
    EXPECT_GE(seen, 1);
    EXPECT_EQ(wmi.EndFlag(), 0u);
    EXPECT_TRUE(wmi.CloseNameSpace());
}

TEST(ComQuerySource, ExhaustedEnumerationStaysFalse) {
    ComQuerySource wmi;
    ASSERT_TRUE(wmi.OpenClassEnum(kClassBios));
    ASSERT_TRUE(wmi.NextInstance());
    EXPECT_FALSE(wmi.NextInstance());
    EXPECT_EQ(wmi.EndFlag(), 0u);
    // Each further call finds the enumerator gone and must not release it again.
    for (int i = 0; i < 4; ++i) EXPECT_FALSE(wmi.NextInstance()) << "call " << i;
    EXPECT_EQ(wmi.EndFlag(), 0u);
    // A caller that sets the flag without a new enumeration gets nothing.
    wmi.SetEndFlag(1);
    EXPECT_FALSE(wmi.NextInstance());
    EXPECT_TRUE(wmi.CloseNameSpace());
}

TEST(ComQuerySource, SecondClassReplacesTheFirstWithoutClosing) {
    KV_SKIP_UNLESS_WINE_SMBIOS();
    ComQuerySource wmi;
    EXPECT_EQ(ReadAll(wmi, kClassDiskDrive, kPropInterfaceType).size(), 2u);
    EXPECT_GE(ReadAll(wmi, kClassLogicalDisk, kPropDeviceId).size(), 1u);
    // And replacing one still open in the middle.
    wmi.SetEndFlag(1);
    ASSERT_TRUE(wmi.OpenClassEnum(kClassDiskDrive));
    ASSERT_TRUE(wmi.NextInstance());
    EXPECT_EQ(ReadAll(wmi, kClassBios, kPropSmbiosBiosVersion), std::vector<std::wstring>{L"Wine"});
    EXPECT_TRUE(wmi.CloseNameSpace());
}

TEST(ComQuerySource, WholeCycleRepeats) {
    KV_SKIP_UNLESS_WINE_SMBIOS();
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        ComQuerySource wmi;
        EXPECT_EQ(ReadAll(wmi, kClassBios, kPropManufacturer), std::vector<std::wstring>{L"The Wine Project"});
        EXPECT_TRUE(wmi.CloseNameSpace());
    }
}

TEST(ComQuerySource, NoCurrentInstanceGivesOtherwiseText) {
    KV_SKIP_UNLESS_WINE_SMBIOS();
    ComQuerySource wmi;
    EXPECT_EQ(Text(wmi, kPropManufacturer), L" NULL");
    EXPECT_EQ(Text(wmi, kPropReleaseDate), L" NULL");
    EXPECT_EQ(Text(wmi, kPropSmbiosBiosVersion), L"NULL");
    ASSERT_TRUE(wmi.OpenClassEnum(kClassBios));
    // Open but not yet positioned.
    EXPECT_EQ(Text(wmi, kPropManufacturer), L" NULL");
    ASSERT_TRUE(wmi.NextInstance());
    ASSERT_EQ(Text(wmi, kPropManufacturer), L"The Wine Project");
    // A new class makes the old instance stale.
    wmi.SetEndFlag(1);
    ASSERT_TRUE(wmi.OpenClassEnum(kClassComputerSystem));
    EXPECT_EQ(Text(wmi, kPropManufacturer), L" NULL");
    EXPECT_TRUE(wmi.CloseNameSpace());
    EXPECT_EQ(Text(wmi, kPropModel), L"NULL");
}

// Whether the calling thread's apartment is initialised, without changing it.
bool ApartmentStillInitialised() {
    const HRESULT probe = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (SUCCEEDED(probe)) CoUninitialize();
    return probe == S_FALSE;
}

// Start-up reads three classes and closes once; each USB scan reads two.
DWORD WINAPI ComBalanceOnAFreshThread(void* result) {
    auto& failures = *static_cast<std::vector<std::string>*>(result);
    const auto cycle = [] {
        ComQuerySource wmi;
        for (int index : {kClassBios, kClassBaseBoard, kClassComputerSystem}) wmi.OpenClassEnum(index);
        wmi.CloseNameSpace();
    };
    cycle();
    cycle();
    if (ApartmentStillInitialised()) failures.push_back("initialisations left after two cycles");

    // A host that initialised COM itself keeps its own initialisation.
    if (CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED) != S_OK) failures.push_back("host init");
    cycle();
    if (!ApartmentStillInitialised()) failures.push_back("the host's initialisation was undone");
    CoUninitialize();
    if (ApartmentStillInitialised()) failures.push_back("initialisations left beside the host's");
    return 0;
}

TEST(ComQuerySource, EachNameSpaceUndoesExactlyItsOwnComInitialisation) {
    std::vector<std::string> failures;
    HANDLE thread = CreateThread(nullptr, 0, ComBalanceOnAFreshThread, &failures, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    EXPECT_EQ(failures, std::vector<std::string>{});
}

TEST(ComQuerySource, UnknownClassOrNoEnumerationIsFalse) {
    ComQuerySource wmi;
    EXPECT_FALSE(wmi.NextInstance());
    for (int index : {-1, 5, 100}) {
        SCOPED_TRACE(index);
        EXPECT_FALSE(wmi.OpenClassEnum(index));
        EXPECT_FALSE(wmi.NextInstance());
    }
    EXPECT_TRUE(wmi.CloseNameSpace());
}

TEST(ServedQuerySource, ServesInstancesAndNullTexts) {
    ServedQuerySource served;
    served.Instances(kClassBios).push_back(ServedInstance{}.Set(kPropSmbiosBiosVersion, L"1.07"));
    ASSERT_TRUE(served.OpenClassEnum(kClassBios));
    ASSERT_TRUE(served.NextInstance());
    EXPECT_EQ(Text(served, kPropSmbiosBiosVersion), L"1.07");
    EXPECT_EQ(Text(served, kPropManufacturer), L" NULL");
    EXPECT_EQ(Text(served, kPropReleaseDate), L" NULL");
    EXPECT_EQ(Text(served, kPropProduct), L"NULL");
    EXPECT_EQ(Text(served, 10), L"");
    EXPECT_FALSE(served.NextInstance());
    EXPECT_EQ(served.EndFlag(), 0u);
    EXPECT_FALSE(served.NextInstance());
    EXPECT_FALSE(served.OpenClassEnum(7));
    EXPECT_FALSE(served.NextInstance());
}

}  // namespace
