#include "images.h"

#include "atol.h"

#include <array>
#include <cstdint>
#include <optional>

namespace kv::core {

namespace {

// At most three characters reach it, so nothing can overflow.
long AtolShort(std::string_view text) {
    return static_cast<std::int32_t>(AtolWrapping<std::uint32_t>(text));
}

constexpr std::size_t kWorkAreaSize = 15;
using WorkArea = std::array<char, kWorkAreaSize>;

// The text as strcpy() would leave it in the zero-filled work area; no value
// when it does not fit.
std::optional<WorkArea> IntoWorkArea(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    if (text.size() > kWorkAreaSize - 1)
        return std::nullopt;
    WorkArea area{};
    text.copy(area.data(), text.size());
    return area;
}

// Locale-independent on purpose: the result must not depend on the code
// page the program happens to run under.
bool IsAsciiDigitOrLetter(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

struct Version {
    std::size_t dot;
    std::int32_t number;
};

// The first dot at or after `from` and the number in the three positions
// after it; none when there is no dot there, those positions would lie
// outside the work area, or one of them is not a digit or a letter.
std::optional<Version> VersionAt(const WorkArea& area, std::size_t from) {
    for (std::size_t d = from; d < area.size(); ++d) {
        if (area[d] != '.')
            continue;
        if (d + 3 >= area.size())
            return std::nullopt;
        // A dot, blank, sign or the zero past the text's end has no place in
        // a version number: its code would give a number nobody wrote.
        for (std::size_t i = d + 1; i <= d + 3; ++i) {
            if (!IsAsciiDigitOrLetter(area[i]))
                return std::nullopt;
        }
        const auto digit = [&area](std::size_t i) {
            return static_cast<std::int32_t>(static_cast<std::int8_t>(area[i])) - 48;
        };
        return Version{d, digit(d + 1) * 100 + digit(d + 2) * 10 + digit(d + 3)};
    }
    return std::nullopt;
}

}  // namespace

long RankingValue(std::string_view name) {
    const auto dot = name.find('.');
    const std::size_t start = dot == std::string_view::npos ? 0 : dot + 1;
    return AtolShort(name.substr(start, 3));
}

std::size_t PickNewest(const std::vector<std::string>& names) {
    if (names.size() < 2)
        return 0;
    long best = 0;
    std::size_t bestIndex = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const long value = RankingValue(names[i]);
        if (value > best) {
            best = value;
            bestIndex = i;
        }
    }
    return bestIndex;
}

VersionOrder CompareImageVersion(std::string_view biosVersion, std::string_view imageName) {
    const auto biosArea = IntoWorkArea(biosVersion);
    const auto imageArea = IntoWorkArea(imageName);
    if (!biosArea || !imageArea)
        return VersionOrder::Unknown;
    // The running version's first character is never its dot.
    const auto bios = VersionAt(*biosArea, 1);
    if (!bios)
        return VersionOrder::Unknown;
    const auto image = VersionAt(*imageArea, bios->dot);
    if (!image)
        return VersionOrder::Unknown;
    if (bios->number < image->number)
        return VersionOrder::ImageNewer;
    if (bios->number == image->number)
        return VersionOrder::Equal;
    return VersionOrder::ImageOlder;
}

}  // namespace kv::core
