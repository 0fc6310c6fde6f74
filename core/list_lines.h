// What the install folder's text lists (SHA256SUMS, Signers.txt) share: hex
// digits, and lines as editors on Windows and Linux save them.
#pragma once

#include <cstddef>
#include <string_view>

namespace kv::core {

inline int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Hands each line to take, without its end (LF or CR LF) and after a UTF-8
// byte-order mark, which editors on Windows often write. Stops at the first
// line take refuses and returns its number (from 1); 0 when it took all.
template <typename Take>
std::size_t ForEachListLine(std::string_view bytes, Take&& take) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    std::size_t lineNumber = 0;
    while (!bytes.empty()) {
        ++lineNumber;
        const std::size_t end = bytes.find('\n');
        std::string_view line = bytes.substr(0, end);
        bytes = end == std::string_view::npos ? std::string_view{} : bytes.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!take(line)) return lineNumber;
    }
    return 0;
}

}  // namespace kv::core
