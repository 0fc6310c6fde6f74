#include "sysinfo.h"

#include <cstddef>

namespace kv::core {

namespace {

char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

namespace {

// Code points the 8-bit text can hold stay as they are; anything above
// becomes '?', as the conversion to a code page marks a character it lacks.
void AppendCodePoint(std::string& out, char32_t c) {
    out += c < 0x100 ? static_cast<char>(c) : '?';
}

std::string FromUtf16(std::string_view bytes, bool bigEndian) {
    const auto unitAt = [bytes, bigEndian](std::size_t i) {
        const auto first = static_cast<unsigned char>(bytes[i]);
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        return static_cast<char32_t>(bigEndian ? first << 8 | second : second << 8 | first);
    };
    const auto isHigh = [](char32_t u) { return u >= 0xD800 && u <= 0xDBFF; };
    const auto isLow = [](char32_t u) { return u >= 0xDC00 && u <= 0xDFFF; };
    std::string out;
    std::size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2) {
        const char32_t unit = unitAt(i);
        // A surrogate pair is one character, and above what 8 bits can hold.
        if (isHigh(unit) && i + 3 < bytes.size() && isLow(unitAt(i + 2)))
            i += 2;
        AppendCodePoint(out, unit);
    }
    if (i < bytes.size())
        out += '?';  // a lone last byte is half a character
    return out;
}

std::string FromUtf8(std::string_view bytes) {
    std::string out;
    for (std::size_t i = 0; i < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 && lead < 0xF8 ? 4
                                               : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
        char32_t c = length == 1 ? lead : lead & (0x3F >> length);
        bool whole = length != 0 && i + length <= bytes.size();
        for (std::size_t k = 1; whole && k < length; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            whole = (next & 0xC0) == 0x80;
            c = c << 6 | (next & 0x3F);
        }
        if (!whole) {
            out += '?';  // not UTF-8 here: one mark per byte, and resynchronise
            ++i;
            continue;
        }
        AppendCodePoint(out, c);
        i += length;
    }
    return out;
}

}  // namespace

std::string DecodeTextFile(std::string_view fileBytes) {
    const auto startsWith = [fileBytes](std::string_view mark) {
        return fileBytes.substr(0, mark.size()) == mark;
    };
    if (startsWith("\xFF\xFE"))
        return FromUtf16(fileBytes.substr(2), false);
    if (startsWith("\xFE\xFF"))
        return FromUtf16(fileBytes.substr(2), true);
    if (startsWith("\xEF\xBB\xBF"))
        return FromUtf8(fileBytes.substr(3));
    return std::string(fileBytes);
}

std::string ParseSystemId(std::string_view rawBytes) {
    const std::string decoded = DecodeTextFile(rawBytes);
    std::string_view fileBytes = decoded;
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
    // Anything else would be shuffled into a date that was never reported.
    for (int i = 0; i < 8; ++i) {
        if (releaseDate[i] < L'0' || releaseDate[i] > L'9')
            return {};
    }
    const auto at = [releaseDate](int i) {
        return static_cast<char>(static_cast<unsigned>(releaseDate[i]) & 0xFFu);
    };
    return {at(4), at(5), '/', at(6), at(7), '/', at(0), at(1), at(2), at(3)};
}

}  // namespace kv::core
