// Kavelton without windows, for deployment tools: /check, /flash, /secure and
// /scan, which report through the exit code, standard output and the run log.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace kv {

// Exit codes of the unattended command line.
enum ExitCode : int {
    kExitMatches = 0,
    kExitBadArguments = 1,
    kExitBoardMismatch = 2,
    kExitBoardUnknown = 3,
    kExitImageRefused = 4,
    kExitPower = 5,
    kExitEncryption = 6,
    kExitFlasherNotStarted = 7,
    kExitFlasherFailed = 8,
    kExitNotNewer = 9,
    kExitFolderOpen = 10,
    kExitUpdateAvailable = 11,
    kExitReportNotWritten = 12,
    kExitFolderSecured = 13,  // /secure secured it now: its files are restored before the next run
    kExitSignatureRefused = 14,  // the flasher's signature or signer was refused
    kExitRestartNeeded = 3010,
    kExitRestartStarted = 1641,
};

// The words of a command line: blanks separate them, double quotes group.
std::vector<std::string> SplitArguments(const std::string& commandLine);

// The restart switch: "/restart" (a warning of the default length) or
// "/restart:SECONDS", 0 to 600 written in digits. False for any other word,
// which then is a bad argument.
bool RestartSwitch(const std::string& word, DWORD& seconds);

// The encryption switch: "/suspendencryption" (one restart) or
// "/suspendencryption:RESTARTS", 1 to 15. False for any other word.
bool EncryptionSwitch(const std::string& word, int& restarts);

// True when the program was started with arguments.
bool HasArguments(const std::string& commandLine);

// Runs the command the arguments name and returns its exit code.
int RunUnattended(const std::string& commandLine);

}  // namespace kv
