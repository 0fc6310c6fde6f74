// Kavelton without windows, for deployment tools: /check, /flash, /secure and
// /scan, which report through the exit code, standard output and the run log.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "common/exit_codes.h"

namespace kv {

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
