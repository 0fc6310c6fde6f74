// Helpers shared by the Windows test programs of the libraries.
#pragma once

#include <windows.h>

#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <string>

namespace kv::test {

// ctest hands over build paths as Unix paths; under Wine they live on Z:.
inline std::string WindowsPath(std::string path) {
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

// Wine's WMI reports its own fixed BIOS and board values only where the
// host offers no SMBIOS data; elsewhere they are the host's own.
inline bool HostHasSmbios() {
    return GetFileAttributesA("Z:\\sys\\class\\dmi\\id\\bios_vendor") != INVALID_FILE_ATTRIBUTES;
}

#define KV_SKIP_UNLESS_WINE_SMBIOS()                                                  \
    do {                                                                              \
        if (::kv::test::HostHasSmbios())                                              \
            GTEST_SKIP() << "the host's SMBIOS data replaces Wine's fixed values";    \
    } while (0)

class Library {
public:
    explicit Library(const std::string& path) : module_(LoadLibraryA(path.c_str())) {}
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    ~Library() {
        if (module_) FreeLibrary(module_);
    }
    HMODULE Get() const { return module_; }
    template <typename F>
    F Proc(const char* name) const {
        return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }

private:
    HMODULE module_;
};

// Sends the process's standard output (fd 1, shared with DLLs through the C
// runtime) to a temporary file for the object's lifetime; Text() reads it.
class CapturedStdout {
public:
    CapturedStdout() {
        std::fflush(stdout);
        file_ = std::tmpfile();
        saved_ = _dup(1);
        if (file_) _dup2(_fileno(file_), 1);
    }
    CapturedStdout(const CapturedStdout&) = delete;
    CapturedStdout& operator=(const CapturedStdout&) = delete;
    ~CapturedStdout() {
        Restore();
        if (file_) std::fclose(file_);
    }
    std::string Text() {
        Restore();
        std::string text;
        if (!file_) return text;
        std::fflush(file_);
        std::rewind(file_);
        char chunk[512];
        std::size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, file_)) > 0)
            for (std::size_t i = 0; i < n; ++i)
                if (chunk[i] != '\r') text += chunk[i];  // text-mode line ends
        return text;
    }

private:
    void Restore() {
        std::fflush(stdout);
        if (saved_ >= 0) {
            _dup2(saved_, 1);
            _close(saved_);
            saved_ = -1;
        }
    }
    std::FILE* file_ = nullptr;
    int saved_ = -1;
};

}  // namespace kv::test
