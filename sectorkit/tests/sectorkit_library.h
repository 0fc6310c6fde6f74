// Loads Sectorkit.dll from the test program's folder, as an outside caller
// would: by file name, with the exports looked up by name.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace sectorkit_test {

using Export = std::int32_t (*)();

inline std::string ProgramFolder()
{
    char path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, n);
    return folder.substr(0, folder.find_last_of("\\/") + 1);
}

class Library {
public:
    explicit Library(const std::string& path, DWORD flags = 0) : module_(LoadLibraryExA(path.c_str(), nullptr, flags)) {}
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    ~Library()
    {
        if (module_)
            FreeLibrary(module_);
    }
    HMODULE get() const { return module_; }
    Export Get(const char* name) const
    {
        // Through void(*)() so the compiler accepts the change of signature.
        return reinterpret_cast<Export>(reinterpret_cast<void (*)()>(GetProcAddress(module_, name)));
    }

private:
    HMODULE module_;
};

} // namespace sectorkit_test
