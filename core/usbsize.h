// Number rules of the USB disk discovery: how WMI's decimal texts become
// sector counts, and when a volume's size matches a USB disk.
#pragma once

#include <cstdint>
#include <string_view>

namespace kv::core {

// atol-like: leading white space, one optional sign, digits up to the first
// non-digit; no overflow check, the value wraps modulo 2^32. "NULL" gives 0.
std::int32_t SectorsFromText(std::string_view totalSectors);

// The same parsing into 64 bits, divided by 512 towards zero, then the low
// 32 bits as a signed count.
std::int32_t SectorsFromSize(std::string_view sizeBytes);

// |usb / volume| strictly between 0.95 and 1.05, in double precision.
bool SizesMatch(std::int32_t usbSectors, std::int32_t volumeSectors);

}  // namespace kv::core
