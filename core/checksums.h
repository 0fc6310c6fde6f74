// Lists of image checksums in the form sha256sum writes: 64 hex digits, two
// blanks or a blank and '*', then the file name, lines ending in LF or CR LF.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kv::core {

using Sha256Digest = std::array<std::uint8_t, 32>;

struct ChecksumEntry {
    Sha256Digest digest{};
    std::string name;
};

struct ChecksumList {
    std::vector<ChecksumEntry> entries;
    // 0 when every line could be read; otherwise the first bad line, from 1.
    std::size_t badLine = 0;
    // Every line read, but none names anything: a list that protects nothing
    // is as unusable as a damaged one.
    bool Empty() const { return badLine == 0 && entries.empty(); }
    bool Ok() const { return badLine == 0 && !entries.empty(); }
};

// Reads a whole list. Empty lines are allowed; any other line that is not in
// the format makes the list unusable, because a list meant to protect must
// not be half-read.
ChecksumList ParseChecksumList(std::string_view bytes);

// The digests listed for imageName, a plain file name of the ROM folder. A
// listed name names it when, after one leading "./" is dropped, it is the
// image's name or "ROM/" followed by it, as sha256sum writes the names when
// run in the install folder. Either slash counts, and names compare without
// letter case, as Windows compares file names. Any other path, and an
// imageName that is not a plain name, matches nothing.
std::vector<Sha256Digest> ListedDigests(const ChecksumList& list, std::string_view imageName);

// Lower-case hex text of a digest.
std::string DigestText(const Sha256Digest& digest);

}  // namespace kv::core
