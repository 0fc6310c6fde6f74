// The WMI query layer: one open class enumeration, one current instance,
// properties read as wide text. QuerySource is the seam between the USB disk
// discovery (and the system information library) and WMI: ComQuerySource
// asks the real WMI, ServedQuerySource answers from memory.
#pragma once

#include <cstdint>

namespace kv::wmi {

// Class indices.
inline constexpr int kClassBios = 0;
inline constexpr int kClassBaseBoard = 1;
inline constexpr int kClassComputerSystem = 2;
inline constexpr int kClassLogicalDisk = 3;
inline constexpr int kClassDiskDrive = 4;
inline constexpr int kClassCount = 5;

// Property indices.
inline constexpr unsigned kPropManufacturer = 0;
inline constexpr unsigned kPropSmbiosBiosVersion = 1;
inline constexpr unsigned kPropReleaseDate = 2;
inline constexpr unsigned kPropProduct = 3;
inline constexpr unsigned kPropModel = 4;
inline constexpr unsigned kPropInterfaceType = 5;
inline constexpr unsigned kPropTotalSectors = 6;
inline constexpr unsigned kPropDeviceId = 7;
inline constexpr unsigned kPropDriveType = 8;
inline constexpr unsigned kPropSize = 9;
inline constexpr unsigned kPropertyCount = 10;

// The WMI class name of a class index; nullptr outside 0..4.
const wchar_t* ClassName(int classIndex);
// The WMI property name of a property index; nullptr above 9.
const wchar_t* PropertyName(unsigned propertyIndex);
// The text that stands for "no usable value": " NULL" for Manufacturer and
// ReleaseDate, "NULL" for the other properties, "" above 9.
const wchar_t* OtherwiseText(unsigned propertyIndex);

class QuerySource {
public:
    virtual ~QuerySource() = default;

    // True when an enumeration of the class is open. Callers set the end flag
    // to 1 before a new enumeration.
    virtual bool OpenClassEnum(int classIndex) = 0;
    // True when a further instance has become the current one; false at the
    // end, on failure and when no enumeration is open.
    virtual bool NextInstance() = 0;
    // The property's text, never null; valid until the next call of this
    // function. The row's Otherwise text when there is no usable value.
    virtual const wchar_t* GetPropertyText(unsigned propertyIndex) = 0;
    // Ends the use of WMI; always true.
    virtual bool CloseNameSpace() = 0;

    // Returned count of the last step of the enumeration (0 or 1); 1 at start.
    std::uint32_t EndFlag() const { return endFlag_; }
    void SetEndFlag(std::uint32_t value) { endFlag_ = value; }

protected:
    std::uint32_t endFlag_ = 1;
};

}  // namespace kv::wmi
