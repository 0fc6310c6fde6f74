// Diskette images compared sector by sector, in handler and end-to-end tests.
#pragma once

#include <algorithm>
#include <string>

namespace kv::test {

// The first sector (of 512 bytes) where a and b differ, or -1.
inline long FirstDifferentSector(const std::string& a, const std::string& b) {
    const std::size_t n = std::max(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i)
        if (i >= a.size() || i >= b.size() || a[i] != b[i]) return static_cast<long>(i / 512);
    return -1;
}

}  // namespace kv::test
