#include "query_source.h"

namespace kv::wmi {

namespace {

constexpr const wchar_t* kClassNames[kClassCount] = {
    L"WIN32_BIOS", L"Win32_BaseBoard", L"Win32_ComputerSystem", L"Win32_LogicalDisk", L"Win32_DiskDrive",
};

struct PropertyRow {
    const wchar_t* name;
    const wchar_t* otherwise;
};

constexpr PropertyRow kProperties[kPropertyCount] = {
    {L"Manufacturer", L" NULL"},  {L"SMBIOSBIOSVersion", L"NULL"}, {L"ReleaseDate", L" NULL"},
    {L"Product", L"NULL"},        {L"Model", L"NULL"},             {L"InterfaceType", L"NULL"},
    {L"TotalSectors", L"NULL"},   {L"DeviceID", L"NULL"},          {L"DriveType", L"NULL"},
    {L"Size", L"NULL"},
};

}  // namespace

const wchar_t* ClassName(int classIndex) {
    return classIndex >= 0 && classIndex < kClassCount ? kClassNames[classIndex] : nullptr;
}

const wchar_t* PropertyName(unsigned propertyIndex) {
    return propertyIndex < kPropertyCount ? kProperties[propertyIndex].name : nullptr;
}

const wchar_t* OtherwiseText(unsigned propertyIndex) {
    return propertyIndex < kPropertyCount ? kProperties[propertyIndex].otherwise : L"";
}

}  // namespace kv::wmi
