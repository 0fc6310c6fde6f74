#include "common/run_log.h"

#include <climits>
#include <cstdio>
#include <vector>

#include "text.h"
#include "platform.h"

namespace kv {
namespace {

bool g_holding = false;
std::vector<std::string> g_held;

std::string OneLine(const std::string& text) {
    std::string line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        if (text[i] == '\r' || text[i] == '\n')
            line += " | ";
        else
            line += text[i];
    }
    return line;
}

// The log's newer half from its first whole line on; false when it cannot be
// read, and then the log starts afresh rather than growing without end.
bool NewerHalf(HANDLE log, std::uint64_t size, std::string& tail) {
    const std::uint64_t keep = size / 2 < kRunLogLimit / 2 ? size / 2 : kRunLogLimit / 2;
    const std::uint64_t from = size - keep;
    if (from > LONG_MAX || !Os().SetFilePointerBegin(log, static_cast<LONG>(from))) return false;
    tail.resize(static_cast<std::size_t>(keep));
    std::size_t got = 0;
    while (got < tail.size()) {
        DWORD n = 0;
        if (!Os().ReadFile(log, tail.data() + got, static_cast<DWORD>(tail.size() - got), &n)) return false;
        if (n == 0) break;
        got += n;
    }
    tail.resize(got);
    const std::size_t newline = tail.find('\n');
    tail.erase(0, newline == std::string::npos ? tail.size() : newline + 1);
    return true;
}

void KeepUnderLimit(std::size_t adding) {
    OsHandle log(Os().OpenFile(kRunLogPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL));
    if (!log.Valid()) return;
    std::uint64_t size = 0;
    if (!Os().FileSize(log.get(), size) || size + adding < kRunLogLimit) return;
    std::string tail;
    if (!NewerHalf(log.get(), size, tail)) tail.clear();
    log.Close();
    Os().WriteWholeFile(kRunLogPath, tail);
}

}  // namespace

void Log(const std::string& text) {
    SYSTEMTIME t{};
    Os().LocalTime(t);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u ", t.wYear, t.wMonth, t.wDay, t.wHour,
                  t.wMinute, t.wSecond);
    const std::string line = stamp + AnsiToUtf8(OneLine(text)) + "\r\n";
    if (g_holding) {
        g_held.push_back(line);
        return;
    }
    KeepUnderLimit(line.size());
    Os().AppendToFile(kRunLogPath, line);
}

void HoldRunLog() { g_holding = true; }

void ReleaseRunLog() {
    g_holding = false;
    std::string lines;
    for (const std::string& line : g_held) lines += line;
    g_held.clear();
    if (lines.empty()) return;
    KeepUnderLimit(lines.size());
    Os().AppendToFile(kRunLogPath, lines);
}

}  // namespace kv
