#include "sysinfo.h"

#include <cstddef>

namespace kv::core {

namespace {

char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

std::string ParseSystemId(std::string_view fileBytes) {
    // Text mode stops at Ctrl-Z; a CR directly before it stays a lone CR.
    if (const auto eof = fileBytes.find('\x1A'); eof != std::string_view::npos)
        fileBytes = fileBytes.substr(0, eof);

    const auto colon = fileBytes.find(':');
    if (colon == std::string_view::npos)
        return {};

    std::string id;
    for (std::size_t i = colon + 1; i < fileBytes.size(); ++i) {
        char c = fileBytes[i];
        if (c == '\r' && i + 1 < fileBytes.size() && fileBytes[i + 1] == '\n')
            c = fileBytes[++i];
        // A zero byte would end the ID as a C string, so it ends it here too.
        if (c == ' ' || c == '\n' || c == '\0')
            break;
        id += c;
    }
    return id;
}

bool SystemIdMatches(std::string_view product, std::string_view systemId) {
    if (product.size() != systemId.size())
        return false;
    for (std::size_t i = 0; i < product.size(); ++i) {
        if (Upper(product[i]) != Upper(systemId[i]))
            return false;
    }
    return true;
}

std::string DateText(const wchar_t* releaseDate) {
    if (releaseDate == nullptr)
        return {};
    for (int i = 0; i < 8; ++i) {
        if (releaseDate[i] == L'\0')
            return {};
    }
    const auto at = [releaseDate](int i) {
        return static_cast<char>(static_cast<unsigned>(releaseDate[i]) & 0xFFu);
    };
    std::string text{at(4), at(5), '/', at(6), at(7), '/', at(0), at(1), at(2), at(3)};
    // The label shows a zero-terminated text: a code unit whose low byte is
    // zero ends it there.
    if (const auto zero = text.find('\0'); zero != std::string::npos)
        text.resize(zero);
    return text;
}

}  // namespace kv::core
