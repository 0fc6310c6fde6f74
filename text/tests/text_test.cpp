// The conversions every floor shares: what they keep, and the empty text they
// give for what they cannot convert.
#include <gtest/gtest.h>

#include "text.h"

namespace kv {
namespace {

TEST(Text, ConvertsAllItIsGivenAndEmptyForNothing) {
    const std::wstring withNull(L"ab\0c", 4);
    const struct {
        std::string got, expected;
    } narrowed[] = {
        {Narrow(std::wstring()), ""},
        {Narrow(static_cast<const wchar_t*>(nullptr)), ""},
        {Narrow(L"C:\\KAVELTON"), "C:\\KAVELTON"},
        {Narrow(withNull), std::string("ab\0c", 4)},   // all of a string
        {Narrow(withNull.c_str()), "ab"},              // a pointer up to its null
        {Narrow(L"\u00e9\u4e2d", CP_UTF8), "\xc3\xa9\xe4\xb8\xad"},
        {AnsiToUtf8("KV1.107"), "KV1.107"},
        {AnsiToUtf8(""), ""},
    };
    for (const auto& [got, expected] : narrowed) EXPECT_EQ(got, expected);
    EXPECT_EQ(Widen("KVD.100"), L"KVD.100");
    EXPECT_EQ(Widen(std::string("a\0b", 3)), std::wstring(L"a\0b", 3));
    EXPECT_TRUE(Widen("").empty());
}

}  // namespace
}  // namespace kv
