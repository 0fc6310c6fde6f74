// The one seam between Kavelton's handlers and the operating system.
//
// Everything a test must steer goes through Platform, grouped by role, in
// the order of the sections below. Win32Platform calls the real API;
// FakePlatform (tests/fake_platform) answers from a script and records every call.
// Handles keep the Win32 meaning: nullptr and INVALID_HANDLE_VALUE are
// distinct values and callers check both where the platform can give both.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace kv {

// A running SHA-256 of the platform's. An object of its own, never a kernel
// handle: it goes back to HashEnd only, never to CloseHandle.
struct Sha256Hash {
    virtual ~Sha256Hash() = default;
};

// The rights of a program started for the user, cut down from ours:
// SIDs that only deny, CreateRestrictedToken's flags, and the integrity
// level's SID.
struct UserRights {
    std::vector<std::vector<BYTE>> denyOnly;
    DWORD flags = 0;
    std::vector<BYTE> integrity;
};

// What WinVerifyTrust found in a file's embedded Authenticode signature.
struct SignatureInfo {
    HRESULT trust = TRUST_E_NOSIGNATURE;  // S_OK, or why the signature is not trusted
    DWORD signers = 0;                    // 0 or 1: the first signer's only
    // The signer's certificate chain as DER, leaf first, as far as it was
    // built; empty without a signer.
    std::vector<std::string> chain;
    std::string signerName;  // the leaf's display name ("CN"), in the ANSI code page
};

struct FolderEntry {
    std::string name;
    DWORD attributes = 0;
};

// What one open handle tells of a file or folder (see InspectEntry).
struct EntryFacts {
    DWORD error = ERROR_SUCCESS;  // why it could not be opened or read
    DWORD attributes = 0;         // FILE_ATTRIBUTE_*
    DWORD reparseTag = 0;         // IO_REPARSE_TAG_* when it is a reparse point
    DWORD links = 0;              // how many names the file has
    std::string finalPath;        // as FinalPathOfHandle gives it
    std::vector<BYTE> descriptor; // owner and access list, self-relative
};

// One of the running processes, as a snapshot of them saw it.
struct RunningProcess {
    DWORD pid = 0;
    std::string exeName;  // the file name alone, in the ANSI code page
};

// What ListProcesses found: the processes, or which step of the listing
// failed (LastError() then tells why).
struct ProcessList {
    enum Result {
        Listed,
        NoSnapshot,    // CreateToolhelp32Snapshot refused
        NoFirstEntry,  // Process32First could not read the snapshot's first entry
    } result = NoSnapshot;
    std::vector<RunningProcess> processes;  // as far as they were read
};

// What EnablePrivilege found besides its verdict.
struct PrivilegeChange {
    bool tokenOpened = false;  // false: the program's own token could not be opened
    bool wasEnabled = false;   // on before the call, so not the caller's to turn off
};

// How a restart is asked for.
enum class RestartKind {
    // Every program may still save its work or refuse (ExitWindowsEx's
    // EWX_REBOOT, without EWX_FORCE); nobody is warned.
    Asking,
    // Logged-on users see the message for the warning's seconds; then other
    // sessions and our own are ended (InitiateShutdown with
    // SHUTDOWN_FORCE_OTHERS | SHUTDOWN_FORCE_SELF | SHUTDOWN_RESTART). Also
    // works from a service account.
    Forcing,
};

// Errors. A call that can fail says so in what it returns: false, a null or
// INVALID_HANDLE_VALUE handle, an empty text, or a result that names the
// failure, each as the call tells. LastError() then says why, as the failed
// call left it; read it before any other seam call. Waits give their WAIT_*
// value, which is an outcome, not an error. AdminNamespace alone gives a
// DWORD code instead, as its success itself has two (created, opened).
class Platform {
public:
    virtual ~Platform() = default;

    // The calling thread's last error, as the failed call left it.
    virtual DWORD LastError() = 0;

    // --- Files and folders ----------------------------------------------------
    virtual HANDLE OpenFile(const std::string& path, DWORD access, DWORD share, DWORD disposition,
                            DWORD flags) = 0;
    virtual bool ReadFile(HANDLE h, void* buffer, DWORD size, DWORD* done) = 0;
    virtual bool WriteFile(HANDLE h, const void* buffer, DWORD size, DWORD* done) = 0;
    // Moves to an absolute offset; false where SetFilePointer reports failure.
    virtual bool SetFilePointerBegin(HANDLE h, LONG offset) = 0;
    // The size of an open file in bytes; false when it cannot be read.
    virtual bool FileSize(HANDLE h, std::uint64_t& size) = 0;
    // Writes what the cache holds of an open file or volume to the medium.
    virtual bool FlushFile(HANDLE h) = 0;
    virtual bool CloseHandle(HANDLE h) = 0;
    virtual bool SetCurrentDir(const std::string& path) = 0;
    // Lists the entries matching pattern whose attributes fit attributeMask
    // (plain files always fit). False when the enumeration cannot start.
    virtual bool ListFolder(const std::string& pattern, DWORD attributeMask,
                            std::vector<FolderEntry>& entries) = 0;
    // Every entry of folder but "." and "..", hidden and system ones
    // included; false with LastError().
    virtual bool ListEntries(const std::string& folder, std::vector<FolderEntry>& entries) = 0;
    // Reads a whole file's bytes as they are stored; false, with bytes empty,
    // when it cannot be opened, holds more than kMaxWholeFileBytes, or a read
    // fails.
    virtual bool ReadWholeFile(const std::string& path, std::string& bytes) = 0;
    // Creates or replaces the file with the bytes. Both writes refuse a
    // reparse point and a file that has another name besides this one.
    virtual bool WriteWholeFile(const std::string& path, const std::string& bytes) = 0;
    // Creates the file when missing; the bytes go after its end.
    virtual bool AppendToFile(const std::string& path, const std::string& bytes) = 0;
    virtual bool DeleteFile(const std::string& path) = 0;
    // Puts from in the place of to in one step, replacing a file there, and
    // returns once the move is on the disk; false with LastError().
    virtual bool MoveFileReplacing(const std::string& from, const std::string& to) = 0;
    // path made absolute against the current directory (GetFullPathName);
    // empty when it cannot be.
    virtual std::string FullPathName(const std::string& path) = 0;
    // Where an open file really lies, its links, junctions and mapped drives
    // resolved, with the drive letter (GetFinalPathNameByHandle: normalized,
    // short names made long, where the file system can tell, else as opened;
    // given as "\\?\C:\..." or "\\?\UNC\server\share\..."). Empty with
    // LastError() when it cannot be told.
    virtual std::string FinalPathOfHandle(HANDLE h) = 0;
    // The Windows folder ("C:\\WINDOWS"); empty when it cannot be read.
    virtual std::string WindowsFolder() = 0;

    // --- Volumes --------------------------------------------------------------
    // Control requests without in/out buffers (volume lock, dismount, unlock).
    virtual bool DeviceIoControl(HANDLE h, DWORD code) = 0;
    // The size in bytes of an open volume: its length, else its geometry,
    // else the size of the file behind it; false when none can be read.
    virtual bool VolumeSize(HANDLE h, std::uint64_t& size) = 0;

    // --- Libraries: LoadLibraryEx of a full path with its search flags --------
    virtual HMODULE LoadLib(const std::string& path, DWORD flags) = 0;
    virtual FARPROC GetProcAddress(HMODULE module, const char* name) = 0;
    virtual void FreeLibrary(HMODULE module) = 0;

    // --- Processes and jobs -----------------------------------------------------
    // Every running process, from one snapshot; result says which step
    // failed when they cannot be listed.
    virtual ProcessList ListProcesses() = 0;
    // Starts commandLine (a program or a batch file) in currentDir, its window
    // shown as show says. application, when not empty, is the full path of
    // the program to run, so that no search can find another one. The process
    // handle is the caller's to close; false with LastError() when nothing
    // was started.
    virtual bool StartProcess(const std::string& application, const std::string& commandLine, UINT show,
                              const std::string& currentDir, HANDLE* process) = 0;
    // Starts the program as StartProcess does, but suspended, puts it into a
    // job object of its own and only then lets it run, so that every program
    // it starts belongs to the job as well. The job never ends a process:
    // closing it leaves them running, and none may break away from it.
    // False with LastError() when nothing was started; true with the
    // process, and the job unless none could hold it (jobError says why, as
    // on Windows 7 for a program that runs in a job already).
    struct JobStart {
        HANDLE process = nullptr;  // the caller's to close
        HANDLE job = nullptr;      // the caller's to close
        DWORD jobError = ERROR_SUCCESS;
    };
    virtual bool StartInJob(const std::string& application, const std::string& commandLine, UINT show,
                            const std::string& currentDir, JobStart& started) = 0;
    // What a user brings or sees never gets our rights: starts commandLine
    // hidden, in currentDir, under a token made from ours as rights says,
    // never under ours itself: false with LastError() when that token cannot
    // be made or the program cannot start. The process handle is the
    // caller's to close.
    virtual bool StartAsStandardUser(const UserRights& rights, const std::string& commandLine,
                                     const std::string& currentDir, HANDLE* process) = 0;
    // Opens address (a web page) as the user of the desktop, through the
    // shell's own desktop window, so that it never runs with our token. False
    // where no shell of the desktop answers (none runs; a service session).
    virtual bool OpenAsDesktopUser(const std::string& address) = 0;
    // WAIT_OBJECT_0 once the process has ended, WAIT_TIMEOUT, or WAIT_FAILED.
    virtual DWORD WaitForProcess(HANDLE process, DWORD ms) = 0;
    // STILL_ACTIVE while it runs; false when the code cannot be read.
    virtual bool ProcessExitCode(HANDLE process, DWORD* code) = 0;
    // How many processes of the job run now; false with LastError() when
    // that cannot be read.
    virtual bool JobActiveProcesses(HANDLE job, DWORD* count) = 0;
    // One flash at a time: opens or creates the named mutex, not owned, with
    // descriptor's access list; nullptr with LastError() on failure.
    virtual HANDLE NamedMutex(const std::string& name, const std::vector<BYTE>& descriptor) = 0;
    // Takes it without waiting: WAIT_OBJECT_0, WAIT_ABANDONED, WAIT_TIMEOUT
    // (another holds it) or WAIT_FAILED.
    virtual DWORD WaitForMutex(HANDLE mutex) = 0;
    virtual bool ReleaseMutex(HANDLE mutex) = 0;
    // Creates a private namespace whose boundary is the Administrators
    // group (only a member can create one that matches it) with descriptor's
    // access list, which decides who may open it; or opens the one that
    // exists. ERROR_SUCCESS (created) or ERROR_ALREADY_EXISTS (opened), with
    // the handle; ERROR_CALL_NOT_IMPLEMENTED where the system has no private
    // namespaces at all (no boundary can be made); or the error, such as an
    // open after its last holder has just ended. Objects are named
    // "alias\name" in it; the handle goes to CloseHandle, and keeps the
    // namespace alive for others meanwhile.
    virtual DWORD AdminNamespace(const std::string& alias, const std::vector<BYTE>& descriptor, HANDLE* ns) = 0;

    // --- Security, judged and set by handle -------------------------------------
    // Opens path itself, never what a reparse point in its place names, and
    // reads everything from that one handle: attributes, reparse tag, link
    // count, final path, owner and access list. The handle reads the data and
    // shares only reading (a folder: reading and adding, never deleting or
    // renaming), so while it is open nobody can write, replace, delete or
    // rename the entry, and an entry someone holds that way already fails
    // with ERROR_SHARING_VIOLATION. The handle is the caller's to close;
    // INVALID_HANDLE_VALUE with facts.error when it could not be opened.
    // facts.error is also set when a read from the open handle failed.
    virtual HANDLE InspectEntry(const std::string& path, bool isFolder, EntryFacts& facts) = 0;
    // Opens path itself as InspectEntry does and gives it the owner and the
    // protected access list of descriptor through that handle. Refuses with
    // ERROR_CANT_RESOLVE_FILENAME, changing nothing, when the entry turns
    // out to be a reparse point or a file with a second name. False with
    // LastError().
    virtual bool SecureEntry(const std::string& path, bool isFolder, const std::vector<BYTE>& descriptor) = 0;

    // --- Tokens: the program's own ----------------------------------------------
    // The SID of the account the program runs as; empty when it cannot be read.
    virtual std::vector<BYTE> UserSid() = 0;
    // Turns the privilege (such as "SeShutdownPrivilege") on. False with
    // LastError() when the token cannot be opened (change.tokenOpened tells
    // that apart), the name is unknown (ERROR_NO_SUCH_PRIVILEGE), or the
    // token does not hold it (ERROR_NOT_ALL_ASSIGNED, which
    // AdjustTokenPrivileges itself reports as a success).
    virtual bool EnablePrivilege(const std::string& name, PrivilegeChange& change) = 0;
    // Turns it off again; false with LastError().
    virtual bool DisablePrivilege(const std::string& name) = 0;

    // --- Signatures and digests -------------------------------------------------
    // Verifies the embedded signature of the open file (name: its path, for
    // the verifier's own use) offline: nothing fetched, no revocation asked.
    virtual SignatureInfo VerifyEmbeddedSignature(HANDLE file, const std::string& name) = 0;
    // The same for the running program's own file.
    virtual SignatureInfo OwnSignature() = 0;
    // SHA-256 over the bytes fed in. HashBegin gives nullptr on failure; a
    // hash it gave must be ended by HashEnd on every way out (OsHash does).
    virtual Sha256Hash* HashBegin() = 0;
    virtual bool HashData(Sha256Hash* hash, const void* data, DWORD size) = 0;
    virtual bool HashFinish(Sha256Hash* hash, unsigned char (&digest)[32]) = 0;
    virtual void HashEnd(Sha256Hash* hash) = 0;

    // --- Registry and boot ------------------------------------------------------
    // This boot's identity: a random GUID ("{...}") kept in a volatile key of
    // HKLM, made by the first caller of the boot. A restart ends the key and
    // a clock change does not. Empty when it can be neither read nor made.
    virtual std::string BootIdentity() = 0;

    // --- Power: the battery, holding off sleep and the session's end, restart ---
    // False when the status cannot be read.
    virtual bool GetPowerStatus(SYSTEM_POWER_STATUS& status) = 0;
    // The previous state, 0 when refused.
    virtual EXECUTION_STATE SetThreadExecutionState(EXECUTION_STATE state) = 0;
    // False with LastError() when refused.
    virtual bool ShutdownBlockReasonCreate(HWND window, const std::wstring& reason) = 0;
    virtual bool ShutdownBlockReasonDestroy(HWND window) = 0;
    // Asks Windows to restart, as kind says, for the planned reason
    // (SHTDN_REASON_*). warnSeconds and message are the Forcing kind's
    // warning; Asking has none. Needs the shutdown privilege on; false with
    // LastError() when Windows refuses to start the restart.
    virtual bool Restart(RestartKind kind, DWORD reason, DWORD warnSeconds, const std::wstring& message) = 0;

    // --- Events: the Windows event log ------------------------------------------
    // Writes one event of the source "Kavelton" to the Application log:
    // type (EVENTLOG_INFORMATION_TYPE, ...), the message's ID and its inserts.
    // False when it could not be written.
    virtual bool WriteEvent(WORD type, DWORD id, const std::vector<std::wstring>& inserts) = 0;

    // --- Boxes and windows: message boxes, always without an owner window -------
    virtual int ShowMessage(const std::string& text, const std::string& title, UINT style) = 0;

    // --- Output: the command line's -----------------------------------------------
    // Writes to the program's standard output (inherited, or redirected to a
    // file), or else to the console of the program that started it; nowhere
    // when there is neither.
    virtual void WriteOutput(const std::string& text) = 0;

    // --- Time ---------------------------------------------------------------------
    virtual void Sleep(DWORD ms) = 0;
    virtual ULONGLONG TickCount() = 0;
    virtual void LocalTime(SYSTEMTIME& time) = 0;
    virtual void UtcTime(SYSTEMTIME& time) = 0;
};

// The one file read whole is System.txt, a line or two; anything this big
// is not that file, and is not read into memory.
constexpr std::uint64_t kMaxWholeFileBytes = 64 * 1024;

// The platform that handlers use; set once at start (tests install a fake).
Platform& Os();
void SetOs(Platform* platform);

// The real one.
Platform& Win32Os();

// A handle from the seam, closed through it on every way out. Both nullptr
// and INVALID_HANDLE_VALUE mean that there is none.
class OsHandle {
public:
    explicit OsHandle(HANDLE h = nullptr) : h_(h) {}
    ~OsHandle() { Close(); }
    OsHandle(const OsHandle&) = delete;
    OsHandle& operator=(const OsHandle&) = delete;

    void Reset(HANDLE h) {
        Close();
        h_ = h;
    }
    bool Valid() const { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return h_; }
    // Closes now. The handle is given up even when the close reports failure.
    bool Close() {
        if (!Valid()) return true;
        HANDLE h = h_;
        h_ = nullptr;
        return Os().CloseHandle(h);
    }

private:
    HANDLE h_;
};

// A library loaded through the seam by its full path, released on every way
// out.
class OsLibrary {
public:
    OsLibrary() : module_(nullptr) {}  // none: a library that was not loaded
    OsLibrary(const std::string& path, DWORD flags) : module_(Os().LoadLib(path, flags)) {}
    ~OsLibrary() { Release(); }
    OsLibrary(const OsLibrary&) = delete;
    OsLibrary& operator=(const OsLibrary&) = delete;
    HMODULE get() const { return module_; }
    FARPROC Find(const char* name) const { return module_ ? Os().GetProcAddress(module_, name) : nullptr; }
    void Release() {
        if (module_) Os().FreeLibrary(module_);
        module_ = nullptr;
    }

private:
    HMODULE module_;
};

// A running SHA-256 through the seam, ended on every way out; get() is null
// when none could be begun.
class OsHash {
public:
    OsHash() : hash_(Os().HashBegin()) {}
    ~OsHash() {
        if (hash_) Os().HashEnd(hash_);
    }
    OsHash(const OsHash&) = delete;
    OsHash& operator=(const OsHash&) = delete;
    Sha256Hash* get() const { return hash_; }

private:
    Sha256Hash* hash_;
};

// A function looked up in a library, as the type the caller expects.
template <typename F>
F ProcAs(FARPROC proc) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(proc));
}

}  // namespace kv
