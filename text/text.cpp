#include "text.h"

#include <climits>

namespace kv {

std::string Narrow(const std::wstring& text, UINT codePage) {
    if (text.empty() || text.size() > INT_MAX / 4) return {};
    const int length = static_cast<int>(text.size());
    const int size = ::WideCharToMultiByte(codePage, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string out(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(codePage, 0, text.data(), length, out.data(), size, nullptr, nullptr);
    return out;
}

std::string Narrow(const wchar_t* text, UINT codePage) { return text ? Narrow(std::wstring(text), codePage) : std::string(); }

std::wstring Widen(const std::string& text) {
    if (text.empty() || text.size() > INT_MAX) return {};
    const int length = static_cast<int>(text.size());
    const int size = ::MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
    if (size <= 0) return {};
    std::wstring out(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), length, out.data(), size);
    return out;
}

std::string AnsiToUtf8(const std::string& text) { return Narrow(Widen(text), CP_UTF8); }

}  // namespace kv
