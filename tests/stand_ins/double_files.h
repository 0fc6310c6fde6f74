// File helpers of the test doubles: they read their script from, and log
// their calls to, files in the current directory.
#pragma once

#include <windows.h>

#include <fstream>
#include <string>
#include <vector>

namespace kv::doubles {

// The file's lines without line ends; empty when it cannot be read.
inline std::vector<std::string> ReadLines(const char* path) {
    std::vector<std::string> lines;
    std::ifstream file(path, std::ios::binary);
    for (std::string line; std::getline(file, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

inline void AppendLine(const char* path, const std::string& line) {
    std::ofstream file(path, std::ios::binary | std::ios::app);
    file << line << "\r\n";
}

// 1 for the first call ever logged in this folder, then 2, 3, ...; counted
// from the log because the program unloads the library between scans.
inline int NextCallNumber(const char* logPath, const std::string& prefix) {
    int calls = 0;
    for (const std::string& line : ReadLines(logPath))
        if (line.rfind(prefix, 0) == 0) ++calls;
    return calls + 1;
}

inline std::wstring Widen(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), size);
    return wide;
}

// Blank- or tab-separated words.
inline std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> words;
    std::size_t pos = 0;
    while ((pos = line.find_first_not_of(" \t", pos)) != std::string::npos) {
        const std::size_t end = line.find_first_of(" \t", pos);
        words.push_back(line.substr(pos, end == std::string::npos ? std::string::npos : end - pos));
        pos = end;
    }
    return words;
}

}  // namespace kv::doubles
