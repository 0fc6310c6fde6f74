// How the command line speaks. Every line goes to the run log; the commands
// that report in words also print it, while /scan keeps its standard output
// for its report alone and only logs.
#pragma once

#include <windows.h>

#include <string>

#include "checks/system_info.h"
#include "common/dialogue.h"

namespace kv {

using Speaker = void (*)(const std::string& text);

// Logged and printed.
void Say(const std::string& text);
// Logged only.
void Note(const std::string& text);

struct FlashOptions {
    std::string image;
    bool force = false, suspendEncryption = false, restart = false;
    bool reflash = false;          // flash although a flashed update waits for its restart
    int encryptionRestarts = 1;    // how many restarts drive encryption stays suspended for
    DWORD restartSeconds = 0;  // the warning before the restart
};

// The boxes a run would show are spoken, and each question is answered by
// the switch that stands for it.
class SwitchAnswers final : public Dialogue {
public:
    explicit SwitchAnswers(const FlashOptions& options = {}, Speaker speak = Say)
        : options_(options), speak_(speak) {}
    const char* Where() const override { return "from the command line"; }

protected:
    void OnTell(const std::string& text, const std::string& title, UINT) override;
    bool OnAsk(Question which, const std::string& text, const std::string& title, UINT) override;

private:
    FlashOptions options_;
    Speaker speak_;
};

// The board as the command line tells it: against System.txt, once the
// system information could be read.
enum class BoardState { Matches, DoesNotMatch, CannotTell };

// Speaks the system information and the board's state. systemId receives
// System.txt's ID once it was read.
BoardState SpeakBoard(const SystemInfo& info, Speaker speak, std::string* systemId = nullptr);

// The exit code a command gives for a board that does not match or cannot be
// told; kExitSuccess for one that matches.
int BoardExitCode(BoardState state);

}  // namespace kv
