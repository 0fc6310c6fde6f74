// A scriptable platform for handler tests: an in-memory file system and
// devices, scripted message box answers, processes, libraries and a clock.
// Every call is logged in order, so tests can check sequences and that
// every handle and library was released.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform.h"

namespace kv::test {

struct MessageRecord {
    std::string text;
    std::string title;
    UINT style;
};

struct FakeFile {
    std::string bytes;
    bool canOpenForWrite = true;  // false: opening with GENERIC_WRITE fails
    int failReadAt = -1;          // the n-th ReadFile on this file fails (0-based)
    int failWriteAt = -1;         // the n-th WriteFile on this file fails
    bool failSeek = false;
    bool failClose = false;
    bool refuseLock = false;      // FSCTL_LOCK_VOLUME fails
    bool sizeUnknown = false;     // VolumeSize fails; otherwise it gives the bytes' count
    int loseWriteAt = -1;         // the n-th WriteFile reports success but stores nothing
    int reads = 0, writes = 0;
};

struct FakeProcess {
    std::string exeName;
    DWORD pid;
};

class FakePlatform : public Platform {
public:
    FakePlatform();
    ~FakePlatform() override;

    // --- What each call did, and the fault sweep -------------------------------
    std::vector<std::string> calls;  // "OpenFile \\.\A:", "StartProcess <cmd> 0", ...
    // The run log's own file calls are left out of calls unless asked for:
    // the log is read from files[] where a test cares.
    bool recordRunLog = false;
    int CallCount(const std::string& prefix) const;
    int openHandles() const { return static_cast<int>(handles_.size()); }
    // Every call that can fail on Windows is numbered from 0; the one at
    // failAt fails as it does there (false, INVALID_HANDLE_VALUE, null, 0).
    // With shortTransfers, a failing ReadFile/WriteFile instead reports
    // success for half the bytes.
    int failAt = -1;
    bool shortTransfers = false;
    int faultableCalls = 0;      // numbered so far
    std::string failedCall;      // what failed: "ReadFile c:\KAVELTON\fdd.imz", ...
    std::size_t messagesAtFault = 0;  // boxes shown before it failed
    // Successful writes: the number of faultable calls made before each, the
    // file written, and whether its handle held a volume lock then.
    struct Write {
        int before;
        std::string path;
        bool locked;
    };
    std::vector<Write> writeLog;

    // --- Script and record, in the seam's order of roles -----------------------
    // --- Files and folders ----------------------------------------------------
    std::map<std::string, FakeFile> files;                // by path, compared case-insensitively
    FakeFile* File(const std::string& path);
    // What the run log holds so far; empty without one.
    std::string RunLog();
    std::function<void(const std::string& path)> onRead;  // before each ReadFile of a file
    bool appendFails = false;
    std::map<std::string, std::vector<FolderEntry>> folders;  // by pattern; missing: cannot list
    // ListEntries: a folder lists what files[], security[], entries[] and
    // folderPaths name directly below it, and its own "*.*" listing.
    std::vector<std::string> folderPaths{"C:\\KAVELTON", "C:\\KAVELTON\\ROM"};
    // A relative path lies in currentDir; a move renames files[].
    std::string currentDir;
    // An open file lies at "\\?\" and its name, unless finalPaths says where.
    std::map<std::string, std::string> finalPaths;
    std::string windowsFolder = "C:\\WINDOWS";

    // --- Volumes --------------------------------------------------------------
    std::vector<DWORD> ioControls;
    int lockedVolumes() const { return static_cast<int>(locked_.size()); }

    // --- Libraries: LoadLibraryEx of a full path with its search flags --------
    std::map<std::string, std::map<std::string, FARPROC>> libraries;  // by name: exports
    int loadedLibraries() const { return static_cast<int>(modules_.size()); }
    // A BIOS.dll that reports the board ABC12 with BIOS version KVD.100.
    void ScriptBiosLibrary();

    // --- Processes and jobs -----------------------------------------------------
    std::vector<FakeProcess> processes{{"System", 4}};  // every Windows lists at least this
    bool snapshotFails = false;      // ListProcesses: NoSnapshot
    bool firstProcessFails = false;  // ListProcesses: NoFirstEntry
    struct Started {
        std::string application;
        std::string commandLine;
        UINT show;
        std::string currentDir;
    };
    std::vector<Started> started;
    std::vector<std::string> commands;  // started command lines
    // By the program's file name (case-insensitive, such as "ToUSB.bat"),
    // from the application path or else the command line's first word:
    std::map<std::string, DWORD> startErrors;  // the start fails with this error
    std::map<std::string, DWORD> exitCodes;    // the code it ends with (default 0)
    std::map<std::string, DWORD> runMs;        // how long it runs on the fake clock
    // By program: how long what it started runs on after it ended.
    std::map<std::string, DWORD> handsOverMs;
    std::function<void(const std::string& commandLine)> onStart;
    std::function<void()> onWait;  // at each wait on a started process
    // StartInJob: no job can hold it, with this error; JobActiveProcesses:
    // its count cannot be read.
    DWORD jobError = ERROR_SUCCESS;
    bool jobQueryFails = false;
    bool desktopShell = true;        // whether the desktop's shell answers
    std::vector<std::string> opened;    // addresses opened as the desktop user
    // How taking the flash mutex goes (another process holds it:
    // WAIT_TIMEOUT; WAIT_ABANDONED), or that it cannot be opened at all.
    DWORD mutexWait = WAIT_OBJECT_0;
    DWORD mutexOpenError = ERROR_SUCCESS;
    // The error CreateMutex gives for a name another account squats.
    std::map<std::string, DWORD> squatted;
    int heldMutexes() const;  // mutexes held now
    // No namespaces (Wine), or the next rounds' outcomes (ERROR_SUCCESS once
    // empty).
    bool namespacesMissing = false;
    std::deque<DWORD> namespaceRounds;

    // --- Security, judged and set by handle -------------------------------------
    // Descriptors by path as SDDL (case-insensitive); a path not listed
    // reads as Wine's default, which is secure. An empty SDDL makes the read
    // fail with ERROR_ACCESS_DENIED.
    std::map<std::string, std::string> security;
    static constexpr const char* kWineDefaultSddl =
        "O:S-1-5-21-1-2-3-1000D:(A;;FA;;;SY)(A;;FA;;;S-1-5-21-1-2-3-1000)(A;;0x1200a9;;;WD)";
    // What an entry's handle tells besides its security[] (a path not listed
    // is a plain entry with one name, at its own final path, or finalPaths[]
    // says where); openError ERROR_FILE_NOT_FOUND makes it missing.
    struct FakeEntry {
        DWORD openError = ERROR_SUCCESS;
        DWORD attributes = 0;  // 0: a folder or a plain file, as it is asked for
        DWORD reparseTag = 0;
        DWORD links = 1;
    };
    std::map<std::string, FakeEntry> entries;
    // Paths held now through InspectEntry's handles: a write open of one
    // fails with ERROR_SHARING_VIOLATION, as Windows refuses it.
    std::vector<std::string> Held() const;
    // SecureEntry fails with secureError for a path in staysOpen, else gives
    // it the descriptor (refusing links as Windows would). Record:
    // "SecureEntry <path> <SDDL>" in resets.
    std::vector<std::string> staysOpen;
    DWORD secureError = ERROR_ACCESS_DENIED;
    std::vector<std::string> resets;

    // --- Tokens: the program's own ----------------------------------------------
    std::string userSid = "S-1-5-21-1-2-3-1000";
    bool openTokenFails = false;
    // Privileges the token lacks, which fail with ERROR_NOT_ALL_ASSIGNED;
    // the privileges on now.
    std::vector<std::string> privilegesNotHeld;
    std::vector<std::string> enabledPrivileges;

    // --- Signatures and digests -------------------------------------------------
    // Signatures by the verified file's path (case-insensitive); a file not
    // listed is signed as the program itself is, by ownSignature. The install
    // folder holds a flasher and both libraries from the start. Record: calls
    // "VerifyEmbeddedSignature <path>" and "OwnSignature".
    SignatureInfo ownSignature{S_OK, 1, {"DER leaf: Kavelton Maker", "DER CA: Kavelton Maker CA"}, "Kavelton Maker"};
    std::map<std::string, SignatureInfo> signatures;
    // Digests by the bytes hashed (unlisted bytes give zeros).
    std::map<std::string, std::string> digests;  // hashed bytes -> 32 digest bytes
    bool hashBeginFails = false;
    int openHashes() const { return static_cast<int>(hashes_.size()); }

    // --- Registry and boot ------------------------------------------------------
    // A restart is a new bootId.
    std::string bootId = "{00000000-0000-0000-0000-00000000B001}";  // empty: cannot be told

    // --- Power: the battery, holding off sleep and the session's end, restart ---
    SYSTEM_POWER_STATUS power{1, 128, 255, 0, DWORD(-1), DWORD(-1)};  // readable unless powerFails
    bool powerFails = false;
    std::vector<EXECUTION_STATE> executionStates;  // set so far
    DWORD blockReasonError = ERROR_SUCCESS;
    std::map<HWND, std::wstring> blockReasons;  // windows holding a block reason
    // The error a restart fails with; it fails with 1314 while
    // SeShutdownPrivilege is off. Record: the reasons, and the last
    // restart's kind, warning and message.
    DWORD restartError = ERROR_SUCCESS;
    std::vector<DWORD> restartReasons;
    RestartKind restartKind = RestartKind::Asking;
    DWORD restartSeconds = 0;
    std::wstring restartMessage;

    // --- Events: the Windows event log ------------------------------------------
    struct Event {
        WORD type;
        DWORD id;
        std::vector<std::wstring> inserts;
    };
    std::vector<Event> events;  // written to the event log

    // --- Boxes and windows: message boxes, always without an owner window -------
    std::deque<int> answers;  // next message box answers; empty: OK, or No for Yes/No boxes
    std::function<void(const MessageRecord&)> onMessage;  // runs inside the box
    std::vector<MessageRecord> messages;

    // --- Output: the command line's -----------------------------------------------
    std::string output;  // what the command line wrote

    // --- Time ---------------------------------------------------------------------
    std::function<void(DWORD)> onSleep;  // after the clock moved on
    ULONGLONG now = 1'000'000;
    SYSTEMTIME localTime{2026, 12, 2, 8, 9, 30, 5, 0};
    SYSTEMTIME utcTime{2026, 12, 2, 8, 8, 30, 5, 0};

    // --- Platform, in the seam's order of roles --------------------------------
    DWORD LastError() override;
    // --- Files and folders ----------------------------------------------------
    HANDLE OpenFile(const std::string& path, DWORD access, DWORD share, DWORD disposition,
                    DWORD flags) override;
    bool ReadFile(HANDLE h, void* buffer, DWORD size, DWORD* done) override;
    bool WriteFile(HANDLE h, const void* buffer, DWORD size, DWORD* done) override;
    bool SetFilePointerBegin(HANDLE h, LONG offset) override;
    bool FileSize(HANDLE h, std::uint64_t& size) override;
    bool FlushFile(HANDLE h) override;
    bool CloseHandle(HANDLE h) override;
    bool SetCurrentDir(const std::string& path) override;
    bool ListFolder(const std::string& pattern, DWORD attributeMask,
                    std::vector<FolderEntry>& entries) override;
    bool ListEntries(const std::string& folder, std::vector<FolderEntry>& entries) override;
    bool ReadWholeFile(const std::string& path, std::string& bytes) override;
    bool WriteWholeFile(const std::string& path, const std::string& bytes) override;
    bool AppendToFile(const std::string& path, const std::string& bytes) override;
    bool DeleteFile(const std::string& path) override;
    bool MoveFileReplacing(const std::string& from, const std::string& to) override;
    std::string FullPathName(const std::string& path) override;
    std::string FinalPathOfHandle(HANDLE h) override;
    std::string WindowsFolder() override;
    // --- Volumes --------------------------------------------------------------
    bool DeviceIoControl(HANDLE h, DWORD code) override;
    bool VolumeSize(HANDLE h, std::uint64_t& size) override;
    // --- Libraries: LoadLibraryEx of a full path with its search flags --------
    HMODULE LoadLib(const std::string& path, DWORD flags) override;
    FARPROC GetProcAddress(HMODULE module, const char* name) override;
    void FreeLibrary(HMODULE module) override;
    // --- Processes and jobs -----------------------------------------------------
    ProcessList ListProcesses() override;
    bool StartProcess(const std::string& application, const std::string& commandLine, UINT show,
                      const std::string& currentDir, HANDLE* process) override;
    bool StartInJob(const std::string& application, const std::string& commandLine, UINT show,
                    const std::string& currentDir, JobStart& started) override;
    bool StartAsStandardUser(const UserRights& rights, const std::string& commandLine,
                             const std::string& currentDir, HANDLE* process) override;
    bool OpenAsDesktopUser(const std::string& address) override;
    DWORD WaitForProcess(HANDLE process, DWORD ms) override;
    bool ProcessExitCode(HANDLE process, DWORD* code) override;
    bool JobActiveProcesses(HANDLE job, DWORD* count) override;
    HANDLE NamedMutex(const std::string& name, const std::vector<BYTE>& descriptor) override;
    DWORD WaitForMutex(HANDLE mutex) override;
    bool ReleaseMutex(HANDLE mutex) override;
    DWORD AdminNamespace(const std::string& alias, const std::vector<BYTE>& descriptor, HANDLE* ns) override;
    // --- Security, judged and set by handle -------------------------------------
    HANDLE InspectEntry(const std::string& path, bool isFolder, EntryFacts& facts) override;
    bool SecureEntry(const std::string& path, bool isFolder, const std::vector<BYTE>& descriptor) override;
    // --- Tokens: the program's own ----------------------------------------------
    std::vector<BYTE> UserSid() override;
    bool EnablePrivilege(const std::string& name, PrivilegeChange& change) override;
    bool DisablePrivilege(const std::string& name) override;
    // --- Signatures and digests -------------------------------------------------
    SignatureInfo VerifyEmbeddedSignature(HANDLE file, const std::string& name) override;
    SignatureInfo OwnSignature() override;
    Sha256Hash* HashBegin() override;
    bool HashData(Sha256Hash* hash, const void* data, DWORD size) override;
    bool HashFinish(Sha256Hash* hash, unsigned char (&digest)[32]) override;
    void HashEnd(Sha256Hash* hash) override;
    // --- Registry and boot ------------------------------------------------------
    std::string BootIdentity() override { return Fault("BootIdentity") ? std::string() : bootId; }
    // --- Power: the battery, holding off sleep and the session's end, restart ---
    bool GetPowerStatus(SYSTEM_POWER_STATUS& status) override;
    EXECUTION_STATE SetThreadExecutionState(EXECUTION_STATE state) override;
    bool ShutdownBlockReasonCreate(HWND window, const std::wstring& reason) override;
    bool ShutdownBlockReasonDestroy(HWND window) override;
    bool Restart(RestartKind kind, DWORD reason, DWORD warnSeconds, const std::wstring& message) override;
    // --- Events: the Windows event log ------------------------------------------
    bool WriteEvent(WORD type, DWORD id, const std::vector<std::wstring>& inserts) override {
        events.push_back({type, id, inserts});
        return true;
    }
    // --- Boxes and windows: message boxes, always without an owner window -------
    int ShowMessage(const std::string& text, const std::string& title, UINT style) override;
    // --- Output: the command line's -----------------------------------------------
    void WriteOutput(const std::string& text) override { output += text; }
    // --- Time ---------------------------------------------------------------------
    void Sleep(DWORD ms) override;
    ULONGLONG TickCount() override;
    void LocalTime(SYSTEMTIME& time) override;
    void UtcTime(SYSTEMTIME& time) override { time = utcTime; }

private:
    void Record(const std::string& call);
    bool Fault(const std::string& call);
    // A call's error code as the seam tells it: true for ERROR_SUCCESS, else
    // false, the code left as the last error.
    bool Verdict(DWORD error);
    DWORD Entries(const std::string& folder, std::vector<FolderEntry>& entries);
    DWORD Secure(const std::string& path, bool isFolder, const std::vector<BYTE>& descriptor);
    DWORD lastError_ = 0;
    std::vector<HANDLE> locked_;
    struct FakeHash final : Sha256Hash {
        std::string fed;  // the bytes fed so far
    };
    std::map<Sha256Hash*, std::unique_ptr<FakeHash>> hashes_;
    struct Open {
        enum Kind { File, Process, Mutex, Job, Namespace } kind;
        std::string key;
        std::size_t position = 0;
        ULONGLONG endsAt = 0;    // a started process: when it ends
        ULONGLONG handedOverUntil = 0;  // a job: when what its first process started ends
        DWORD exitCode = 0;
        bool held = false;  // a mutex this process holds
        bool entry = false; // an install entry held by InspectEntry
    };
    HANDLE NewHandle(Open open);
    // Starts a process as scripted; call names the start for the fault sweep.
    HANDLE Launch(const char* call, const std::string& application, const std::string& commandLine, UINT show,
                  const std::string& currentDir);
    std::map<HANDLE, Open> handles_;
    std::map<HMODULE, std::string> modules_;
    std::uintptr_t nextHandle_ = 0x1000;
};

inline bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Installs a fake for the life of a test and restores the real platform.
class ScopedFake {
public:
    ScopedFake() { SetOs(&fake); }
    ~ScopedFake() { SetOs(nullptr); }
    FakePlatform fake;
};

}  // namespace kv::test
