#include "checksums.h"

#include "commands.h"
#include "list_lines.h"

namespace kv::core {
namespace {

// One line without its end; false when it is not in the format.
bool ParseLine(std::string_view line, ChecksumEntry& entry) {
    // sha256sum marks a line whose name it had to escape with a leading
    // backslash; the name keeps its doubled backslashes and so never matches.
    if (!line.empty() && line[0] == '\\') line.remove_prefix(1);
    if (line.size() < 64 + 2 + 1) return false;
    for (std::size_t i = 0; i < 32; ++i) {
        const int high = HexValue(line[2 * i]), low = HexValue(line[2 * i + 1]);
        if (high < 0 || low < 0) return false;
        entry.digest[i] = static_cast<std::uint8_t>(high * 16 + low);
    }
    if (line[64] != ' ' || (line[65] != ' ' && line[65] != '*')) return false;
    entry.name.assign(line.substr(66));
    return entry.name.find('\0') == std::string::npos;
}

bool IsSlash(char c) { return c == '/' || c == '\\'; }

// Drops "prefix" and the slash after it; false when listed does not start so.
bool DropFolder(std::string_view& listed, std::string_view prefix) {
    if (listed.size() <= prefix.size() || !IsSlash(listed[prefix.size()]) ||
        !EqualIgnoringCase(listed.substr(0, prefix.size()), prefix))
        return false;
    listed.remove_prefix(prefix.size() + 1);
    return true;
}

// sha256sum writes the names as it was given them: "ROM/name" when run in the
// install folder, the bare name in ROM, and "./" before either from a glob
// or find; lists made on Windows may use backslashes.
bool NamesImage(std::string_view listed, std::string_view imageName) {
    DropFolder(listed, ".");
    if (EqualIgnoringCase(listed, imageName)) return true;
    return DropFolder(listed, "ROM") && EqualIgnoringCase(listed, imageName);
}

}  // namespace

ChecksumList ParseChecksumList(std::string_view bytes) {
    ChecksumList list;
    list.badLine = ForEachListLine(bytes, [&](std::string_view line) {
        if (line.empty()) return true;
        ChecksumEntry entry;
        if (!ParseLine(line, entry)) return false;
        list.entries.push_back(std::move(entry));
        return true;
    });
    if (list.badLine) list.entries.clear();
    return list;
}

std::vector<Sha256Digest> ListedDigests(const ChecksumList& list, std::string_view imageName) {
    std::vector<Sha256Digest> digests;
    if (imageName.empty() || imageName.find_first_of("\\/:") != std::string_view::npos) return digests;
    for (const ChecksumEntry& entry : list.entries)
        if (NamesImage(entry.name, imageName)) digests.push_back(entry.digest);
    return digests;
}

std::string DigestText(const Sha256Digest& digest) {
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    text.reserve(64);
    for (std::uint8_t byte : digest) {
        text.push_back(kHex[byte >> 4]);
        text.push_back(kHex[byte & 15]);
    }
    return text;
}

}  // namespace kv::core
