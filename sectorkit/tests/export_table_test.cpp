// The export table is the library's whole contract with outside callers:
// undecorated names, fixed ordinals, nothing else.
#include "sectorkit_library.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using sectorkit_test::Library;
using sectorkit_test::ProgramFolder;

const std::string kDllPath = ProgramFolder() + "Sectorkit.dll";

// Mapped without running its start-up code: the table is read as the loader sees it.
template <typename T>
const T* At(HMODULE module, DWORD rva)
{
    return reinterpret_cast<const T*>(reinterpret_cast<const BYTE*>(module) + rva);
}

const IMAGE_EXPORT_DIRECTORY* ExportDirectory(HMODULE module)
{
    const auto* dos = At<IMAGE_DOS_HEADER>(module, 0);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE)
        return nullptr;
    const auto* nt = At<IMAGE_NT_HEADERS>(module, dos->e_lfanew);
    if (nt->Signature != IMAGE_NT_SIGNATURE)
        return nullptr;
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (dir.VirtualAddress == 0 || dir.Size == 0)
        return nullptr;
    return At<IMAGE_EXPORT_DIRECTORY>(module, dir.VirtualAddress);
}

TEST(ExportTable, ListsTheFourFunctionsByNameWithTheirOrdinals)
{
    Library dll(kDllPath, DONT_RESOLVE_DLL_REFERENCES);
    ASSERT_NE(dll.get(), nullptr) << "LoadLibraryEx(" << kDllPath << ") failed, error " << GetLastError();
    const IMAGE_EXPORT_DIRECTORY* exports = ExportDirectory(dll.get());
    ASSERT_NE(exports, nullptr) << "no export directory";

    EXPECT_STREQ(At<char>(dll.get(), exports->Name), "Sectorkit.dll");
    EXPECT_EQ(exports->Base, 1u);
    EXPECT_EQ(exports->NumberOfFunctions, 4u);
    ASSERT_EQ(exports->NumberOfNames, 4u);

    const auto* names = At<DWORD>(dll.get(), exports->AddressOfNames);
    const auto* ordinals = At<WORD>(dll.get(), exports->AddressOfNameOrdinals);
    const auto* functions = At<DWORD>(dll.get(), exports->AddressOfFunctions);
    std::vector<std::pair<std::string, DWORD>> listed;
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
        listed.emplace_back(At<char>(dll.get(), names[i]), ordinals[i] + exports->Base);
        EXPECT_NE(functions[ordinals[i]], 0u) << "export " << listed.back().first << " has no address";
    }
    const std::vector<std::pair<std::string, DWORD>> expected = {
        {"CloseHdel", 1}, {"GetDiskHandle", 2}, {"ReadDisk", 3}, {"WriteDisk", 4}};
    EXPECT_EQ(listed, expected);
}

TEST(ExportTable, OrdinalAndNameReachTheSameFunction)
{
    Library dll(kDllPath);
    ASSERT_NE(dll.get(), nullptr) << "LoadLibrary(" << kDllPath << ") failed, error " << GetLastError();
    const char* names[] = {"CloseHdel", "GetDiskHandle", "ReadDisk", "WriteDisk"};
    for (WORD ordinal = 1; ordinal <= 4; ++ordinal) {
        SCOPED_TRACE(names[ordinal - 1]);
        FARPROC byName = GetProcAddress(dll.get(), names[ordinal - 1]);
        FARPROC byOrdinal = GetProcAddress(dll.get(), MAKEINTRESOURCEA(ordinal));
        ASSERT_NE(byName, nullptr);
        EXPECT_EQ(byName, byOrdinal);
    }
}

} // namespace
