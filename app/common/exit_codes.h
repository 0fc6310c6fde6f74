// The exit codes of the command line. The flash's outcomes map onto them in
// one table (flash/flash_outcome.h), which the dialog shares for its texts.
#pragma once

namespace kv {

enum ExitCode : int {
    // The command did what it was asked: for /check and /scan, the board
    // matches and nothing is waiting to be done.
    kExitSuccess = 0,
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
    kExitFolderSecured = 13,     // /secure secured it now: its files are restored before the next run
    kExitSignatureRefused = 14,  // the flasher's signature or signer was refused
    kExitRestartNeeded = 3010,
    kExitRestartStarted = 1641,
};

}  // namespace kv
