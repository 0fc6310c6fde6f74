#include "signers.h"

#include "commands.h"
#include "list_lines.h"

namespace kv::core {
namespace {

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
        const int high = HexValue(text[at]), low = HexValue(text[at + 1]);
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
    list.badLine = ForEachListLine(bytes, [&](std::string_view line) {
        while (!line.empty() && IsBlank(line.front())) line.remove_prefix(1);
        if (line.empty() || line.front() == '#') return true;
        SignerEntry entry;
        if (!ParseLine(line, entry)) return false;
        list.entries.push_back(std::move(entry));
        return true;
    });
    if (list.badLine) list.entries.clear();
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
