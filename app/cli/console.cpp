#include "cli/console.h"

#include "common/exit_codes.h"
#include "common/run_log.h"
#include "platform.h"

namespace kv {

void Note(const std::string& text) { Log("Unattended: " + text); }

void Say(const std::string& text) {
    Note(text);
    std::string line;
    for (char c : text) {
        if (c == '\n') line += '\r';
        line += c;
    }
    Os().WriteOutput(line + "\r\n");
}

void SwitchAnswers::OnTell(const std::string& text, const std::string& title, UINT) { speak_(title + ": " + text); }

bool SwitchAnswers::OnAsk(Question which, const std::string& text, const std::string& title, UINT) {
    bool yes = false;
    switch (which) {
    case Question::Version:
    case Question::LowBattery:
    case Question::EncryptionUnknown:
        yes = options_.force;
        break;
    case Question::SuspendEncryption:
        yes = options_.suspendEncryption;
        break;
    // Never /force: it answers the questions about this flash, and would
    // make a forced downgrade flash again on every run until a restart.
    case Question::FlashAgain:
        yes = options_.reflash;
        break;
    case Question::Restart:  // only /restart restarts, and only after the flash
    case Question::InsertUsbKey:
    case Question::FormatDiskette:
    case Question::SecureFolder:
        break;
    }
    speak_(title + ": " + text + (yes ? " -> Yes" : " -> No"));
    return yes;
}

BoardState SpeakBoard(const SystemInfo& info, Speaker speak, std::string* systemId) {
    speak("BIOS maker: " + info.maker + "\nBIOS version: " + info.version + "\nBIOS date: " + info.date +
          "\nProduct: " + info.product);
    if (!info.read) {
        speak("The board cannot be told: the system information cannot be read.");
        return BoardState::CannotTell;
    }
    switch (CheckBoard(info.board, systemId)) {
    case BoardCheck::Matches:
        speak("The board matches System.txt.");
        return BoardState::Matches;
    case BoardCheck::DoesNotMatch:
        speak("The board " + info.board + " does not match System.txt.");
        return BoardState::DoesNotMatch;
    case BoardCheck::NoSystemId:
        break;
    }
    speak("The board cannot be told: C:\\KAVELTON\\System.txt cannot be read.");
    return BoardState::CannotTell;
}

int BoardExitCode(BoardState state) {
    switch (state) {
    case BoardState::Matches:
        return kExitSuccess;
    case BoardState::DoesNotMatch:
        return kExitBoardMismatch;
    case BoardState::CannotTell:
        break;
    }
    return kExitBoardUnknown;
}

}  // namespace kv
