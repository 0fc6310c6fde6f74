#include "usbsize.h"

#include "atol.h"

#include <cmath>

namespace kv::core {

std::int32_t SectorsFromText(std::string_view totalSectors) {
    return static_cast<std::int32_t>(AtolWrapping<std::uint32_t>(totalSectors));
}

std::int32_t SectorsFromSize(std::string_view sizeBytes) {
    const auto bytes = static_cast<std::int64_t>(AtolWrapping<std::uint64_t>(sizeBytes));
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(bytes / 512));
}

bool SizesMatch(std::int32_t usbSectors, std::int32_t volumeSectors) {
    // A zero on either side gives an infinite or undefined ratio: no match.
    if (usbSectors == 0 || volumeSectors == 0)
        return false;
    const double ratio =
        std::fabs(static_cast<double>(usbSectors) / static_cast<double>(volumeSectors));
    return ratio > 0.95 && ratio < 1.05;
}

}  // namespace kv::core
