#include "unattended.h"

#include <windows.h>

#include <memory>

#include "Mywindows.h"
#include "commands.h"
#include "flash_checks.h"
#include "flash_hold.h"
#include "folder_trust.h"
#include "forms.h"
#include "images.h"
#include "install_paths.h"
#include "platform.h"
#include "restart.h"
#include "run_log.h"
#include "system_info.h"
#include "task_run.h"
#include "update_result.h"

namespace kv {
namespace {

const char kFlashTitle[] = "Flash BIOS in windows";
const char kUsage[] =
    "Usage: Kavelton.exe /check\n"
    "       Kavelton.exe /secure\n"
    "       Kavelton.exe /flash IMAGE [/force] [/suspendencryption] [/restart]\n"
    "       Kavelton.exe /?\n"
    "Run from an elevated prompt with start /wait, or from a deployment tool.";

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

void Say(const std::string& text) {
    Log("Unattended: " + text);
    HANDLE out = Output();
    if (out == INVALID_HANDLE_VALUE) return;
    std::string line;
    for (char c : text) {
        if (c == '\n') line += '\r';
        line += c;
    }
    line += "\r\n";
    DWORD written = 0;
    ::WriteFile(out, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

// The answers the switches give to the questions a step asks.
bool g_answerYes = false;
int g_questions = 0;

int Answer(const std::string& text, const std::string& title, UINT style) {
    const bool question = (style & MB_TYPEMASK) == MB_YESNO;
    if (question) ++g_questions;
    const bool yes = question && g_answerYes;
    Say(title + ": " + text + (question ? (yes ? " -> Yes" : " -> No") : ""));
    return question ? (yes ? IDYES : IDNO) : IDOK;
}

// The hidden top-level window that holds the shutdown block while the
// flasher runs.
class HoldWindow : public ui::TForm {
public:
    HoldWindow() : TForm(Style(), nullptr) {}

private:
    static ui::FormStyle Style() { return {"TKaveltonHold", "Kavelton BIOS update", 0, 0, 1, 1}; }
};

struct FlashOptions {
    std::string image;
    bool force = false, suspendEncryption = false, restart = false;
};

// Nothing of the folder is loaded, run or believed while others can change it.
bool FolderTrusted() {
    const std::vector<OpenEntry> open = FindOpenEntries();
    if (open.empty()) {
        ReleaseRunLog();
        return true;
    }
    Say(std::string(kInstallFolder) + " is open to users other than administrators; nothing was loaded or started:\n" +
        DescribeOpenEntries(open) + "\nRun Kavelton.exe /secure as administrator to secure it.");
    return false;
}

int SecureFolder() {
    const DWORD error = SecureInstallFolder();
    const std::vector<OpenEntry> open = FindOpenEntries();
    if (!open.empty()) {
        Say(std::string(kInstallFolder) + " could not be secured" +
            (error ? " (error " + std::to_string(error) + ")" : std::string()) + "; still open:\n" +
            DescribeOpenEntries(open));
        return kExitFolderOpen;
    }
    ReleaseRunLog();
    Say(std::string(kInstallFolder) + " is secure: only administrators can change it.");
    return kExitMatches;
}

int BoardExit(const SystemInfo& info) {
    Say("BIOS maker: " + info.maker + "\nBIOS version: " + info.version + "\nBIOS date: " + info.date +
        "\nProduct: " + info.product);
    if (!info.read) {
        Say("The board cannot be told: the system information cannot be read.");
        return kExitBoardUnknown;
    }
    switch (CheckBoard(info.board)) {
    case BoardCheck::Matches:
        Say("The board matches System.txt.");
        return kExitMatches;
    case BoardCheck::DoesNotMatch:
        Say("The board " + info.board + " does not match System.txt.");
        return kExitBoardMismatch;
    case BoardCheck::NoSystemId:
        break;
    }
    Say("The board cannot be told: C:\\KAVELTON\\System.txt cannot be read.");
    return kExitBoardUnknown;
}

int Flash(const FlashOptions& options) {
    Os().SetCurrentDir(kInstallFolder);
    const SystemInfo info = ReadSystemInfo();
    if (const int board = BoardExit(info); board != kExitMatches) return board;

    const std::string& image = options.image;
    const TaskRun run(kFlashTitle);
    if (image.size() > kMaxTypedImageName || !core::IsPlainImageName(image)) {
        Say("The BIOS file name " + image + " can not be used: it must be a plain file name of C:\\KAVELTON\\ROM.");
        return kExitImageRefused;
    }
    if (!run.ImageReady(image)) return kExitImageRefused;

    const core::VersionOrder order = core::CompareImageVersion(info.version, image);
    if (order != core::VersionOrder::ImageNewer) {
        const char* what = order == core::VersionOrder::Unknown ? "cannot be compared with"
                                                                : "is not newer than";
        Say(image + " " + what + " the running BIOS version " + info.version +
            (options.force ? "; going on as /force asks." : "; give /force to flash it all the same."));
        if (!options.force) return kExitNotNewer;
    }

    g_answerYes = options.force;
    if (!CheckPower()) return kExitPower;

    // A second flasher beside a running one can leave the board unbootable.
    if (FlasherRunning()) {
        Say("A BIOS flash is in progress, or the running programs cannot be listed: nothing was started.");
        return kExitFlasherNotStarted;
    }

    g_answerYes = options.suspendEncryption;
    g_questions = 0;
    DriveEncryption encryption;
    if (!encryption.Check(SystemDrive())) return kExitEncryption;
    // Asked, answered Yes and nothing suspended: the state could not be told.
    if (g_questions > 0 && !encryption.Suspended() && !options.force) {
        Say("Whether drive encryption protects the system drive cannot be told; give /force to flash all the same.");
        return kExitEncryption;
    }
    g_answerYes = false;

    HoldWindow window;
    FlashHold hold(window);
    const std::string command = core::FlasherCommand(image);
    HANDLE started = nullptr;
    if (!Os().StartProcess(kFlasherPath, command, SW_SHOW, kInstallFolder, &started)) {
        Say(command + " could not be started (error " + std::to_string(Os().LastError()) + ").");
        encryption.Resume();
        return kExitFlasherNotStarted;
    }
    OsHandle flasher(started);
    Say("Started " + command);
    DWORD wait = WAIT_TIMEOUT;
    while ((wait = Os().WaitForProcess(flasher.get(), 100)) == WAIT_TIMEOUT)
        ui::app::ProcessPaintAndTimers();  // also answers the session's end
    DWORD code = 0;
    if (wait != WAIT_OBJECT_0 || !Os().ProcessExitCode(flasher.get(), &code)) {
        Say("The result of WinFlash64.exe cannot be read: read its own messages before you restart.");
        return kExitFlasherFailed;
    }
    Say("WinFlash64.exe ended with exit code " + std::to_string(code) + ".");
    if (code != 0) {
        encryption.Resume();
        return kExitFlasherFailed;
    }
    if (!options.restart) {
        Say("Flashed: restart the system to finish the update.");
        return kExitRestartNeeded;
    }
    RecordUpdate(image);
    Say("Flashed: restarting the system.");
    RestartSystem();
    return kExitRestartStarted;
}

}  // namespace

std::vector<std::string> SplitArguments(const std::string& commandLine) {
    std::vector<std::string> words;
    std::string word;
    bool quoted = false, inWord = false;
    for (char c : commandLine) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (!quoted && (c == ' ' || c == '\t')) {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) words.push_back(word);
    return words;
}

bool HasArguments(const std::string& commandLine) { return !SplitArguments(commandLine).empty(); }

int RunUnattended(const std::string& commandLine) {
    const std::vector<std::string> words = SplitArguments(commandLine);
    SetMessageAnswerer(Answer);
    // Written only once the folder is known to be secure.
    HoldRunLog();
    Log("Unattended: Kavelton.exe " + commandLine);
    if (words.size() == 1 && (core::EqualIgnoringCase(words[0], "/?") || core::EqualIgnoringCase(words[0], "-?"))) {
        Say(kUsage);
        return kExitMatches;
    }
    if (words.size() == 1 && core::EqualIgnoringCase(words[0], "/secure")) return SecureFolder();
    if (words.size() == 1 && core::EqualIgnoringCase(words[0], "/check")) {
        if (!FolderTrusted()) return kExitFolderOpen;
        Os().SetCurrentDir(kInstallFolder);
        return BoardExit(ReadSystemInfo());
    }
    if (!words.empty() && core::EqualIgnoringCase(words[0], "/flash")) {
        FlashOptions options;
        bool usable = words.size() >= 2 && !words[1].empty() && words[1][0] != '/';
        if (usable) options.image = words[1];
        for (std::size_t i = 2; usable && i < words.size(); ++i) {
            if (core::EqualIgnoringCase(words[i], "/force"))
                options.force = true;
            else if (core::EqualIgnoringCase(words[i], "/suspendencryption"))
                options.suspendEncryption = true;
            else if (core::EqualIgnoringCase(words[i], "/restart"))
                options.restart = true;
            else
                usable = false;
        }
        if (usable) {
            if (!FolderTrusted()) return kExitFolderOpen;
            try {
                return Flash(options);
            } catch (const std::exception& e) {
                Say(std::string("Stopped: ") + e.what());
                return kExitFlasherNotStarted;
            }
        }
    }
    Say("Unknown or missing arguments: " + commandLine + "\n" + kUsage);
    return kExitBadArguments;
}

}  // namespace kv
