#include "cli/unattended.h"

#include <windows.h>

#include <memory>

#include "checks/folder_trust.h"
#include "checks/system_info.h"
#include "cli/console.h"
#include "cli/scan.h"
#include "commands.h"
#include "common/dialogue.h"
#include "common/events.h"
#include "common/install_paths.h"
#include "common/run_log.h"
#include "flash/flash_procedure.h"
#include "forms.h"
#include "platform.h"
#include "tasks/catalogue.h"
#include "tasks/restart.h"
#include "tasks/update_result.h"

namespace kv {
namespace {

const char kUsage[] =
    "Usage: Kavelton.exe /check\n"
    "       Kavelton.exe /secure\n"
    "       Kavelton.exe /flash IMAGE [/force] [/reflash] [/suspendencryption[:RESTARTS]] [/restart[:SECONDS]]\n"
    "       Kavelton.exe /scan [/report FILE]\n"
    "       Kavelton.exe /?\n"
    "Run from an elevated prompt with start /wait, or from a deployment tool.";

// The hidden top-level window that holds the shutdown block while the
// flasher runs.
class HoldWindow : public ui::TForm {
public:
    HoldWindow() : TForm(Style(), nullptr) {}

private:
    static ui::FormStyle Style() { return {"TKaveltonHold", "Kavelton BIOS update", 0, 0, 1, 1}; }
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
    EventFolder(false, DescribeOpenEntries(open));
    return false;
}

// 0 when the folder and the images were secure already, nothing changed; 13
// when they are secured now, and then nothing of them is used in this run,
// the log included; 10 when they could not be.
int SecureFolder() {
    // The walk takes in the images too: a task refuses one that others can
    // change and sends its user here.
    std::vector<OpenEntry> open = FindOpenEntries();
    if (open.empty()) {
        ReleaseRunLog();
        Say(std::string(kInstallFolder) + " is secure: only administrators can change it.");
        return kExitMatches;
    }
    const DWORD error = SecureInstallFolder();
    open = FindOpenEntries();
    if (!open.empty()) {
        Say(std::string(kInstallFolder) + " could not be secured" +
            (error ? " (error " + std::to_string(error) + ")" : std::string()) + "; still open:\n" +
            DescribeOpenEntries(open) + (error == kLinksRefused ? "\n" + std::string(kRemoveLinks) : std::string()));
        EventFolder(false, DescribeOpenEntries(open));
        return kExitFolderOpen;
    }
    EventFolder(true, "");
    Say(std::string(kInstallFolder) + " secured now; restore these files, then run Kavelton again:\n" + RestoreList() +
        "\nTo restore them, " + kRestoreHow + ".");
    return kExitFolderSecured;
}

// A record of an earlier boot is judged now, by whichever command runs first.
void SayLastUpdate(const std::string& runningVersion) {
    if (const auto judged = JudgeLastUpdate(runningVersion))
        Say(std::string("Last BIOS update: ") + JudgementName(judged->result) + "\n" + judged->text);
}

// Says what ended the flash after the flasher ran, and writes its event.
void Failed(const Dialogue& answers, const std::string& code, const std::string& text) {
    Say(text);
    EventFailed(kFlashTitle, kFlasherExe, code, text, answers);
}

// started: set once the flasher runs, for an exception after that.
int Flash(const FlashOptions& options, bool& started) {
    SwitchAnswers answers(options);
    Os().SetCurrentDir(kInstallFolder);
    const SystemInfo info = ReadSystemInfo(answers);
    if (const int board = BoardExit(info, Say); board != kExitMatches) return board;
    SayLastUpdate(info.version);

    HoldWindow window;
    FlashStart start =
        StartFlash({options.image, info.version, BoardCheck::Matches, options.encryptionRestarts}, answers, window);
    switch (start.refused) {
    case FlashStep::None:
        break;
    case FlashStep::Board:
        return kExitBoardUnknown;
    case FlashStep::Pending:
        return kExitRestartNeeded;
    case FlashStep::Name:
    case FlashStep::Image:
        return kExitImageRefused;
    case FlashStep::Signature:
        return kExitSignatureRefused;
    case FlashStep::Version:
        return kExitNotNewer;
    case FlashStep::Power:
        return kExitPower;
    case FlashStep::Encryption:
        return kExitEncryption;
    case FlashStep::InProgress:
        return kExitFlasherNotStarted;
    case FlashStep::Start:
        Say(core::FlasherCommand(options.image) + " could not be started (error " +
            std::to_string(start.startError) + ").");
        return kExitFlasherNotStarted;
    }
    started = true;
    Say("Started " + core::FlasherCommand(options.image));
    DWORD code = 0;
    const FlashResult result = FinishFlash(*start.flash, &code);
    // Its hold and the mutex end with it, before any restart.
    start.flash.reset();
    switch (result) {
    case FlashResult::Unknown:
        Failed(answers, "", "The result of WinFlash64.exe cannot be read: read its own messages before you restart.");
        return kExitFlasherFailed;
    case FlashResult::Failed:
        Failed(answers, std::to_string(code), "WinFlash64.exe ended with exit code " + std::to_string(code) + ".");
        return kExitFlasherFailed;
    case FlashResult::Succeeded:
        break;
    }
    Say("WinFlash64.exe ended with exit code 0.");
    RecordPendingUpdate(options.image, info.version);
    if (!options.restart) {
        Say("Flashed: restart the system to finish the update.");
        EventFlashed(options.image, false, answers);
        return kExitRestartNeeded;
    }
    const RestartOutcome restart =
        RestartForUpdate(options.image, answers, RestartBy::Unattended, options.restartSeconds);
    EventFlashed(options.image, restart == RestartOutcome::Started, answers);
    switch (restart) {
    case RestartOutcome::Started:
        Say("Flashed: the system restarts in " + std::to_string(options.restartSeconds) + " seconds.");
        return kExitRestartStarted;
    case RestartOutcome::Refused:
        return kExitRestartNeeded;
    case RestartOutcome::Failed:
        break;
    }
    Say("Flashed, but the restart could not be started: restart the system to finish the update.");
    return kExitRestartNeeded;
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

namespace {

// A switch with an optional count: name alone gives fallback, name:DIGITS
// their value from least to most. False for any other word, a bad count
// included. No more digits than most has are read, so none can overflow.
bool CountedSwitch(const std::string& word, const std::string& name, DWORD fallback, DWORD least, DWORD most,
                   DWORD& value) {
    if (word.size() < name.size() || !core::EqualIgnoringCase(word.substr(0, name.size()), name)) return false;
    if (word.size() == name.size()) {
        value = fallback;
        return true;
    }
    const std::string digits = word.substr(name.size() + 1);
    if (word[name.size()] != ':' || digits.empty() || digits.size() > std::to_string(most).size()) return false;
    DWORD n = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + static_cast<DWORD>(c - '0');
    }
    if (n < least || n > most) return false;
    value = n;
    return true;
}

}  // namespace

bool RestartSwitch(const std::string& word, DWORD& seconds) {
    return CountedSwitch(word, "/restart", kRestartWarningSeconds, 0, kMaxRestartWarningSeconds, seconds);
}

bool EncryptionSwitch(const std::string& word, int& restarts) {
    // 1 to 15, as Windows limits a counted suspension; 0 would mean until
    // someone resumes it.
    DWORD value = 0;
    if (!CountedSwitch(word, "/suspendencryption", 1, 1, 15, value)) return false;
    restarts = static_cast<int>(value);
    return true;
}

bool HasArguments(const std::string& commandLine) { return !SplitArguments(commandLine).empty(); }

int RunUnattended(const std::string& commandLine) {
    const std::vector<std::string> words = SplitArguments(commandLine);
    // Written only once the folder is known to be secure.
    HoldRunLog();
    Log("Unattended: Kavelton.exe " + commandLine);
    EventCommandLine(commandLine);
    if (words.size() == 1 && (core::EqualIgnoringCase(words[0], "/?") || core::EqualIgnoringCase(words[0], "-?"))) {
        Say(kUsage);
        return kExitMatches;
    }
    if (words.size() == 1 && core::EqualIgnoringCase(words[0], "/secure")) return SecureFolder();
    if (words.size() == 1 && core::EqualIgnoringCase(words[0], "/check")) {
        if (!FolderTrusted()) return kExitFolderOpen;
        Os().SetCurrentDir(kInstallFolder);
        SwitchAnswers answers;
        const SystemInfo info = ReadSystemInfo(answers);
        const int board = BoardExit(info, Say);
        if (const auto pending = PendingUpdate()) {
            Say(PendingText(*pending));
            return kExitRestartNeeded;
        }
        SayLastUpdate(info.version);
        return board;
    }
    if (!words.empty() && core::EqualIgnoringCase(words[0], "/scan")) {
        const bool report = words.size() == 3 && core::EqualIgnoringCase(words[1], "/report") &&
                            !words[2].empty() && words[2][0] != '/';
        if (words.size() == 1 || report) return Scan(report ? words[2] : std::string());
    }
    if (!words.empty() && core::EqualIgnoringCase(words[0], "/flash")) {
        FlashOptions options;
        bool usable = words.size() >= 2 && !words[1].empty() && words[1][0] != '/';
        if (usable) options.image = words[1];
        for (std::size_t i = 2; usable && i < words.size(); ++i) {
            if (core::EqualIgnoringCase(words[i], "/force"))
                options.force = true;
            else if (core::EqualIgnoringCase(words[i], "/reflash"))
                options.reflash = true;
            else if (EncryptionSwitch(words[i], options.encryptionRestarts))
                options.suspendEncryption = true;
            else if (RestartSwitch(words[i], options.restartSeconds))
                options.restart = true;
            else
                usable = false;
        }
        if (usable) {
            if (!FolderTrusted()) return kExitFolderOpen;
            bool started = false;
            try {
                return Flash(options, started);
            } catch (const std::exception& e) {
                // Once the flasher runs, nothing here can say it did not.
                if (!started) {
                    Say(std::string("Stopped: ") + e.what());
                    return kExitFlasherNotStarted;
                }
                Failed(SwitchAnswers(), "", std::string("Stopped: ") + e.what());
                return kExitFlasherFailed;
            }
        }
    }
    Say("Unknown or missing arguments: " + commandLine + "\n" + kUsage);
    return kExitBadArguments;
}

}  // namespace kv
