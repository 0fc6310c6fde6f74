#include "fake_platform.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <sstream>

#include <sddl.h>
#include <winioctl.h>

namespace kv::test {

namespace {

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

FakePlatform::FakePlatform() {
    files["C:\\KAVELTON\\WinFlash64.exe"].bytes = "MZ flasher";
    files["C:\\KAVELTON\\BIOS.dll"].bytes = "MZ system information";
    files["C:\\KAVELTON\\UsbScan.dll"].bytes = "MZ USB discovery";
}

FakePlatform::~FakePlatform() = default;

FakeFile* FakePlatform::File(const std::string& path) {
    for (auto& [name, file] : files)
        if (Upper(name) == Upper(path)) return &file;
    return nullptr;
}

namespace {
const wchar_t* ScriptedBios(int index) {
    static const wchar_t* const values[] = {L"Acme", L"KVD.100", L"20080215123000.000000+000", L"ABC12", L"PC"};
    return index >= 0 && index < 5 ? values[index] : nullptr;
}
bool ScriptedInit(int) { return true; }
bool ScriptedUnInit() { return true; }
FARPROC AsProc(auto* f) { return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(f)); }
}  // namespace

void FakePlatform::ScriptBiosLibrary() {
    libraries["BIOS.dll"] = {{"InitNameSpace", AsProc(ScriptedInit)},
                             {"BIOS", AsProc(ScriptedBios)},
                             {"UnInitNameSpace", AsProc(ScriptedUnInit)}};
}

std::string FakePlatform::RunLog() {
    const FakeFile* log = File("C:\\KAVELTON\\Kavelton.log");
    return log ? log->bytes : std::string();
}

int FakePlatform::CallCount(const std::string& prefix) const {
    return static_cast<int>(std::count_if(calls.begin(), calls.end(), [&](const std::string& c) {
        return c.compare(0, prefix.size(), prefix) == 0;
    }));
}

void FakePlatform::Record(const std::string& call) {
    static const std::string log = Upper("Kavelton.log");
    const std::string upper = Upper(call);
    if (!recordRunLog && upper.size() >= log.size() &&
        upper.compare(upper.size() - log.size(), log.size(), log) == 0)
        return;
    calls.push_back(call);
}

bool FakePlatform::Fault(const std::string& call) {
    if (faultableCalls++ != failAt) return false;
    failedCall = call;
    messagesAtFault = messages.size();
    lastError_ = ERROR_GEN_FAILURE;
    return true;
}

bool FakePlatform::Verdict(DWORD error) {
    lastError_ = error;
    return error == ERROR_SUCCESS;
}

HANDLE FakePlatform::NewHandle(Open open) {
    HANDLE h = reinterpret_cast<HANDLE>(nextHandle_);
    nextHandle_ += 4;
    handles_.emplace(h, std::move(open));
    return h;
}

// --- Platform, in the seam's order of roles --------------------------------

DWORD FakePlatform::LastError() { return lastError_; }

// --- Files and folders ----------------------------------------------------

namespace {
// Whether path is below folder, and the name of the entry of folder on the way.
bool Below(const std::string& path, const std::string& folder, std::string* child) {
    const std::string p = Upper(path), f = Upper(folder) + "\\";
    if (p.size() <= f.size() || p.compare(0, f.size(), f) != 0) return false;
    if (child) *child = path.substr(f.size(), path.find('\\', f.size()) - f.size());
    return true;
}
}  // namespace

DWORD FakePlatform::Entries(const std::string& folder, std::vector<FolderEntry>& out) {
    Record("ListEntries " + folder);
    out.clear();
    if (Fault("ListEntries " + folder)) return ERROR_ACCESS_DENIED;
    auto add = [&](const std::string& name, DWORD attributes) {
        for (const FolderEntry& e : out)
            if (Upper(e.name) == Upper(name)) return;
        out.push_back({name, attributes});
    };
    for (auto& [pattern, list] : folders)
        if (Upper(pattern) == Upper(folder + "\\*.*"))
            for (const FolderEntry& e : list) add(e.name, e.attributes);
    std::vector<std::string> known;
    for (auto& [key, file] : files) known.push_back(key);
    for (auto& [key, sddl] : security) known.push_back(key);
    for (auto& [key, entry] : entries) known.push_back(key);
    for (const std::string& f : folderPaths) known.push_back(f);
    for (const std::string& key : known) {
        std::string child;
        if (!Below(key, folder, &child)) continue;
        const std::string path = folder + "\\" + child;
        bool isFolder = Upper(path) != Upper(key);
        for (const std::string& f : folderPaths) isFolder = isFolder || Upper(f) == Upper(path);
        for (auto& [name, entry] : entries)
            if (Upper(name) == Upper(path) && entry.attributes) isFolder = entry.attributes & FILE_ATTRIBUTE_DIRECTORY;
        add(child, isFolder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE);
    }
    return ERROR_SUCCESS;
}

HANDLE FakePlatform::OpenFile(const std::string& path, DWORD access, DWORD, DWORD disposition, DWORD) {
    Record("OpenFile " + path);
    FakeFile* file = File(path);
    if (disposition == CREATE_NEW) {
        if (file) lastError_ = ERROR_FILE_EXISTS;
        if (file || Fault("OpenFile " + path)) return INVALID_HANDLE_VALUE;
        files[path];
        return NewHandle({Open::File, path});
    }
    if (file && (access & GENERIC_WRITE)) {
        const std::vector<std::string> held = Held();
        if (std::any_of(held.begin(), held.end(), [&](const std::string& p) { return Upper(p) == Upper(path); })) {
            lastError_ = ERROR_SHARING_VIOLATION;
            return INVALID_HANDLE_VALUE;
        }
    }
    if (!file || ((access & GENERIC_WRITE) && !file->canOpenForWrite)) {
        lastError_ = file ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
        return INVALID_HANDLE_VALUE;
    }
    if (Fault("OpenFile " + path)) return INVALID_HANDLE_VALUE;
    return NewHandle({Open::File, path});
}

bool FakePlatform::ReadFile(HANDLE h, void* buffer, DWORD size, DWORD* done) {
    if (done) *done = 0;
    auto it = handles_.find(h);
    if (it == handles_.end() || it->second.kind != Open::File) return false;
    if (onRead) onRead(it->second.key);
    FakeFile* file = File(it->second.key);
    if (!file || file->reads++ == file->failReadAt) return false;
    const bool fault = Fault("ReadFile " + it->second.key);
    if (fault && !shortTransfers) return false;
    if (fault) size /= 2;
    std::size_t& pos = it->second.position;
    const std::size_t n = pos < file->bytes.size() ? std::min<std::size_t>(size, file->bytes.size() - pos) : 0;
    if (n) std::memcpy(buffer, file->bytes.data() + pos, n);
    pos += n;
    if (done) *done = static_cast<DWORD>(n);
    return true;
}

bool FakePlatform::WriteFile(HANDLE h, const void* buffer, DWORD size, DWORD* done) {
    if (done) *done = 0;
    auto it = handles_.find(h);
    if (it == handles_.end() || it->second.kind != Open::File) return false;
    FakeFile* file = File(it->second.key);
    if (file->writes++ == file->failWriteAt) return false;
    const bool fault = Fault("WriteFile " + it->second.key);
    if (fault && !shortTransfers) return false;
    if (fault) size /= 2;
    writeLog.push_back({faultableCalls, it->second.key,
                        std::find(locked_.begin(), locked_.end(), h) != locked_.end()});
    std::size_t& pos = it->second.position;
    if (file->bytes.size() < pos + size) file->bytes.resize(pos + size, '\0');
    if (file->writes - 1 != file->loseWriteAt) std::memcpy(file->bytes.data() + pos, buffer, size);
    pos += size;
    if (done) *done = size;
    return true;
}

bool FakePlatform::SetFilePointerBegin(HANDLE h, LONG offset) {
    auto it = handles_.find(h);
    if (it == handles_.end() || it->second.kind != Open::File) return false;
    Record("SetFilePointer " + it->second.key);
    if (File(it->second.key)->failSeek || Fault("SetFilePointer " + it->second.key)) return false;
    it->second.position = static_cast<std::size_t>(offset);
    return true;
}

bool FakePlatform::FileSize(HANDLE h, std::uint64_t& size) {
    auto it = handles_.find(h);
    if (it == handles_.end() || it->second.kind != Open::File) return false;
    if (Fault("FileSize " + it->second.key)) return false;
    size = File(it->second.key)->bytes.size();
    return true;
}

bool FakePlatform::FlushFile(HANDLE h) {
    auto it = handles_.find(h);
    if (it == handles_.end() || it->second.kind != Open::File) return false;
    Record("FlushFile " + it->second.key);
    return !Fault("FlushFile " + it->second.key);
}

bool FakePlatform::CloseHandle(HANDLE h) {
    auto it = handles_.find(h);
    if (it == handles_.end()) {
        Record("CloseHandle <unknown>");
        return false;
    }
    Record("CloseHandle " + it->second.key);
    const bool fail = (it->second.kind == Open::File && File(it->second.key) && File(it->second.key)->failClose) |
                      Fault("CloseHandle " + it->second.key);
    handles_.erase(it);  // a failed close still gives the handle up, and its lock
    locked_.erase(std::remove(locked_.begin(), locked_.end(), h), locked_.end());
    return !fail;
}

bool FakePlatform::SetCurrentDir(const std::string& path) {
    Record("SetCurrentDir " + path);
    if (Fault("SetCurrentDir " + path)) return false;
    currentDir = path;
    return true;
}

bool FakePlatform::ListFolder(const std::string& pattern, DWORD attributeMask,
                              std::vector<FolderEntry>& entries) {
    Record("ListFolder " + pattern + " " + std::to_string(attributeMask));
    entries.clear();
    if (Fault("ListFolder " + pattern)) return false;
    for (auto& [key, list] : folders) {
        if (Upper(key) == Upper(pattern)) {
            entries = list;
            return true;
        }
    }
    // A plain name finds its entry in the folder's listing, as FindFirstFile does.
    const std::size_t slash = pattern.rfind('\\');
    const std::string name = pattern.substr(slash + 1);
    if (slash == std::string::npos || name.find_first_of("*?") != std::string::npos) return false;
    for (auto& [key, list] : folders) {
        if (Upper(key) != Upper(pattern.substr(0, slash + 1) + "*.*")) continue;
        for (const FolderEntry& entry : list)
            if (Upper(entry.name) == Upper(name)) entries.push_back(entry);
        return !entries.empty();
    }
    return false;
}

bool FakePlatform::ListEntries(const std::string& folder, std::vector<FolderEntry>& out) {
    return Verdict(Entries(folder, out));
}

bool FakePlatform::ReadWholeFile(const std::string& path, std::string& bytes) {
    Record("ReadWholeFile " + path);
    bytes.clear();
    FakeFile* file = File(path);
    if (!file || Fault("ReadWholeFile " + path)) return false;
    // As the real one: too big is refused, and the first read may fail.
    if (file->bytes.size() > kMaxWholeFileBytes || file->reads++ == file->failReadAt) return false;
    bytes = file->bytes;
    return true;
}

bool FakePlatform::WriteWholeFile(const std::string& path, const std::string& bytes) {
    Record("WriteWholeFile " + path);
    FakeFile* file = File(path);
    if (file && !file->canOpenForWrite) return false;
    if (!file) file = &files[path];
    file->bytes = bytes;
    return true;
}

bool FakePlatform::AppendToFile(const std::string& path, const std::string& bytes) {
    Record("AppendToFile " + path);
    FakeFile* file = File(path);
    if (appendFails || (file && !file->canOpenForWrite)) return false;
    if (!file) file = &files[path];
    file->bytes += bytes;
    return true;
}

bool FakePlatform::DeleteFile(const std::string& path) {
    Record("DeleteFile " + path);
    for (auto it = files.begin(); it != files.end(); ++it) {
        if (Upper(it->first) != Upper(path)) continue;
        if (!it->second.canOpenForWrite) return false;
        files.erase(it);
        return true;
    }
    return false;
}

bool FakePlatform::MoveFileReplacing(const std::string& from, const std::string& to) {
    Record("MoveFileReplacing " + from + " " + to);
    FakeFile* source = File(from);
    if (!source || Fault("MoveFileReplacing " + to)) return false;
    const FakeFile moved = *source;
    std::erase_if(files, [&](const auto& f) { return Upper(f.first) == Upper(from) || Upper(f.first) == Upper(to); });
    files[to] = moved;
    return true;
}

std::string FakePlatform::FullPathName(const std::string& path) {
    Record("FullPathName " + path);
    if (Fault("FullPathName " + path)) return {};
    const bool absolute = path.size() > 2 && (path[1] == ':' || path.rfind("\\\\", 0) == 0);
    return absolute ? path : currentDir + "\\" + path;
}

std::string FakePlatform::FinalPathOfHandle(HANDLE h) {
    auto it = handles_.find(h);
    if (it == handles_.end() || it->second.kind != Open::File) return {};
    Record("FinalPathOfHandle " + it->second.key);
    if (Fault("FinalPathOfHandle " + it->second.key)) return {};
    for (auto& [name, path] : finalPaths)
        if (Upper(name) == Upper(it->second.key)) return path;
    return "\\\\?\\" + it->second.key;
}

std::string FakePlatform::WindowsFolder() { return windowsFolder; }

// --- Volumes --------------------------------------------------------------

bool FakePlatform::DeviceIoControl(HANDLE h, DWORD code) {
    auto it = handles_.find(h);
    if (it == handles_.end() || it->second.kind != Open::File) return false;
    ioControls.push_back(code);
    Record("DeviceIoControl " + std::to_string(code));
    const std::string what = code == FSCTL_LOCK_VOLUME     ? "lock"
                             : code == FSCTL_UNLOCK_VOLUME ? "unlock"
                             : code == FSCTL_DISMOUNT_VOLUME ? "dismount"
                                                             : std::to_string(code);
    if (Fault("DeviceIoControl " + what + " " + it->second.key)) return false;
    if (code == FSCTL_LOCK_VOLUME) {
        if (File(it->second.key)->refuseLock) return false;
        locked_.push_back(h);
    }
    if (code == FSCTL_UNLOCK_VOLUME)
        locked_.erase(std::remove(locked_.begin(), locked_.end(), h), locked_.end());
    return true;
}

bool FakePlatform::VolumeSize(HANDLE h, std::uint64_t& size) {
    auto it = handles_.find(h);
    if (it == handles_.end() || it->second.kind != Open::File) return false;
    Record("VolumeSize " + it->second.key);
    if (File(it->second.key)->sizeUnknown || Fault("VolumeSize " + it->second.key)) return false;
    size = File(it->second.key)->bytes.size();
    return true;
}

// --- Libraries: LoadLibraryEx of a full path with its search flags --------

HMODULE FakePlatform::LoadLib(const std::string& path, DWORD flags) {
    char hexFlags[16];
    std::snprintf(hexFlags, sizeof hexFlags, "0x%lX", static_cast<unsigned long>(flags));
    Record("LoadLibrary " + path + " flags " + hexFlags);
    const std::string name = path.substr(path.rfind('\\') + 1);
    if (Fault("LoadLibrary " + name)) return nullptr;
    for (auto& [key, exports] : libraries) {
        if (Upper(key) == Upper(name) || Upper(key) == Upper(path)) {
            HMODULE module = reinterpret_cast<HMODULE>(nextHandle_);
            nextHandle_ += 4;
            modules_.emplace(module, key);
            return module;
        }
    }
    return nullptr;
}

FARPROC FakePlatform::GetProcAddress(HMODULE module, const char* name) {
    Record(std::string("GetProcAddress ") + name);
    if (Fault(std::string("GetProcAddress ") + name)) return nullptr;
    auto it = modules_.find(module);
    if (it == modules_.end()) return nullptr;
    auto& exports = libraries[it->second];
    auto found = exports.find(name);
    return found == exports.end() ? nullptr : found->second;
}

void FakePlatform::FreeLibrary(HMODULE module) {
    auto it = modules_.find(module);
    Record("FreeLibrary " + (it == modules_.end() ? std::string("<unknown>") : it->second));
    if (it != modules_.end()) modules_.erase(it);
}

// --- Processes and jobs -----------------------------------------------------

namespace {
// The program's file name, upper-cased: from the application path, or else
// from the command line's first word, quoted or not.
std::string ProgramName(const std::string& application, const std::string& line) {
    std::string program = application;
    if (program.empty()) {
        const bool quoted = !line.empty() && line[0] == '"';
        program = quoted ? line.substr(1, line.find('"', 1) - 1) : line.substr(0, line.find(' '));
    }
    return Upper(program.substr(program.rfind('\\') + 1));
}
template <typename T>
const T* ByProgram(const std::map<std::string, T>& table, const std::string& program) {
    for (auto& [name, value] : table)
        if (Upper(name) == program) return &value;
    return nullptr;
}
}  // namespace

HANDLE FakePlatform::Launch(const char* call, const std::string& application, const std::string& commandLine,
                            UINT show, const std::string& currentDir) {
    const std::string program = ProgramName(application, commandLine);
    if (const DWORD* error = ByProgram(startErrors, program)) {
        lastError_ = *error;
        return nullptr;
    }
    if (Fault(call + (" " + program))) return nullptr;
    started.push_back({application, commandLine, show, currentDir});
    commands.push_back(commandLine);
    Open open{Open::Process, program};
    const DWORD* runs = ByProgram(runMs, program);
    open.endsAt = now + (runs ? *runs : 0);
    const DWORD* code = ByProgram(exitCodes, program);
    open.exitCode = code ? *code : 0;
    HANDLE process = NewHandle(open);
    if (onStart) onStart(commandLine);
    return process;
}

namespace {
std::string SidText(const std::vector<BYTE>& sid) {
    LPWSTR text = nullptr;
    if (sid.empty() || !::ConvertSidToStringSidW(const_cast<BYTE*>(sid.data()), &text)) return "<invalid>";
    std::string out(text, text + std::wcslen(text));
    ::LocalFree(text);
    return out;
}
}  // namespace

ProcessList FakePlatform::ListProcesses() {
    Record("ListProcesses");
    ProcessList list;
    if (snapshotFails || Fault("ListProcesses")) {
        if (snapshotFails) lastError_ = ERROR_ACCESS_DENIED;
        return list;
    }
    if (firstProcessFails || processes.empty()) {
        lastError_ = ERROR_NO_MORE_FILES;
        list.result = ProcessList::NoFirstEntry;
        return list;
    }
    for (const FakeProcess& p : processes) list.processes.push_back({p.pid, p.exeName});
    list.result = ProcessList::Listed;
    return list;
}

bool FakePlatform::StartProcess(const std::string& application, const std::string& commandLine, UINT show,
                                const std::string& currentDir, HANDLE* process) {
    Record("StartProcess " + (application.empty() ? std::string() : "[" + application + "] ") + commandLine +
           " " + std::to_string(show));
    *process = Launch("StartProcess", application, commandLine, show, currentDir);
    return *process != nullptr;
}

bool FakePlatform::StartInJob(const std::string& application, const std::string& commandLine, UINT show,
                              const std::string& currentDir, JobStart& job) {
    job = {nullptr, nullptr, jobError};
    Record("StartInJob " + (application.empty() ? std::string() : "[" + application + "] ") + commandLine + " " +
           std::to_string(show));
    job.process = Launch("StartInJob", application, commandLine, show, currentDir);
    if (!job.process || jobError != ERROR_SUCCESS) return job.process != nullptr;
    Open open = handles_.at(job.process);
    open.kind = Open::Job;
    if (const DWORD* more = ByProgram(handsOverMs, open.key)) open.handedOverUntil = open.endsAt + *more;
    job.job = NewHandle(open);
    return true;
}

bool FakePlatform::StartAsStandardUser(const UserRights& rights, const std::string& commandLine,
                                       const std::string& currentDir, HANDLE* process) {
    std::string deny;
    for (const std::vector<BYTE>& sid : rights.denyOnly) deny += (deny.empty() ? "" : ",") + SidText(sid);
    Record("StartAsStandardUser " + commandLine + " deny " + deny + " flags " + std::to_string(rights.flags) +
           " integrity " + SidText(rights.integrity));
    *process = Launch("StartAsStandardUser", "", commandLine, SW_HIDE, currentDir);
    return *process != nullptr;
}

bool FakePlatform::OpenAsDesktopUser(const std::string& address) {
    Record("OpenAsDesktopUser " + address);
    if (!desktopShell || Fault("OpenAsDesktopUser")) return false;
    opened.push_back(address);
    return true;
}

DWORD FakePlatform::WaitForProcess(HANDLE process, DWORD ms) {
    auto it = handles_.find(process);
    if (it == handles_.end() || it->second.kind != Open::Process) return WAIT_FAILED;
    Record("WaitForProcess " + std::to_string(ms));
    if (onWait) onWait();
    if (Fault("WaitForProcess")) return WAIT_FAILED;
    const ULONGLONG endsAt = it->second.endsAt;
    if (endsAt <= now + ms) {
        now = std::max(now, endsAt);
        return WAIT_OBJECT_0;
    }
    now += ms;
    return WAIT_TIMEOUT;
}

bool FakePlatform::ProcessExitCode(HANDLE process, DWORD* code) {
    auto it = handles_.find(process);
    if (it == handles_.end() || it->second.kind != Open::Process) return false;
    if (Fault("ProcessExitCode")) return false;
    *code = now < it->second.endsAt ? STILL_ACTIVE : it->second.exitCode;
    return true;
}

bool FakePlatform::JobActiveProcesses(HANDLE job, DWORD* count) {
    auto it = handles_.find(job);
    if (it == handles_.end() || it->second.kind != Open::Job) return false;
    Record("JobActiveProcesses");
    lastError_ = ERROR_ACCESS_DENIED;
    *count = (now < it->second.endsAt ? 1 : 0) + (now < it->second.handedOverUntil ? 1 : 0);
    return !jobQueryFails && !Fault("JobActiveProcesses");
}

HANDLE FakePlatform::NamedMutex(const std::string& name, const std::vector<BYTE>&) {
    Record("NamedMutex " + name);
    const auto squat = squatted.find(name);
    if (mutexOpenError != ERROR_SUCCESS || squat != squatted.end()) {
        lastError_ = squat != squatted.end() ? squat->second : mutexOpenError;
        return nullptr;
    }
    if (Fault("NamedMutex")) return nullptr;
    return NewHandle({Open::Mutex, name});
}

DWORD FakePlatform::WaitForMutex(HANDLE mutex) {
    auto it = handles_.find(mutex);
    if (it == handles_.end() || it->second.kind != Open::Mutex) return WAIT_FAILED;
    Record("WaitForMutex");
    if (Fault("WaitForMutex")) return WAIT_FAILED;
    it->second.held = mutexWait == WAIT_OBJECT_0 || mutexWait == WAIT_ABANDONED;
    return mutexWait;
}

bool FakePlatform::ReleaseMutex(HANDLE mutex) {
    auto it = handles_.find(mutex);
    if (it == handles_.end() || it->second.kind != Open::Mutex || !it->second.held) return false;
    Record("ReleaseMutex");
    it->second.held = false;
    return true;
}

int FakePlatform::heldMutexes() const {
    return static_cast<int>(
        std::count_if(handles_.begin(), handles_.end(), [](const auto& h) { return h.second.held; }));
}

DWORD FakePlatform::AdminNamespace(const std::string& alias, const std::vector<BYTE>&, HANDLE* ns) {
    *ns = nullptr;
    Record("AdminNamespace " + alias);
    if (namespacesMissing) return ERROR_CALL_NOT_IMPLEMENTED;
    const DWORD outcome = namespaceRounds.empty() ? ERROR_SUCCESS : namespaceRounds.front();
    if (!namespaceRounds.empty()) namespaceRounds.pop_front();
    if (Fault("AdminNamespace")) return ERROR_GEN_FAILURE;
    if (outcome == ERROR_SUCCESS || outcome == ERROR_ALREADY_EXISTS) *ns = NewHandle({Open::Namespace, alias});
    return outcome;
}

// --- Security, judged and set by handle -------------------------------------

namespace {
std::wstring WideAscii(const std::string& text) { return std::wstring(text.begin(), text.end()); }
}  // namespace

DWORD FakePlatform::Secure(const std::string& path, bool isFolder, const std::vector<BYTE>& descriptor) {
    LPWSTR text = nullptr;
    std::string sddl = "<unreadable>";
    if (::ConvertSecurityDescriptorToStringSecurityDescriptorW(const_cast<BYTE*>(descriptor.data()), SDDL_REVISION_1,
                                                               OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                                               &text, nullptr)) {
        sddl.assign(text, text + std::wcslen(text));
        ::LocalFree(text);
    }
    Record("SecureEntry " + path);
    resets.push_back("SecureEntry " + path + " " + sddl);
    EntryFacts facts;
    HANDLE h = InspectEntry(path, isFolder, facts);
    // An open for the owner and access list alone reads no data, so Windows
    // makes no sharing check for it.
    if (h == INVALID_HANDLE_VALUE && facts.error != ERROR_SHARING_VIOLATION) return facts.error;
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    if (h != INVALID_HANDLE_VALUE && ((facts.attributes & FILE_ATTRIBUTE_REPARSE_POINT) || (!isFolder && facts.links != 1)))
        return ERROR_CANT_RESOLVE_FILENAME;
    if (std::any_of(staysOpen.begin(), staysOpen.end(), [&](const std::string& p) { return Upper(p) == Upper(path); }))
        return secureError;
    std::erase_if(security, [&](const auto& s) { return Upper(s.first) == Upper(path); });
    security[path] = sddl;
    return ERROR_SUCCESS;
}

HANDLE FakePlatform::InspectEntry(const std::string& path, bool isFolder, EntryFacts& facts) {
    Record("InspectEntry " + path);
    facts = {};
    FakeEntry entry;
    for (auto& [key, value] : entries)
        if (Upper(key) == Upper(path)) entry = value;
    bool known = isFolder || File(path);
    for (auto& [key, value] : entries) known = known || Upper(key) == Upper(path);
    for (auto& [key, value] : security) known = known || Upper(key) == Upper(path);
    for (auto& [pattern, list] : folders)
        for (const FolderEntry& e : list)
            known = known || Upper(pattern.substr(0, pattern.rfind('\\') + 1) + e.name) == Upper(path);
    facts.error = Fault("InspectEntry " + path) ? ERROR_ACCESS_DENIED : known ? entry.openError : ERROR_FILE_NOT_FOUND;
    if (facts.error != ERROR_SUCCESS) return INVALID_HANDLE_VALUE;
    facts.attributes = entry.attributes ? entry.attributes : isFolder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    facts.reparseTag = entry.reparseTag;
    facts.links = entry.links;
    Open open{Open::File, path};
    open.entry = true;
    HANDLE h = NewHandle(open);
    facts.finalPath = FinalPathOfHandle(h);
    std::string sddl = kWineDefaultSddl;
    for (auto& [key, value] : security)
        if (Upper(key) == Upper(path)) sddl = value;
    if (sddl.empty()) {
        facts.error = ERROR_ACCESS_DENIED;
        return h;
    }
    PSECURITY_DESCRIPTOR sd = nullptr;
    ULONG size = 0;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(WideAscii(sddl).c_str(), SDDL_REVISION_1, &sd, &size)) {
        facts.error = ::GetLastError();
        return h;
    }
    facts.descriptor.assign(static_cast<BYTE*>(sd), static_cast<BYTE*>(sd) + size);
    ::LocalFree(sd);
    return h;
}

bool FakePlatform::SecureEntry(const std::string& path, bool isFolder, const std::vector<BYTE>& descriptor) {
    return Verdict(Secure(path, isFolder, descriptor));
}

std::vector<std::string> FakePlatform::Held() const {
    std::vector<std::string> held;
    for (const auto& [h, open] : handles_)
        if (open.entry) held.push_back(open.key);
    return held;
}

// --- Tokens: the program's own ----------------------------------------------

std::vector<BYTE> FakePlatform::UserSid() {
    PSID sid = nullptr;
    if (!::ConvertStringSidToSidW(WideAscii(userSid).c_str(), &sid)) return {};
    std::vector<BYTE> bytes(static_cast<BYTE*>(sid), static_cast<BYTE*>(sid) + ::GetLengthSid(sid));
    ::LocalFree(sid);
    return bytes;
}

bool FakePlatform::EnablePrivilege(const std::string& name, PrivilegeChange& change) {
    Record("EnablePrivilege " + name);
    change = {};
    if (openTokenFails) {
        lastError_ = ERROR_ACCESS_DENIED;
        return false;
    }
    if (Fault("EnablePrivilege " + name)) return false;
    change.tokenOpened = true;
    if (std::count(privilegesNotHeld.begin(), privilegesNotHeld.end(), name)) {
        lastError_ = ERROR_NOT_ALL_ASSIGNED;
        return false;
    }
    change.wasEnabled = std::count(enabledPrivileges.begin(), enabledPrivileges.end(), name) > 0;
    if (!change.wasEnabled) enabledPrivileges.push_back(name);
    return true;
}

bool FakePlatform::DisablePrivilege(const std::string& name) {
    Record("DisablePrivilege " + name);
    if (Fault("DisablePrivilege " + name)) return false;
    std::erase(enabledPrivileges, name);
    return true;
}

// --- Signatures and digests -------------------------------------------------

SignatureInfo FakePlatform::VerifyEmbeddedSignature(HANDLE file, const std::string& name) {
    Record("VerifyEmbeddedSignature " + name);
    auto it = handles_.find(file);
    if (it == handles_.end() || it->second.kind != Open::File) return {E_HANDLE};
    for (const auto& [path, info] : signatures)
        if (Upper(path) == Upper(it->second.key)) return info;
    return ownSignature;
}

SignatureInfo FakePlatform::OwnSignature() {
    Record("OwnSignature");
    return ownSignature;
}

Sha256Hash* FakePlatform::HashBegin() {
    Record("HashBegin");
    if (hashBeginFails) return nullptr;
    auto hash = std::make_unique<FakeHash>();
    Sha256Hash* given = hash.get();
    hashes_[given] = std::move(hash);
    return given;
}

bool FakePlatform::HashData(Sha256Hash* hash, const void* data, DWORD size) {
    auto it = hashes_.find(hash);
    if (it == hashes_.end()) return false;
    it->second->fed.append(static_cast<const char*>(data), size);
    return true;
}

bool FakePlatform::HashFinish(Sha256Hash* hash, unsigned char (&digest)[32]) {
    auto it = hashes_.find(hash);
    if (it == hashes_.end()) return false;
    std::memset(digest, 0, sizeof digest);
    auto found = digests.find(it->second->fed);
    if (found != digests.end())
        std::memcpy(digest, found->second.data(), std::min<std::size_t>(32, found->second.size()));
    return true;
}

void FakePlatform::HashEnd(Sha256Hash* hash) {
    Record("HashEnd");
    hashes_.erase(hash);
}

// --- Power: the battery, holding off sleep and the session's end, restart ---

bool FakePlatform::GetPowerStatus(SYSTEM_POWER_STATUS& status) {
    Record("GetSystemPowerStatus");
    if (powerFails) return false;
    status = power;
    return true;
}

EXECUTION_STATE FakePlatform::SetThreadExecutionState(EXECUTION_STATE state) {
    executionStates.push_back(state);
    return ES_CONTINUOUS;
}

bool FakePlatform::ShutdownBlockReasonCreate(HWND window, const std::wstring& reason) {
    Record("ShutdownBlockReasonCreate");
    if (blockReasonError != ERROR_SUCCESS) return Verdict(blockReasonError);
    blockReasons[window] = reason;
    return true;
}

bool FakePlatform::ShutdownBlockReasonDestroy(HWND window) {
    Record("ShutdownBlockReasonDestroy");
    return blockReasons.erase(window) > 0;
}

bool FakePlatform::Restart(RestartKind kind, DWORD reason, DWORD warnSeconds, const std::wstring& message) {
    const bool forcing = kind == RestartKind::Forcing;
    Record(std::string("Restart ") + (forcing ? "forcing " : "asking ") + std::to_string(reason) +
           (forcing ? " " + std::to_string(warnSeconds) : std::string()));
    if (Fault("Restart")) return false;
    restartReasons.push_back(reason);
    restartKind = kind;
    restartSeconds = warnSeconds;
    restartMessage = message;
    lastError_ = restartError;
    if (!lastError_ && !std::count(enabledPrivileges.begin(), enabledPrivileges.end(), "SeShutdownPrivilege"))
        lastError_ = ERROR_PRIVILEGE_NOT_HELD;
    return lastError_ == ERROR_SUCCESS;
}

// --- Boxes and windows: message boxes, always without an owner window -------

int FakePlatform::ShowMessage(const std::string& text, const std::string& title, UINT style) {
    messages.push_back({text, title, style});
    Record("MessageBox " + title);
    if (onMessage) onMessage(messages.back());
    if (Fault("MessageBox " + title)) return 0;
    if (!answers.empty()) {
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    return (style & 0xF) == MB_YESNO ? IDNO : IDOK;
}

// --- Time ---------------------------------------------------------------------

void FakePlatform::Sleep(DWORD ms) {
    Record("Sleep " + std::to_string(ms));
    now += ms;
    if (onSleep) onSleep(ms);
}

ULONGLONG FakePlatform::TickCount() { return now; }

void FakePlatform::LocalTime(SYSTEMTIME& time) { time = localTime; }

}  // namespace kv::test
