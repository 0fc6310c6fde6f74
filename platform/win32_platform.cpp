#include "platform.h"

#include "text.h"

#include <aclapi.h>
#include <bcrypt.h>
#include <exdisp.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>

#include <type_traits>
#include <tlhelp32.h>
#include <winioctl.h>
#include <wintrust.h>
#include <softpub.h>

namespace kv {
namespace {

// --- Processes and jobs -----------------------------------------------------

// A COM interface, BSTR or VARIANT of the shell chain, released on every way
// out.
template <typename T>
class ComRef {
public:
    ComRef() = default;
    ~ComRef() {
        if (p_) p_->Release();
    }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    T* operator->() const { return p_; }
    T* get() const { return p_; }
    T** put() { return &p_; }
    void** putVoid() { return reinterpret_cast<void**>(&p_); }

private:
    T* p_ = nullptr;
};

struct OwnedVariant {
    OwnedVariant() { ::VariantInit(&v); }
    ~OwnedVariant() { ::VariantClear(&v); }
    OwnedVariant(const OwnedVariant&) = delete;
    OwnedVariant& operator=(const OwnedVariant&) = delete;
    // False when the string cannot be allocated; v stays empty then.
    bool SetText(const std::wstring& text) {
        ::VariantClear(&v);
        BSTR b = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        if (!b) return false;
        V_VT(&v) = VT_BSTR;
        V_BSTR(&v) = b;
        return true;
    }
    void SetInt(LONG value) {
        ::VariantClear(&v);
        V_VT(&v) = VT_I4;
        V_I4(&v) = value;
    }
    VARIANT v;
};

// The shell's own ShellExecute, reached from the desktop window that the
// user's Explorer shows: what it starts runs as that user, with that user's
// rights, whatever ours are. Needs COM initialised on this thread.
bool OpenThroughDesktop(const std::wstring& address) {
    ComRef<IShellWindows> windows;
    if (FAILED(::CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_ALL, IID_IShellWindows, windows.putVoid())) ||
        !windows.get())
        return false;
    OwnedVariant location, root;
    location.SetInt(CSIDL_DESKTOP);
    long window = 0;
    ComRef<IDispatch> desktop;
    // S_FALSE, with no dispatch, when no shell shows a desktop here.
    if (windows->FindWindowSW(&location.v, &root.v, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH, desktop.put()) != S_OK ||
        !desktop.get())
        return false;
    ComRef<IServiceProvider> services;
    if (FAILED(desktop->QueryInterface(IID_IServiceProvider, services.putVoid())) || !services.get()) return false;
    ComRef<IShellBrowser> browser;
    if (FAILED(services->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, browser.putVoid())) || !browser.get())
        return false;
    ComRef<IShellView> view;
    if (FAILED(browser->QueryActiveShellView(view.put())) || !view.get()) return false;
    ComRef<IDispatch> background;
    if (FAILED(view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, background.putVoid())) || !background.get())
        return false;
    ComRef<IShellFolderViewDual> folderView;
    if (FAILED(background->QueryInterface(IID_IShellFolderViewDual, folderView.putVoid())) || !folderView.get())
        return false;
    ComRef<IDispatch> application;
    if (FAILED(folderView->get_Application(application.put())) || !application.get()) return false;
    ComRef<IShellDispatch2> shell;
    if (FAILED(application->QueryInterface(IID_IShellDispatch2, shell.putVoid())) || !shell.get()) return false;
    BSTR file = ::SysAllocStringLen(address.data(), static_cast<UINT>(address.size()));
    if (!file) return false;
    OwnedVariant arguments, folder, operation, show;
    const bool ready = arguments.SetText(L"") && folder.SetText(L"") && operation.SetText(L"open");
    show.SetInt(SW_SHOWNORMAL);
    const HRESULT hr = ready ? shell->ShellExecute(file, arguments.v, folder.v, operation.v, show.v) : E_OUTOFMEMORY;
    ::SysFreeString(file);
    return SUCCEEDED(hr);
}

// Closes h and leaves the last error as it was before.
void CloseKeepingError(HANDLE h) {
    const DWORD error = ::GetLastError();
    ::CloseHandle(h);
    ::SetLastError(error);
}

// A primary token made from ours as rights says; nullptr, with the last
// error, when any part of it cannot be made.
HANDLE MakeUserToken(const UserRights& rights) {
    if (rights.integrity.empty() || !::IsValidSid(const_cast<BYTE*>(rights.integrity.data()))) {
        ::SetLastError(ERROR_INVALID_SID);
        return nullptr;
    }
    std::vector<SID_AND_ATTRIBUTES> denyOnly;
    for (const std::vector<BYTE>& sid : rights.denyOnly) {
        if (sid.empty() || !::IsValidSid(const_cast<BYTE*>(sid.data()))) {
            ::SetLastError(ERROR_INVALID_SID);
            return nullptr;
        }
        denyOnly.push_back({const_cast<BYTE*>(sid.data()), 0});
    }
    HANDLE own = nullptr;
    // The new token keeps this access, which its integrity change and
    // CreateProcessAsUser need.
    if (!::OpenProcessToken(::GetCurrentProcess(),
                            TOKEN_DUPLICATE | TOKEN_QUERY | TOKEN_ASSIGN_PRIMARY | TOKEN_ADJUST_DEFAULT, &own))
        return nullptr;
    HANDLE restricted = nullptr;
    const BOOL made = ::CreateRestrictedToken(own, rights.flags, static_cast<DWORD>(denyOnly.size()),
                                              denyOnly.empty() ? nullptr : denyOnly.data(), 0, nullptr, 0, nullptr,
                                              &restricted);
    CloseKeepingError(own);
    if (!made) return nullptr;
    TOKEN_MANDATORY_LABEL label{};
    label.Label.Sid = const_cast<BYTE*>(rights.integrity.data());
    label.Label.Attributes = SE_GROUP_INTEGRITY;
    if (!::SetTokenInformation(restricted, TokenIntegrityLevel, &label,
                               sizeof label + ::GetLengthSid(label.Label.Sid))) {
        CloseKeepingError(restricted);
        return nullptr;
    }
    return restricted;
}

// --- Signatures and digests -------------------------------------------------

// Libraries of Windows itself come from System32 only: a copy planted
// beside the program, or anywhere on PATH, is never loaded.
HMODULE LoadSystemLibrary(const char* name) { return ::LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32); }

// Resolves fn from module by name; false when it is not there.
template <typename F>
bool Resolve(HMODULE module, F& fn, const char* name) {
    fn = ProcAs<F>(::GetProcAddress(module, name));
    return fn != nullptr;
}

// bcrypt.dll is loaded when an image is first hashed: a start without a
// checksum list, and Sectorkit.dll (which shares this platform), never need
// it. Kept loaded once loaded.
struct Bcrypt {
    decltype(&::BCryptOpenAlgorithmProvider) openAlgorithm;
    decltype(&::BCryptCloseAlgorithmProvider) closeAlgorithm;
    decltype(&::BCryptCreateHash) createHash;
    decltype(&::BCryptHashData) hashData;
    decltype(&::BCryptFinishHash) finishHash;
    decltype(&::BCryptDestroyHash) destroyHash;
};

const Bcrypt* BcryptApi() {
    static const Bcrypt* api = []() -> const Bcrypt* {
        HMODULE module = LoadSystemLibrary("bcrypt.dll");
        if (!module) return nullptr;
        static Bcrypt found{};
        if (!Resolve(module, found.openAlgorithm, "BCryptOpenAlgorithmProvider") ||
            !Resolve(module, found.closeAlgorithm, "BCryptCloseAlgorithmProvider") ||
            !Resolve(module, found.createHash, "BCryptCreateHash") ||
            !Resolve(module, found.hashData, "BCryptHashData") ||
            !Resolve(module, found.finishHash, "BCryptFinishHash") ||
            !Resolve(module, found.destroyHash, "BCryptDestroyHash"))
            return nullptr;
        return &found;
    }();
    return api;
}

// The signature engine (wintrust.dll, and crypt32.dll below it) is loaded
// at the first verification, as bcrypt.dll is: a process that never
// verifies (Sectorkit.dll, a command refused before anything is loaded)
// does not pay for it, and the first verification's cost is all its own.
struct Wintrust {
    decltype(&::WinVerifyTrust) verify;
    decltype(&::WTHelperProvDataFromStateData) providerData;
    decltype(&::WTHelperGetProvSignerFromChain) signer;
    decltype(&::WTHelperGetProvCertFromChain) certificate;
    decltype(&::CertGetNameStringW) certificateName;
};

const Wintrust* WintrustApi() {
    static const Wintrust* api = []() -> const Wintrust* {
        HMODULE trust = LoadSystemLibrary("wintrust.dll");
        HMODULE certificates = LoadSystemLibrary("crypt32.dll");
        if (!trust || !certificates) return nullptr;
        static Wintrust found{};
        if (!Resolve(trust, found.verify, "WinVerifyTrust") ||
            !Resolve(trust, found.providerData, "WTHelperProvDataFromStateData") ||
            !Resolve(trust, found.signer, "WTHelperGetProvSignerFromChain") ||
            !Resolve(trust, found.certificate, "WTHelperGetProvCertFromChain") ||
            !Resolve(certificates, found.certificateName, "CertGetNameStringW"))
            return nullptr;
        return &found;
    }();
    return api;
}

// --- Output: the command line's -----------------------------------------------

// A GUI program has no console of its own: the standard handles it was given
// (inherited, or redirected to a file) are used; without them, the console
// of the program that started it.
HANDLE Output() {
    static HANDLE out = [] {
        HANDLE h = ::GetStdHandle(STD_OUTPUT_HANDLE);
        if (h && h != INVALID_HANDLE_VALUE) return h;
        if (!::AttachConsole(ATTACH_PARENT_PROCESS)) return INVALID_HANDLE_VALUE;
        return ::CreateFileA("CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    }();
    return out;
}

class Win32Platform final : public Platform {
public:
    DWORD LastError() override { return ::GetLastError(); }

    // --- Files and folders ----------------------------------------------------
    // Asked of the handle, not the name. These two queries answer what
    // GetFileInformationByHandle would, without its volume query (about five
    // times dearer under Wine, and paid on every log line).
    static bool IsPlainFileWithOneName(HANDLE h) {
        FILE_ATTRIBUTE_TAG_INFO tag{};
        FILE_STANDARD_INFO standard{};
        return ::GetFileInformationByHandleEx(h, FileAttributeTagInfo, &tag, sizeof tag) &&
               ::GetFileInformationByHandleEx(h, FileStandardInfo, &standard, sizeof standard) &&
               !(tag.FileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) &&
               !standard.Directory && standard.NumberOfLinks == 1;
    }
    // The files written (the run log, the update record) lie in a folder that
    // someone else may once have been able to change: a link placed there
    // would carry a privileged write onto whatever it points at. So the file
    // itself is opened, never what a reparse point names, and one with a
    // second name is left alone; it is emptied only once that is known.
    static bool WriteBytes(const std::string& path, DWORD access, bool replace, const std::string& bytes) {
        HANDLE h = ::CreateFileA(path.c_str(), access | SYNCHRONIZE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                 OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (h == INVALID_HANDLE_VALUE) return false;
        bool ok = IsPlainFileWithOneName(h);
        if (ok && replace) ok = ::SetFilePointer(h, 0, nullptr, FILE_BEGIN) == 0 && ::SetEndOfFile(h);
        DWORD written = 0;
        ok = ok && bytes.size() <= MAXDWORD &&
             ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
             written == bytes.size();
        return ::CloseHandle(h) && ok;
    }
    static bool Succeeded(DWORD error) {
        ::SetLastError(error);
        return error == ERROR_SUCCESS;
    }
    static DWORD EntriesOf(const std::string& folder, std::vector<FolderEntry>& entries) {
        entries.clear();
        WIN32_FIND_DATAW data{};
        HANDLE find = ::FindFirstFileExW(Widen(folder + "\\*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                         nullptr, FIND_FIRST_EX_LARGE_FETCH);
        if (find == INVALID_HANDLE_VALUE) return ::GetLastError();
        do {
            const std::wstring name = data.cFileName;
            if (name != L"." && name != L"..") entries.push_back({Narrow(name), data.dwFileAttributes});
        } while (::FindNextFileW(find, &data));
        const DWORD error = ::GetLastError();
        ::FindClose(find);
        return error == ERROR_NO_MORE_FILES ? ERROR_SUCCESS : error;
    }
    HANDLE OpenFile(const std::string& path, DWORD access, DWORD share, DWORD disposition,
                    DWORD flags) override {
        return ::CreateFileA(path.c_str(), access, share, nullptr, disposition, flags, nullptr);
    }
    bool ReadFile(HANDLE h, void* buffer, DWORD size, DWORD* done) override {
        DWORD n = 0;
        const BOOL ok = ::ReadFile(h, buffer, size, &n, nullptr);
        if (done) *done = n;
        return ok != FALSE;
    }
    bool WriteFile(HANDLE h, const void* buffer, DWORD size, DWORD* done) override {
        DWORD n = 0;
        const BOOL ok = ::WriteFile(h, buffer, size, &n, nullptr);
        if (done) *done = n;
        return ok != FALSE;
    }
    bool SetFilePointerBegin(HANDLE h, LONG offset) override {
        // With a null high part, INVALID_SET_FILE_POINTER alone means failure.
        return ::SetFilePointer(h, offset, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER;
    }
    bool FileSize(HANDLE h, std::uint64_t& size) override {
        LARGE_INTEGER value{};
        if (!::GetFileSizeEx(h, &value) || value.QuadPart < 0) return false;
        size = static_cast<std::uint64_t>(value.QuadPart);
        return true;
    }
    bool FlushFile(HANDLE h) override { return ::FlushFileBuffers(h) != FALSE; }
    bool CloseHandle(HANDLE h) override { return ::CloseHandle(h) != FALSE; }
    bool SetCurrentDir(const std::string& path) override {
        return ::SetCurrentDirectoryA(path.c_str()) != FALSE;
    }
    bool ListFolder(const std::string& pattern, DWORD attributeMask,
                    std::vector<FolderEntry>& entries) override {
        entries.clear();
        WIN32_FIND_DATAA data{};
        HANDLE find = ::FindFirstFileA(pattern.c_str(), &data);
        if (find == INVALID_HANDLE_VALUE) return false;
        // Like the run-time library's attribute filter: plain files always
        // fit; an entry with a special attribute fits only when asked for.
        constexpr DWORD special = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_DIRECTORY | 0x8 /* volume label */;
        do {
            if ((data.dwFileAttributes & special & ~attributeMask) == 0)
                entries.push_back({data.cFileName, data.dwFileAttributes});
        } while (::FindNextFileA(find, &data));
        ::FindClose(find);
        return true;
    }
    bool ListEntries(const std::string& folder, std::vector<FolderEntry>& entries) override {
        return Succeeded(EntriesOf(folder, entries));
    }
    bool ReadWholeFile(const std::string& path, std::string& bytes) override {
        bytes.clear();
        HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) return false;
        LARGE_INTEGER size{};
        bool ok = ::GetFileSizeEx(h, &size) && size.QuadPart >= 0 &&
                  static_cast<std::uint64_t>(size.QuadPart) <= kMaxWholeFileBytes;
        char chunk[4096];
        while (ok) {
            DWORD n = 0;
            ok = ::ReadFile(h, chunk, sizeof chunk, &n, nullptr) != FALSE;
            if (!ok || n == 0) break;
            bytes.append(chunk, n);
            // The file may grow while it is read.
            ok = bytes.size() <= kMaxWholeFileBytes;
        }
        ::CloseHandle(h);
        if (!ok) bytes.clear();
        return ok;
    }
    bool WriteWholeFile(const std::string& path, const std::string& bytes) override {
        return WriteBytes(path, GENERIC_WRITE, true, bytes);
    }
    bool AppendToFile(const std::string& path, const std::string& bytes) override {
        // Append-only access makes every write go to the end, even when
        // another writer has moved it meanwhile.
        return WriteBytes(path, FILE_APPEND_DATA, false, bytes);
    }
    bool DeleteFile(const std::string& path) override { return ::DeleteFileA(path.c_str()) != FALSE; }
    bool MoveFileReplacing(const std::string& from, const std::string& to) override {
        return ::MoveFileExW(Widen(from).c_str(), Widen(to).c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
    }
    std::string FullPathName(const std::string& path) override {
        const std::wstring wide = Widen(path);
        if (wide.empty()) return {};
        std::wstring full(::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr), L'\0');
        if (full.empty()) return {};
        const DWORD n = ::GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (n == 0 || n >= full.size()) return {};
        full.resize(n);
        return Narrow(full);
    }
    std::string FinalPathOfHandle(HANDLE h) override {
        // Over SMB the normalized name needs access to every folder on the
        // way; the name as opened has its links resolved all the same.
        for (const DWORD flags : {FILE_NAME_NORMALIZED | VOLUME_NAME_DOS, FILE_NAME_OPENED | VOLUME_NAME_DOS}) {
            std::wstring path(MAX_PATH, L'\0');
            DWORD n = ::GetFinalPathNameByHandleW(h, path.data(), static_cast<DWORD>(path.size()), flags);
            // Too small: n is the size needed, the terminating null included.
            if (n >= path.size()) {
                path.assign(n, L'\0');
                n = ::GetFinalPathNameByHandleW(h, path.data(), static_cast<DWORD>(path.size()), flags);
            }
            if (n == 0 || n >= path.size()) continue;
            path.resize(n);
            return Narrow(path);
        }
        return {};
    }
    std::string WindowsFolder() override {
        char path[MAX_PATH + 1] = {};
        const UINT n = ::GetSystemWindowsDirectoryA(path, MAX_PATH);
        return n > 0 && n < MAX_PATH ? std::string(path, n) : std::string();
    }

    // --- Volumes --------------------------------------------------------------
    bool DeviceIoControl(HANDLE h, DWORD code) override {
        DWORD returned = 0;
        return ::DeviceIoControl(h, code, nullptr, 0, nullptr, 0, &returned, nullptr) != FALSE;
    }
    bool VolumeSize(HANDLE h, std::uint64_t& size) override {
        DWORD returned = 0;
        GET_LENGTH_INFORMATION length{};
        if (::DeviceIoControl(h, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length, sizeof length, &returned,
                              nullptr) &&
            length.Length.QuadPart >= 0) {
            size = static_cast<std::uint64_t>(length.Length.QuadPart);
            return true;
        }
        // A driver that does not know the length request (it came with
        // Windows XP) still answers the geometry one.
        DISK_GEOMETRY geometry{};
        if (::DeviceIoControl(h, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geometry, sizeof geometry,
                              &returned, nullptr) &&
            geometry.Cylinders.QuadPart >= 0) {
            size = static_cast<std::uint64_t>(geometry.Cylinders.QuadPart) * geometry.TracksPerCylinder *
                   geometry.SectorsPerTrack * geometry.BytesPerSector;
            return true;
        }
        // Wine's raw drives are image files and answer neither request.
        return FileSize(h, size);
    }

    // --- Libraries: LoadLibraryEx of a full path with its search flags --------
    HMODULE LoadLib(const std::string& path, DWORD flags) override {
        return ::LoadLibraryExA(path.c_str(), nullptr, flags);
    }
    FARPROC GetProcAddress(HMODULE module, const char* name) override {
        return ::GetProcAddress(module, name);
    }
    void FreeLibrary(HMODULE module) override { ::FreeLibrary(module); }

    // --- Processes and jobs -----------------------------------------------------
    // The one CreateProcessA of both starts: shown as show says, flags
    // besides.
    static bool Create(const std::string& application, const std::string& commandLine, UINT show,
                       const std::string& currentDir, DWORD flags, PROCESS_INFORMATION& info) {
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = static_cast<WORD>(show);
        // CreateProcessA may write into its command line.
        std::string line = commandLine;
        // A batch file hidden from the user has no console to show either.
        if (show == SW_HIDE) flags |= CREATE_NO_WINDOW;
        return ::CreateProcessA(application.empty() ? nullptr : application.c_str(), line.data(), nullptr, nullptr,
                                FALSE, flags, nullptr, currentDir.empty() ? nullptr : currentDir.c_str(), &startup,
                                &info) != FALSE;
    }
    ProcessList ListProcesses() override {
        ProcessList list;
        HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        if (snapshot == INVALID_HANDLE_VALUE) return list;
        PROCESSENTRY32 entry{};
        entry.dwSize = sizeof entry;
        if (!::Process32First(snapshot, &entry)) {
            list.result = ProcessList::NoFirstEntry;
            CloseKeepingError(snapshot);
            return list;
        }
        // The walk ends at the last entry, or at the first that cannot be
        // read: what was read so far is the list.
        do list.processes.push_back({entry.th32ProcessID, entry.szExeFile});
        while (::Process32Next(snapshot, &entry));
        list.result = ProcessList::Listed;
        ::CloseHandle(snapshot);
        return list;
    }
    bool StartProcess(const std::string& application, const std::string& commandLine, UINT show,
                      const std::string& currentDir, HANDLE* process) override {
        *process = nullptr;
        PROCESS_INFORMATION info{};
        if (!Create(application, commandLine, show, currentDir, 0, info)) return false;
        ::CloseHandle(info.hThread);
        *process = info.hProcess;
        return true;
    }
    bool StartInJob(const std::string& application, const std::string& commandLine, UINT show,
                    const std::string& currentDir, JobStart& started) override {
        started = {};
        PROCESS_INFORMATION info{};
        if (!Create(application, commandLine, show, currentDir, CREATE_SUSPENDED, info)) return false;
        // No limits at all: neither JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE (a
        // flash must outlive us) nor a breakaway, which would let a child
        // leave the watch.
        HANDLE job = ::CreateJobObjectW(nullptr, nullptr);
        if (job && !::AssignProcessToJobObject(job, info.hProcess)) {
            started.jobError = ::GetLastError();
            ::CloseHandle(job);
            job = nullptr;
        } else if (!job) {
            started.jobError = ::GetLastError();
        }
        if (::ResumeThread(info.hThread) == static_cast<DWORD>(-1)) {
            // It never ran a single instruction of its own.
            const DWORD error = ::GetLastError();
            ::TerminateProcess(info.hProcess, error);
            ::CloseHandle(info.hThread);
            ::CloseHandle(info.hProcess);
            if (job) ::CloseHandle(job);
            ::SetLastError(error);
            return false;
        }
        ::CloseHandle(info.hThread);
        started.process = info.hProcess;
        started.job = job;
        return true;
    }
    bool StartAsStandardUser(const UserRights& rights, const std::string& commandLine,
                             const std::string& currentDir, HANDLE* process) override {
        *process = nullptr;
        HANDLE token = MakeUserToken(rights);
        if (!token) return false;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_HIDE;
        PROCESS_INFORMATION info{};
        // CreateProcessAsUserW may write into its command line.
        std::wstring line = Widen(commandLine);
        const std::wstring folder = Widen(currentDir);
        // No handle of ours is inherited: the child gets nothing it could
        // not open itself.
        const BOOL started = !line.empty() &&
                             ::CreateProcessAsUserW(token, nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                                                    nullptr, folder.empty() ? nullptr : folder.c_str(), &startup, &info);
        CloseKeepingError(token);
        if (!started) return false;
        ::CloseHandle(info.hThread);
        *process = info.hProcess;
        return true;
    }
    bool OpenAsDesktopUser(const std::string& address) override {
        const std::wstring wide = Widen(address);
        if (wide.empty()) return false;
        const HRESULT init = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        // RPC_E_CHANGED_MODE: COM already runs on this thread in another
        // apartment; use it, and leave it to whoever started it.
        if (FAILED(init) && init != RPC_E_CHANGED_MODE) return false;
        const bool opened = OpenThroughDesktop(wide);
        if (SUCCEEDED(init)) ::CoUninitialize();
        return opened;
    }
    DWORD WaitForProcess(HANDLE process, DWORD ms) override {
        return ::WaitForSingleObject(process, ms);
    }
    bool ProcessExitCode(HANDLE process, DWORD* code) override {
        return ::GetExitCodeProcess(process, code) != FALSE;
    }
    bool JobActiveProcesses(HANDLE job, DWORD* count) override {
        JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info{};
        if (!::QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &info, sizeof info, nullptr))
            return false;
        *count = info.ActiveProcesses;
        return true;
    }
    HANDLE NamedMutex(const std::string& name, const std::vector<BYTE>& descriptor) override {
        SECURITY_ATTRIBUTES attributes{sizeof attributes, const_cast<BYTE*>(descriptor.data()), FALSE};
        return ::CreateMutexA(descriptor.empty() ? nullptr : &attributes, FALSE, name.c_str());
    }
    DWORD WaitForMutex(HANDLE mutex) override { return ::WaitForSingleObject(mutex, 0); }
    bool ReleaseMutex(HANDLE mutex) override { return ::ReleaseMutex(mutex) != FALSE; }
    DWORD AdminNamespace(const std::string& alias, const std::vector<BYTE>& descriptor, HANDLE* ns) override {
        *ns = nullptr;
        // Wine has no private namespaces: there CreateBoundaryDescriptorW
        // gives NULL without an error, and AddSIDToBoundaryDescriptor ends
        // the process, so the latter is called only once the former gave one.
        HANDLE boundary = ::CreateBoundaryDescriptorW(L"Kavelton", 0);
        if (!boundary) return ERROR_CALL_NOT_IMPLEMENTED;
        BYTE sid[SECURITY_MAX_SID_SIZE];
        DWORD size = sizeof sid;
        DWORD error = ERROR_SUCCESS;
        if (::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid, &size) &&
            ::AddSIDToBoundaryDescriptor(&boundary, sid)) {
            SECURITY_ATTRIBUTES attributes{sizeof attributes, const_cast<BYTE*>(descriptor.data()), FALSE};
            const std::wstring prefix = Widen(alias);
            *ns = ::CreatePrivateNamespaceW(descriptor.empty() ? nullptr : &attributes, boundary, prefix.c_str());
            // One that exists is not created again: NULL and this error.
            if (!*ns && ::GetLastError() == ERROR_ALREADY_EXISTS) {
                *ns = ::OpenPrivateNamespaceW(boundary, prefix.c_str());
                if (*ns) error = ERROR_ALREADY_EXISTS;
            }
        }
        if (!*ns) error = ::GetLastError() ? ::GetLastError() : ERROR_GEN_FAILURE;
        ::DeleteBoundaryDescriptor(boundary);
        return error;
    }

    // --- Security, judged and set by handle -------------------------------------
    static constexpr DWORD kEntryFlags = FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS;
    // A folder is shared for adding, never for deleting or renaming: a file
    // held in it would otherwise move with it.
    static DWORD EntryShare(bool isFolder) { return isFolder ? FILE_SHARE_READ | FILE_SHARE_WRITE : FILE_SHARE_READ; }
    static DWORD Secure(const std::string& path, bool isFolder, const std::vector<BYTE>& descriptor) {
        if (descriptor.empty() || !::IsValidSecurityDescriptor(const_cast<BYTE*>(descriptor.data())))
            return ERROR_INVALID_SECURITY_DESCR;
        HANDLE h = ::CreateFileW(Widen(path).c_str(), READ_CONTROL | WRITE_DAC | WRITE_OWNER | FILE_READ_ATTRIBUTES,
                                 EntryShare(isFolder), nullptr, OPEN_EXISTING, kEntryFlags, nullptr);
        if (h == INVALID_HANDLE_VALUE) return ::GetLastError();
        FILE_ATTRIBUTE_TAG_INFO tag{};
        FILE_STANDARD_INFO standard{};
        DWORD error = ERROR_SUCCESS;
        if (!::GetFileInformationByHandleEx(h, FileAttributeTagInfo, &tag, sizeof tag) ||
            !::GetFileInformationByHandleEx(h, FileStandardInfo, &standard, sizeof standard))
            error = ::GetLastError();
        else if ((tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || (!standard.Directory && standard.NumberOfLinks != 1))
            error = ERROR_CANT_RESOLVE_FILENAME;
        // Set on this object alone: SetSecurityInfo would carry inheritable
        // entries on to what lies below by name, through any link there.
        // The caller walks the tree itself; the descriptor's own protected
        // bit keeps what the folder above would give out of the list.
        else if (!::SetKernelObjectSecurity(h, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                            const_cast<BYTE*>(descriptor.data())))
            error = ::GetLastError();
        ::CloseHandle(h);
        return error;
    }
    // The reparse flag opens a junction or symbolic link itself; backup
    // semantics is what opens a folder at all (and, with the restore
    // privilege enabled while securing, a file whose list shuts out
    // Administrators). Reading the data is asked for so that the sharing
    // check applies: an open for attributes alone is never refused for
    // sharing, and would hold nothing.
    HANDLE InspectEntry(const std::string& path, bool isFolder, EntryFacts& facts) override {
        facts = {};
        HANDLE h = ::CreateFileW(Widen(path).c_str(), GENERIC_READ, EntryShare(isFolder), nullptr, OPEN_EXISTING,
                                 kEntryFlags, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            facts.error = ::GetLastError();
            return h;
        }
        FILE_ATTRIBUTE_TAG_INFO tag{};
        FILE_STANDARD_INFO standard{};
        if (!::GetFileInformationByHandleEx(h, FileAttributeTagInfo, &tag, sizeof tag) ||
            !::GetFileInformationByHandleEx(h, FileStandardInfo, &standard, sizeof standard)) {
            facts.error = ::GetLastError();
            return h;
        }
        facts.attributes = tag.FileAttributes;
        facts.reparseTag = tag.ReparseTag;
        facts.links = standard.NumberOfLinks;
        facts.finalPath = FinalPathOfHandle(h);
        PSECURITY_DESCRIPTOR found = nullptr;
        const DWORD error = ::GetSecurityInfo(h, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                              nullptr, nullptr, nullptr, nullptr, &found);
        if (error != ERROR_SUCCESS) {
            facts.error = error;
            return h;
        }
        // Given self-relative: one block that copies as it is.
        const auto* bytes = static_cast<const BYTE*>(found);
        facts.descriptor.assign(bytes, bytes + ::GetSecurityDescriptorLength(found));
        ::LocalFree(found);
        return h;
    }
    bool SecureEntry(const std::string& path, bool isFolder, const std::vector<BYTE>& descriptor) override {
        return Succeeded(Secure(path, isFolder, descriptor));
    }

    // --- Tokens: the program's own ----------------------------------------------
    // Sets the state of one privilege of the program's own token; previous,
    // when given, receives what it changed. False with the last error, which
    // is ERROR_NOT_ALL_ASSIGNED when the token does not hold the privilege.
    static bool AdjustOwnPrivilege(const std::string& name, TOKEN_PRIVILEGES& state, TOKEN_PRIVILEGES* previous,
                                   bool& tokenOpened) {
        HANDLE token = nullptr;
        tokenOpened = ::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token) != FALSE;
        if (!tokenOpened) return false;
        DWORD size = 0;
        bool ok = ::LookupPrivilegeValueA(nullptr, name.c_str(), &state.Privileges[0].Luid) &&
                  ::AdjustTokenPrivileges(token, FALSE, &state, previous ? sizeof *previous : 0, previous,
                                          previous ? &size : nullptr);
        // A success also for a privilege the token does not hold, which
        // only the last error tells.
        if (ok && ::GetLastError() == ERROR_NOT_ALL_ASSIGNED) ok = false;
        CloseKeepingError(token);
        return ok;
    }
    std::vector<BYTE> UserSid() override {
        HANDLE token = nullptr;
        if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
        std::vector<BYTE> buffer(256);
        DWORD size = 0;
        bool ok = ::GetTokenInformation(token, TokenUser, buffer.data(), static_cast<DWORD>(buffer.size()), &size);
        if (!ok && ::GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
            buffer.resize(size);
            ok = ::GetTokenInformation(token, TokenUser, buffer.data(), size, &size);
        }
        ::CloseHandle(token);
        if (!ok) return {};
        PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
        if (!::IsValidSid(sid)) return {};
        const auto* bytes = static_cast<const BYTE*>(sid);
        return std::vector<BYTE>(bytes, bytes + ::GetLengthSid(sid));
    }
    bool EnablePrivilege(const std::string& name, PrivilegeChange& change) override {
        change = {};
        TOKEN_PRIVILEGES wanted{};
        wanted.PrivilegeCount = 1;
        wanted.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        TOKEN_PRIVILEGES previous{};
        if (!AdjustOwnPrivilege(name, wanted, &previous, change.tokenOpened)) return false;
        // previous lists the privilege only when this call changed its state.
        change.wasEnabled = previous.PrivilegeCount == 0;
        return true;
    }
    bool DisablePrivilege(const std::string& name) override {
        TOKEN_PRIVILEGES off{};
        off.PrivilegeCount = 1;
        bool opened = false;
        return AdjustOwnPrivilege(name, off, nullptr, opened);
    }

    // --- Signatures and digests -------------------------------------------------
    struct Sha256 final : Sha256Hash {
        BCRYPT_ALG_HANDLE algorithm = nullptr;
        BCRYPT_HASH_HANDLE hash = nullptr;
    };
    SignatureInfo VerifyEmbeddedSignature(HANDLE file, const std::string& name) override {
        SignatureInfo info;
        const Wintrust* api = WintrustApi();
        if (!api) {
            // Without the engine nothing is verified, so nothing is trusted.
            info.trust = HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
            return info;
        }
        const std::wstring path = Widen(name);
        WINTRUST_FILE_INFO fileInfo{};
        fileInfo.cbStruct = sizeof fileInfo;
        fileInfo.pcwszFilePath = path.c_str();
        fileInfo.hFile = file;
        WINTRUST_DATA data{};
        data.cbStruct = sizeof data;
        data.dwUIChoice = WTD_UI_NONE;
        // Offline: revocation is the maker's to handle, and a missing issuer
        // is never fetched from an address the file itself names.
        data.fdwRevocationChecks = WTD_REVOKE_NONE;
        data.dwUnionChoice = WTD_CHOICE_FILE;
        data.pFile = &fileInfo;
        data.dwStateAction = WTD_STATEACTION_VERIFY;
        data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;
        GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
        info.trust = api->verify(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
        if (CRYPT_PROVIDER_DATA* provider = api->providerData(data.hWVTStateData)) {
            CRYPT_PROVIDER_SGNR* signer =
                provider->csSigners ? api->signer(provider, 0, FALSE, 0) : nullptr;
            if (signer) {
                info.signers = 1;
                for (DWORD i = 0; i < signer->csCertChain; ++i) {
                    CRYPT_PROVIDER_CERT* cert = api->certificate(signer, i);
                    if (!cert || !cert->pCert) break;
                    info.chain.emplace_back(reinterpret_cast<const char*>(cert->pCert->pbCertEncoded),
                                            cert->pCert->cbCertEncoded);
                }
                CRYPT_PROVIDER_CERT* leaf = api->certificate(signer, 0);
                if (leaf && leaf->pCert) {
                    wchar_t text[256] = {};
                    api->certificateName(leaf->pCert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, text, 256);
                    info.signerName = Narrow(text);
                }
            }
        }
        // The state is released on every path, whatever the verdict.
        data.dwStateAction = WTD_STATEACTION_CLOSE;
        api->verify(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
        return info;
    }
    SignatureInfo OwnSignature() override {
        wchar_t path[MAX_PATH * 2] = {};
        const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
        if (n == 0 || n >= MAX_PATH * 2) return {};
        HANDLE h = ::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) return {};
        SignatureInfo info = VerifyEmbeddedSignature(h, Narrow(path));
        ::CloseHandle(h);
        return info;
    }
    Sha256Hash* HashBegin() override {
        const Bcrypt* api = BcryptApi();
        if (!api) return nullptr;
        auto hash = new Sha256{};
        if (api->openAlgorithm(&hash->algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0) {
            delete hash;
            return nullptr;
        }
        if (api->createHash(hash->algorithm, &hash->hash, nullptr, 0, nullptr, 0, 0) < 0) {
            api->closeAlgorithm(hash->algorithm, 0);
            delete hash;
            return nullptr;
        }
        return hash;
    }
    bool HashData(Sha256Hash* hash, const void* data, DWORD size) override {
        auto* h = static_cast<Sha256*>(hash);
        return BcryptApi()->hashData(h->hash, static_cast<PUCHAR>(const_cast<void*>(data)), size, 0) >= 0;
    }
    bool HashFinish(Sha256Hash* hash, unsigned char (&digest)[32]) override {
        return BcryptApi()->finishHash(static_cast<Sha256*>(hash)->hash, digest, sizeof digest, 0) >= 0;
    }
    void HashEnd(Sha256Hash* hash) override {
        auto* h = static_cast<Sha256*>(hash);
        if (!h) return;
        BcryptApi()->destroyHash(h->hash);
        BcryptApi()->closeAlgorithm(h->algorithm, 0);
        delete h;
    }

    // --- Registry and boot ------------------------------------------------------
    std::string BootIdentity() override {
        // The parent is kept over restarts, so that an installer's keys may
        // live beside ours; only the child goes with the boot.
        HKEY parent = nullptr, boot = nullptr;
        if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Kavelton", 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_CREATE_SUB_KEY, nullptr, &parent, nullptr) != ERROR_SUCCESS)
            return {};
        DWORD disposition = 0;
        const LSTATUS made = ::RegCreateKeyExW(parent, L"Boot", 0, nullptr, REG_OPTION_VOLATILE,
                                               KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &boot, &disposition);
        ::RegCloseKey(parent);
        if (made != ERROR_SUCCESS) return {};
        std::string identity;
        if (disposition == REG_CREATED_NEW_KEY) {
            // Only the run that made the key writes the value: two first
            // runs of a boot must not leave two identities.
            GUID guid{};
            wchar_t text[64] = {};
            if (SUCCEEDED(::CoCreateGuid(&guid)) && ::StringFromGUID2(guid, text, 64) > 0 &&
                ::RegSetValueExW(boot, L"Identity", 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                 static_cast<DWORD>((::lstrlenW(text) + 1) * sizeof(wchar_t))) == ERROR_SUCCESS)
                identity = Narrow(text);
        } else {
            // Made by another run that may still be writing it.
            for (int attempt = 0; attempt < 20 && identity.empty(); ++attempt) {
                wchar_t text[64] = {};
                DWORD size = sizeof text - sizeof(wchar_t), type = 0;
                if (::RegQueryValueExW(boot, L"Identity", nullptr, &type, reinterpret_cast<BYTE*>(text), &size) ==
                        ERROR_SUCCESS &&
                    type == REG_SZ)
                    identity = Narrow(text);
                else
                    ::Sleep(50);
            }
        }
        ::RegCloseKey(boot);
        return identity;
    }

    // --- Power: the battery, holding off sleep and the session's end, restart ---
    bool GetPowerStatus(SYSTEM_POWER_STATUS& status) override {
        return ::GetSystemPowerStatus(&status) != FALSE;
    }
    EXECUTION_STATE SetThreadExecutionState(EXECUTION_STATE state) override {
        return ::SetThreadExecutionState(state);
    }
    bool ShutdownBlockReasonCreate(HWND window, const std::wstring& reason) override {
        if (::ShutdownBlockReasonCreate(window, reason.c_str())) return true;
        if (::GetLastError() == ERROR_SUCCESS) ::SetLastError(ERROR_GEN_FAILURE);
        return false;
    }
    bool ShutdownBlockReasonDestroy(HWND window) override {
        return ::ShutdownBlockReasonDestroy(window) != FALSE;
    }
    bool Restart(RestartKind kind, DWORD reason, DWORD warnSeconds, const std::wstring& message) override {
        if (kind == RestartKind::Asking) return ::ExitWindowsEx(EWX_REBOOT, reason) != FALSE;
        std::wstring text = message;
        const DWORD error = ::InitiateShutdownW(nullptr, text.empty() ? nullptr : text.data(), warnSeconds,
                                                SHUTDOWN_FORCE_OTHERS | SHUTDOWN_FORCE_SELF | SHUTDOWN_RESTART, reason);
        ::SetLastError(error);
        return error == ERROR_SUCCESS;
    }

    // --- Events: the Windows event log ------------------------------------------
    bool WriteEvent(WORD type, DWORD id, const std::vector<std::wstring>& inserts) override {
        HANDLE source = ::RegisterEventSourceW(nullptr, L"Kavelton");
        if (!source) return false;
        std::vector<LPCWSTR> strings;
        for (const std::wstring& insert : inserts) strings.push_back(insert.c_str());
        const BOOL ok = ::ReportEventW(source, type, 0, id, nullptr, static_cast<WORD>(strings.size()), 0,
                                       strings.empty() ? nullptr : strings.data(), nullptr);
        ::DeregisterEventSource(source);
        return ok != FALSE;
    }

    // --- Boxes and windows: message boxes, always without an owner window -------
    int ShowMessage(const std::string& text, const std::string& title, UINT style) override {
        return ::MessageBoxA(nullptr, text.c_str(), title.c_str(), style);
    }

    // --- Output: the command line's -----------------------------------------------
    void WriteOutput(const std::string& text) override {
        HANDLE out = Output();
        if (out == INVALID_HANDLE_VALUE || text.size() > MAXDWORD) return;
        DWORD written = 0;
        ::WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }

    // --- Time ---------------------------------------------------------------------
    void Sleep(DWORD ms) override { ::Sleep(ms); }
    ULONGLONG TickCount() override { return ::GetTickCount64(); }
    void LocalTime(SYSTEMTIME& time) override { ::GetLocalTime(&time); }
    void UtcTime(SYSTEMTIME& time) override { ::GetSystemTime(&time); }
};

Platform* g_current = nullptr;

}  // namespace

Platform& Win32Os() {
    static Win32Platform real;
    return real;
}

Platform& Os() { return g_current ? *g_current : Win32Os(); }

void SetOs(Platform* platform) { g_current = platform; }


}  // namespace kv
