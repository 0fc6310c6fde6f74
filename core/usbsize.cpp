#include "usbsize.h"

#include <cmath>

namespace kv::core {

namespace {

bool IsCSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// atol()/_atoi64() without overflow checks: unsigned arithmetic wraps
// modulo 2^N, which is what those give for oversized values.
template <typename Unsigned>
Unsigned ParseWrapping(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsCSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    Unsigned value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = static_cast<Unsigned>(value * 10u + static_cast<Unsigned>(text[i] - '0'));
    return negative ? static_cast<Unsigned>(0u - value) : value;
}

}  // namespace

std::int32_t SectorsFromText(std::string_view totalSectors) {
    return static_cast<std::int32_t>(ParseWrapping<std::uint32_t>(totalSectors));
}

std::int32_t SectorsFromSize(std::string_view sizeBytes) {
    const auto bytes = static_cast<std::int64_t>(ParseWrapping<std::uint64_t>(sizeBytes));
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
