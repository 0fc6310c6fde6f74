#include "checksums.h"

#include "commands.h"

namespace kv::core {
namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

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
    // Editors on Windows often save with a UTF-8 byte-order mark.
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    std::size_t lineNumber = 0;
    while (!bytes.empty()) {
        ++lineNumber;
        const std::size_t end = bytes.find('\n');
        std::string_view line = bytes.substr(0, end);
        bytes = end == std::string_view::npos ? std::string_view{} : bytes.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) continue;
        ChecksumEntry entry;
        if (!ParseLine(line, entry)) {
            list.entries.clear();
            list.badLine = lineNumber;
            return list;
        }
        list.entries.push_back(std::move(entry));
    }
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
