#include "signers.h"

#include "commands.h"

namespace kv::core {
namespace {

int Hex(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view NextWord(std::string_view& rest) {
    while (!rest.empty() && IsBlank(rest.front())) rest.remove_prefix(1);
    std::size_t end = 0;
    while (end < rest.size() && !IsBlank(rest[end])) ++end;
    const std::string_view word = rest.substr(0, end);
    rest.remove_prefix(end);
    while (!rest.empty() && IsBlank(rest.front())) rest.remove_prefix(1);
    return word;
}

bool ParseDigest(std::string_view text, Sha256Digest& digest) {
    const bool colons = text.size() == 95;
    if (text.size() != 64 && !colons) return false;
    const std::size_t step = colons ? 3 : 2;
    for (std::size_t i = 0; i < 32; ++i) {
        const std::size_t at = i * step;
        if (colons && i > 0 && text[at - 1] != ':') return false;
        const int high = Hex(text[at]), low = Hex(text[at + 1]);
        if (high < 0 || low < 0) return false;
        digest[i] = static_cast<std::uint8_t>(high * 16 + low);
    }
    return true;
}

bool ParseLine(std::string_view line, SignerEntry& entry) {
    const std::string_view kind = NextWord(line);
    if (EqualIgnoringCase(kind, "cert"))
        entry.kind = SignerEntry::Certificate;
    else if (EqualIgnoringCase(kind, "file"))
        entry.kind = SignerEntry::File;
    else
        return false;
    if (!ParseDigest(NextWord(line), entry.digest)) return false;
    while (!line.empty() && IsBlank(line.back())) line.remove_suffix(1);
    // A file is named as it lies in the install folder, never by a path.
    if (entry.kind == SignerEntry::File &&
        (line.empty() || line.find_first_of(std::string_view("\\/:\0", 4)) != std::string_view::npos))
        return false;
    entry.name.assign(line);
    return entry.name.find('\0') == std::string::npos;
}

}  // namespace

SignerList ParseSignerList(std::string_view bytes) {
    SignerList list;
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    std::size_t lineNumber = 0;
    while (!bytes.empty()) {
        ++lineNumber;
        const std::size_t end = bytes.find('\n');
        std::string_view line = bytes.substr(0, end);
        bytes = end == std::string_view::npos ? std::string_view{} : bytes.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        std::string_view trimmed = line;
        while (!trimmed.empty() && IsBlank(trimmed.front())) trimmed.remove_prefix(1);
        if (trimmed.empty() || trimmed.front() == '#') continue;
        SignerEntry entry;
        if (!ParseLine(trimmed, entry)) {
            list.entries.clear();
            list.badLine = lineNumber;
            return list;
        }
        list.entries.push_back(std::move(entry));
    }
    return list;
}

bool NamesCertificate(const SignerList& list, const Sha256Digest& certificate) {
    for (const SignerEntry& entry : list.entries)
        if (entry.kind == SignerEntry::Certificate && entry.digest == certificate) return true;
    return false;
}

bool HasFileLine(const SignerList& list, std::string_view fileName) {
    for (const SignerEntry& entry : list.entries)
        if (entry.kind == SignerEntry::File && EqualIgnoringCase(entry.name, fileName)) return true;
    return false;
}

bool AllowsFile(const SignerList& list, std::string_view fileName, const Sha256Digest& file) {
    for (const SignerEntry& entry : list.entries)
        if (entry.kind == SignerEntry::File && entry.digest == file && EqualIgnoringCase(entry.name, fileName))
            return true;
    return false;
}

}  // namespace kv::core
