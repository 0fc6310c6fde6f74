#include "cli/unattended.h"

#include <windows.h>

#include <memory>
#include <optional>

#include "checks/folder_trust.h"
#include "checks/system_info.h"
#include "cli/console.h"
#include "cli/scan.h"
#include "commands.h"
#include "common/dialogue.h"
#include "common/events.h"
#include "common/install_paths.h"
#include "common/run_log.h"
#include "flash/flash_outcome.h"
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
        return kExitSuccess;
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
    if (const BoardState board = SpeakBoard(info, Say); board != BoardState::Matches) return BoardExitCode(board);
    SayLastUpdate(info.version);

    HoldWindow window;
    FlashStart start =
        StartFlash({options.image, info.version, BoardCheck::Matches, options.encryptionRestarts}, answers, window);
    if (start.refused == FlashStep::Start) Say(StartFailureText(options.image, start.startError));
    if (start.refused != FlashStep::None) return RefusalExitCode(start.refused);
    started = true;
    Say("Started " + core::FlasherCommand(options.image));
    DWORD code = 0;
    const FlashResult result = FinishFlash(*start.flash, &code);
    // Its hold and the mutex end with it, before any restart.
    start.flash.reset();
    const FlasherEnd end = DescribeFlasherEnd(result, code);
    if (result != FlashResult::Succeeded) {
        Failed(answers, end.eventCode, end.said);
        return end.exitCode;
    }
    Say(end.said);
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

namespace {

using Words = std::vector<std::string>;

bool Is(const std::string& word, const char* name) { return core::EqualIgnoringCase(word, name); }

// A file or image named on the line; a word that starts with '/' is a switch.
bool IsName(const std::string& word) { return !word.empty() && word[0] != '/'; }

// Each handler gets the words after its command; nullopt when they are not
// its arguments, which is the command line's one usage error.
std::optional<int> Usage(const Words& args) {
    if (!args.empty()) return std::nullopt;
    Say(kUsage);
    return kExitSuccess;
}

std::optional<int> Secure(const Words& args) {
    if (!args.empty()) return std::nullopt;
    return SecureFolder();
}

std::optional<int> Check(const Words& args) {
    if (!args.empty()) return std::nullopt;
    if (!FolderTrusted()) return kExitFolderOpen;
    Os().SetCurrentDir(kInstallFolder);
    SwitchAnswers answers;
    const SystemInfo info = ReadSystemInfo(answers);
    const BoardState board = SpeakBoard(info, Say);
    if (const auto pending = PendingUpdate()) {
        Say(PendingText(*pending));
        return kExitRestartNeeded;
    }
    SayLastUpdate(info.version);
    return BoardExitCode(board);
}

std::optional<int> ScanCommand(const Words& args) {
    if (args.empty()) return Scan(std::string());
    if (args.size() == 2 && Is(args[0], "/report") && IsName(args[1])) return Scan(args[1]);
    return std::nullopt;
}

// The switches of /flash, each the answer to one of its questions: true
// when the word is this switch, read into options.
bool ForceSwitch(const std::string& word, FlashOptions& options) {
    if (!Is(word, "/force")) return false;
    options.force = true;
    return true;
}

bool ReflashSwitch(const std::string& word, FlashOptions& options) {
    if (!Is(word, "/reflash")) return false;
    options.reflash = true;
    return true;
}

bool SuspendSwitch(const std::string& word, FlashOptions& options) {
    if (!EncryptionSwitch(word, options.encryptionRestarts)) return false;
    options.suspendEncryption = true;
    return true;
}

bool RestartAfterSwitch(const std::string& word, FlashOptions& options) {
    if (!RestartSwitch(word, options.restartSeconds)) return false;
    options.restart = true;
    return true;
}

using SwitchReader = bool (*)(const std::string& word, FlashOptions& options);
const SwitchReader kFlashSwitches[] = {ForceSwitch, ReflashSwitch, SuspendSwitch, RestartAfterSwitch};

std::optional<FlashOptions> FlashArguments(const Words& args) {
    if (args.empty() || !IsName(args[0])) return std::nullopt;
    FlashOptions options;
    options.image = args[0];
    for (std::size_t i = 1; i < args.size(); ++i) {
        bool known = false;
        for (const SwitchReader read : kFlashSwitches) known = known || read(args[i], options);
        if (!known) return std::nullopt;
    }
    return options;
}

std::optional<int> FlashCommand(const Words& args) {
    const std::optional<FlashOptions> options = FlashArguments(args);
    if (!options) return std::nullopt;
    if (!FolderTrusted()) return kExitFolderOpen;
    bool started = false;
    try {
        return Flash(*options, started);
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

struct Command {
    const char* name;
    std::optional<int> (*run)(const Words& args);
};

const Command kCommands[] = {
    {"/?", Usage},        {"-?", Usage},           {"/secure", Secure},
    {"/check", Check},    {"/scan", ScanCommand}, {"/flash", FlashCommand},
};

}  // namespace

int RunUnattended(const std::string& commandLine) {
    const Words words = SplitArguments(commandLine);
    // Written only once the folder is known to be secure.
    HoldRunLog();
    Log("Unattended: Kavelton.exe " + commandLine);
    EventCommandLine(commandLine);
    for (const Command& command : kCommands) {
        if (words.empty() || !Is(words[0], command.name)) continue;
        if (const std::optional<int> code = command.run(Words(words.begin() + 1, words.end()))) return *code;
        break;
    }
    Say("Unknown or missing arguments: " + commandLine + "\n" + kUsage);
    return kExitBadArguments;
}

}  // namespace kv
