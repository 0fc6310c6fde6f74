// Scripted BIOS.dll: answers from bios-double.txt and logs each call to
// bios-double.log, both in the current directory.
#include <windows.h>

#include "double_files.h"

#include <string>

namespace {

constexpr const char* kScript = "bios-double.txt";
constexpr const char* kLog = "bios-double.log";
constexpr const char* kKeys[] = {"Manufacturer", "SMBIOSBIOSVersion", "ReleaseDate", "Product", "Model"};

std::wstring g_result;

}  // namespace

extern "C" {

bool InitNameSpace(int classIndex) {
    try {
        kv::doubles::AppendLine(kLog, "InitNameSpace " + std::to_string(classIndex));
        // "PauseMs=N": the first call takes that long, so that a test can
        // try the library's file while it is in use.
        for (const std::string& line : kv::doubles::ReadLines(kScript))
            if (classIndex == 0 && line.rfind("PauseMs=", 0) == 0) ::Sleep(std::stoul(line.substr(8)));
        return true;
    } catch (...) {
        return false;
    }
}

// Null for "KEY=<null>", for a key the script lacks and for other indices.
const wchar_t* BIOS(int propertyIndex) {
    try {
        kv::doubles::AppendLine(kLog, "BIOS " + std::to_string(propertyIndex));
        if (propertyIndex < 0 || propertyIndex >= static_cast<int>(std::size(kKeys))) return nullptr;
        const std::string prefix = std::string(kKeys[propertyIndex]) + "=";
        for (const std::string& line : kv::doubles::ReadLines(kScript)) {
            if (line.rfind(prefix, 0) != 0) continue;
            const std::string value = line.substr(prefix.size());
            if (value == "<null>") return nullptr;
            g_result = kv::doubles::Widen(value);
            return g_result.c_str();
        }
        return nullptr;
    } catch (...) {
        return nullptr;
    }
}

bool UnInitNameSpace() {
    try {
        kv::doubles::AppendLine(kLog, "UnInitNameSpace");
        return true;
    } catch (...) {
        return false;
    }
}

}  // extern "C"
