// Feeds one input to every text parser of the core and checks what must hold
// for any input. The input is also split at its first line feed into two
// texts for the functions that compare two.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "checksums.h"
#include "commands.h"
#include "images.h"
#include "signers.h"
#include "sysinfo.h"
#include "usbsize.h"

namespace {

#define KV_CHECK(cond)                                                            \
    do {                                                                          \
        if (!(cond)) {                                                            \
            std::fprintf(stderr, "%s:%d: invariant failed: %s\n", __FILE__, __LINE__, \
                         #cond);                                                  \
            std::abort();                                                         \
        }                                                                         \
    } while (0)

using namespace kv::core;

std::string_view CString(std::string_view text) {
    return text.substr(0, text.find('\0'));
}

char AsciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

void CheckSystemId(std::string_view text, std::string_view other) {
    const std::string id = ParseSystemId(text);
    KV_CHECK(id.find_first_of(std::string_view(" \n\0", 3)) == std::string::npos);
    KV_CHECK(id.find('\x1A') == std::string::npos);
    // Without a byte-order mark, the ID is always the untranslated run right
    // after the first colon.
    const std::string decoded = DecodeTextFile(text);
    const bool marked = text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF") ||
                        text.starts_with("\xEF\xBB\xBF");
    KV_CHECK(marked ? decoded.size() < text.size() : decoded == text);
    if (!id.empty() && !marked) {
        const auto colon = text.find(':');
        KV_CHECK(colon != std::string_view::npos);
        KV_CHECK(text.substr(colon + 1, id.size()) == id);
    }
    std::string upper = id;
    for (char& c : upper)
        c = AsciiUpper(c);
    KV_CHECK(SystemIdMatches(upper, id));
    KV_CHECK(SystemIdMatches(id, upper));
    KV_CHECK(!SystemIdMatches(id + "0", id));
    if (!id.empty())
        KV_CHECK(!SystemIdMatches(id.substr(0, id.size() - 1), id));
    KV_CHECK(SystemIdMatches(text, other) == SystemIdMatches(other, text));
    if (SystemIdMatches(text, other))
        KV_CHECK(text.size() == other.size());
}

VersionOrder Mirror(VersionOrder order) {
    switch (order) {
    case VersionOrder::ImageNewer: return VersionOrder::ImageOlder;
    case VersionOrder::ImageOlder: return VersionOrder::ImageNewer;
    default: return order;
    }
}

bool ThreeDigitsAfter(std::string_view text, std::size_t dot) {
    if (dot + 3 >= text.size())
        return false;
    for (std::size_t i = dot + 1; i <= dot + 3; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
    }
    return true;
}

void CheckVersions(std::string_view a, std::string_view b) {
    const VersionOrder ab = CompareImageVersion(a, b);
    const VersionOrder ba = CompareImageVersion(b, a);
    const std::string_view ca = CString(a);
    const std::string_view cb = CString(b);
    const auto da = ca.find('.', 1);
    const auto db = cb.find('.', 1);

    const auto digitOrLetter = [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    };
    const bool readable = ca.size() <= 14 && da != std::string_view::npos && da + 3 < ca.size() &&
                          digitOrLetter(ca[da + 1]) && digitOrLetter(ca[da + 2]) &&
                          digitOrLetter(ca[da + 3]);
    KV_CHECK(CompareImageVersion(a, a) == (readable ? VersionOrder::Equal : VersionOrder::Unknown));
    if (ca.size() > 14 || cb.size() > 14)
        KV_CHECK(ab == VersionOrder::Unknown);
    if (ab != VersionOrder::Unknown && ba != VersionOrder::Unknown && da == db)
        KV_CHECK(ba == Mirror(ab));
    // Three real digits compare like the texts themselves.
    if (ab != VersionOrder::Unknown && da == db && ThreeDigitsAfter(ca, da) &&
        ThreeDigitsAfter(cb, db)) {
        const int lex = ca.substr(da + 1, 3).compare(cb.substr(db + 1, 3));
        const VersionOrder want = lex < 0    ? VersionOrder::ImageNewer
                                  : lex == 0 ? VersionOrder::Equal
                                             : VersionOrder::ImageOlder;
        KV_CHECK(ab == want);
    }
}

void CheckRanking(std::string_view text) {
    std::vector<std::string> names;
    std::size_t start = 0;
    while (names.size() < kMaxCatalogueNames) {
        const auto end = text.find('\n', start);
        names.emplace_back(text.substr(start, end - start));
        if (end == std::string_view::npos)
            break;
        start = end + 1;
    }
    for (const auto& name : names) {
        const long value = RankingValue(name);
        KV_CHECK(value >= -99 && value <= 999);
    }
    const std::size_t pick = PickNewest(names);
    KV_CHECK(pick < names.size());
    if (names.size() < 2) {
        KV_CHECK(pick == 0);
        return;
    }
    const long best = RankingValue(names[pick]);
    for (std::size_t i = 0; i < names.size(); ++i) {
        const long value = RankingValue(names[i]);
        KV_CHECK(value <= best || best <= 0);
        if (i < pick)
            KV_CHECK(value < best);
        if (best <= 0)
            KV_CHECK(value <= 0 && pick == 0);
    }
}

void CheckDate(std::string_view text) {
    std::vector<wchar_t> units;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2)
        units.push_back(static_cast<wchar_t>(static_cast<unsigned char>(text[i]) |
                                             static_cast<unsigned char>(text[i + 1]) << 8));
    units.push_back(L'\0');
    const std::string date = DateText(units.data());
    KV_CHECK(date.size() <= 10);
    KV_CHECK(date.find('\0') == std::string::npos);
    std::size_t length = 0;
    while (units[length] != L'\0')
        ++length;
    bool eightDigits = length >= 8;
    for (std::size_t i = 0; eightDigits && i < 8; ++i)
        eightDigits = units[i] >= L'0' && units[i] <= L'9';
    KV_CHECK(date.empty() != eightDigits);
    if (eightDigits)
        KV_CHECK(date.size() == 10 && date[2] == '/' && date[5] == '/' &&
                 date[6] == static_cast<char>(units[0]));
    KV_CHECK(DateText(nullptr).empty());
}

void CheckSectors(std::string_view a, std::string_view b) {
    // strtoll reads the same grammar; where it does not overflow, ours must
    // agree with it after the wrap to 32 bits.
    const std::string copy(CString(a));
    errno = 0;
    const long long value = std::strtoll(copy.c_str(), nullptr, 10);
    if (errno == 0) {
        KV_CHECK(SectorsFromText(a) ==
                 static_cast<std::int32_t>(static_cast<std::uint32_t>(value)));
        KV_CHECK(SectorsFromSize(a) ==
                 static_cast<std::int32_t>(static_cast<std::uint32_t>(value / 512)));
    }
    const std::int32_t u = SectorsFromText(a);
    const std::int32_t v = SectorsFromText(b);
    if (SizesMatch(u, v))
        KV_CHECK(u != 0 && v != 0);
    KV_CHECK(SizesMatch(u, u) == (u != 0));
    if (u != INT32_MIN)
        KV_CHECK(SizesMatch(-u, v) == SizesMatch(u, v));
}

void CheckCommands(std::string_view a, std::string_view b) {
    if (IsPlainImageName(a)) {
        KV_CHECK(!a.empty());
        for (const char c : a) {
            KV_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
            KV_CHECK(std::string_view("\\/:*?&|<>^%\"!();,=` \t").find(c) == std::string_view::npos);
        }
    }
    const std::string usb = UsbKeyCommand(b, a);
    KV_CHECK(usb.size() == 12 + a.size() + b.size());
    KV_CHECK(usb.compare(0, 11, "ToUSB.bat  ") == 0);
    KV_CHECK(UsbKeyCommandFits(b, a) == (usb.size() <= kMaxUsbCommandLength));
    if (IsDriveText(b))
        KV_CHECK(b.size() == 2 && b[1] == ':');
    KV_CHECK(FlasherCommand(a).size() == 41 + a.size());
    KV_CHECK(DisketteCommand(a, b).size() == 17 + a.size() + b.size());
}

void CheckChecksums(std::string_view text, std::string_view name) {
    const ChecksumList list = ParseChecksumList(text);
    KV_CHECK(list.Ok() || list.entries.empty());
    for (const ChecksumEntry& entry : list.entries) {
        KV_CHECK(!entry.name.empty());
        KV_CHECK(entry.name.find('\n') == std::string::npos);
        KV_CHECK(DigestText(entry.digest).size() == 64);
    }
    const auto digests = ListedDigests(list, name);
    KV_CHECK(digests.size() <= list.entries.size());
    if (name.find_first_of("\\/:") != std::string_view::npos)
        KV_CHECK(digests.empty());
}

void CheckSigners(std::string_view text, std::string_view name) {
    const SignerList list = ParseSignerList(text);
    KV_CHECK(list.Ok() || list.entries.empty());
    for (const SignerEntry& entry : list.entries) {
        KV_CHECK(entry.name.find('\n') == std::string::npos);
        if (entry.kind == SignerEntry::File) {
            KV_CHECK(!entry.name.empty());
            KV_CHECK(AllowsFile(list, entry.name, entry.digest));
        } else {
            KV_CHECK(NamesCertificate(list, entry.digest));
        }
    }
    if (!HasFileLine(list, name)) KV_CHECK(!AllowsFile(list, name, Sha256Digest{}));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto newline = text.find('\n');
    const std::string_view first = text.substr(0, newline);
    const std::string_view second =
        newline == std::string_view::npos ? std::string_view() : text.substr(newline + 1);

    CheckSystemId(text, first);
    CheckVersions(first, second);
    CheckRanking(text);
    CheckDate(text);
    CheckSectors(first, second);
    CheckCommands(first, second);
    CheckChecksums(text, first);
    CheckSigners(text, first);
    return 0;
}
