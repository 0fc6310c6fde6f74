// The C library's atol() family as the numbers in WMI texts and image names
// are read: leading white space, one optional sign, digits up to the first
// non-digit, and no overflow check (the value wraps modulo 2^N).
#pragma once

#include <string_view>

namespace kv::core {

template <typename Unsigned>
Unsigned AtolWrapping(std::string_view text) {
    auto isSpace = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    std::size_t i = 0;
    while (i < text.size() && isSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    Unsigned value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = static_cast<Unsigned>(value * 10u + static_cast<Unsigned>(text[i] - '0'));
    return negative ? static_cast<Unsigned>(0u - value) : value;
}

}  // namespace kv::core
