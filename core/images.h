// BIOS image names: which one to pre-select, and how its version compares
// with the running BIOS.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kv::core {

constexpr std::size_t kMaxImageNameLength = 13;
constexpr std::size_t kMaxCatalogueNames = 10;

// atol() of the (up to) three characters right after the first dot, or of
// the first three characters when the name has no dot. Characters that do
// not exist are simply not there: "A." ranks 0, "B.7" ranks 7.
long RankingValue(std::string_view name);

// Index of the name to pre-select: the first of the highest ranking values,
// 0 when none is above 0. Needs at least one name.
std::size_t PickNewest(const std::vector<std::string>& names);

enum class VersionOrder {
    ImageNewer,  // the image's number is greater: no question
    Equal,
    ImageOlder,
    Unknown,     // no number could be read: the versions cannot be compared
};

// Compares the running BIOS version with an image name by their three-digit
// version numbers (digit arithmetic on the three characters after the dot;
// the BIOS's dot is looked for from index 1, the image's from the BIOS's dot
// index). Letters count by their code ("1A5" gives 275). Texts longer than 14
// characters, without a dot followed by three positions inside the 15-byte
// work area, or with anything but an ASCII digit or letter in those three
// positions (a dot, a blank, a sign, a byte above 127, the end of the text),
// give Unknown. A text ends at its first zero byte, as the C string it is
// copied from would.
VersionOrder CompareImageVersion(std::string_view biosVersion, std::string_view imageName);

}  // namespace kv::core
