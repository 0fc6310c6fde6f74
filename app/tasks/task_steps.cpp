#include "tasks/task_steps.h"

#include <vector>

#include "checks/folder_trust.h"
#include "checks/image_checksum.h"
#include "commands.h"
#include "common/install_paths.h"
#include "common/privileges.h"
#include "common/run_log.h"
#include "forms.h"
#include "tasks/catalogue.h"
#include "tasks/restart.h"

namespace kv {
namespace {

constexpr DWORD kPollMs = 100;

}  // namespace

void TaskSteps::Error(const std::string& text) const { dialogue_.Tell(text, errorTitle_, MB_ICONERROR); }

void TaskSteps::Refuse(const char* check, const std::string& text) const {
    Error(text);
    EventRefused(errorTitle_, check, dialogue_);
}

bool TaskSteps::ImageReady(const std::string& image) const {
    Log(std::string(errorTitle_) + ": image " + image);
    std::vector<FolderEntry> entries;
    // A short 8.3 alias finds the file under its long name: only the name
    // itself counts, as the batch files and the flasher will use it.
    if (Os().ListFolder(RomPath(image), 0x3F, entries)) {
        for (const FolderEntry& entry : entries) {
            if ((entry.attributes & FILE_ATTRIBUTE_DIRECTORY) || !core::EqualIgnoringCase(entry.name, image))
                continue;
            // Put there since the start, or with an access list of its own;
            // held from here, so that what is hashed is what gets used.
            if (!Hold(RomPath(image), "The BIOS file " + image)) return false;
            if (CheckImageChecksum(image, errorTitle_, dialogue_)) return true;
            EventRefused(errorTitle_, "checksum", dialogue_);
            return false;
        }
    }
    Refuse("BIOS file", "The BIOS file " + image + " is not in C:\\KAVELTON\\ROM!\nPlease select a BIOS file from the list.");
    return false;
}

bool TaskSteps::VersionAccepted(bool equalCaseQuestion, const std::string& runningVersion,
                              const std::string& image) const {
    const bool accepted = CheckImageVersion(equalCaseQuestion, runningVersion, image, dialogue_);
    Log(std::string(errorTitle_) + ": version \"" + runningVersion + "\" against " + image + ": " +
        (accepted ? "go on" : "stopped"));
    if (!accepted) EventRefused(errorTitle_, "version", dialogue_);
    return accepted;
}

bool TaskSteps::Hold(const std::string& path, const std::string& what, bool missingIsFine, HANDLE* handle) const {
    if (handle) *handle = nullptr;
    HeldFile held(path);
    if (held.missing() && missingIsFine) return true;
    if (const auto& open = held.open()) {
        Log(std::string(errorTitle_) + ": not used: " + open->path + ": " + open->who);
        Refuse("install folder", what + " can be changed by users other than administrators: " + open->who +
                                     (open->path != path ? " (" + open->path + ")" : std::string()) +
                                     ".\nIt is not used. Please secure the folder C:\\KAVELTON and check the file.");
        return false;
    }
    if (handle) *handle = held.handle();
    held_.push_back(std::move(held));
    return true;
}

bool TaskSteps::StartBatch(const std::string& batchName, const std::string& commandLine, OsHandle& process,
                           BatchRights rights) const {
    HANDLE started = nullptr;
    // By its full path: a bare name would be looked for in the system
    // folders and on PATH too, when it is missing here.
    const std::string line = "\"" + InstallPath(batchName) + "\"" + commandLine.substr(batchName.size());
    const bool asUser = rights == BatchRights::StandardUser;
    if (!Hold(InstallPath(batchName), batchName, true)) return false;
    Log(std::string(errorTitle_) + ": start " + line + (asUser ? " as a standard user" : ""));
    DWORD error = ERROR_SUCCESS;
    bool ok = false;
    if (!asUser) {
        ok = Os().StartProcess("", line, SW_HIDE, kInstallFolder, &started);
    } else {
        // Never with our own rights instead: without the user's, nothing runs.
        UserRights user;
        if (StandardUserRights(user))
            ok = Os().StartAsStandardUser(user, line, kInstallFolder, &started);
        else
            error = ERROR_INVALID_SID;
    }
    if (!ok) {
        if (error == ERROR_SUCCESS) error = Os().LastError();
        Error(batchName + " could not be started" + (asUser ? " with a standard user's rights" : "") + " (error " +
              std::to_string(error) + ").\nThe BIOS file was not copied.");
        EventNotStarted(errorTitle_, batchName, error, dialogue_);
        return false;
    }
    process.Reset(started);
    return true;
}

bool TaskSteps::BatchSucceeded(const std::string& batchName, OsHandle& process) const {
    // The box, and the event that carries the same words.
    auto failed = [&](const std::string& code, const std::string& text) {
        Error(text);
        EventFailed(errorTitle_, batchName, code, text, dialogue_);
        return false;
    };
    const ULONGLONG deadline = Os().TickCount() + kBatchGraceMs;
    for (;;) {
        const DWORD wait = Os().WaitForProcess(process.get(), kPollMs);
        if (wait == WAIT_OBJECT_0) break;
        if (wait != WAIT_TIMEOUT) {
            return failed("", batchName + " could not be watched (error " + std::to_string(Os().LastError()) +
                                  ").\nCheck the BIOS file on the drive before you use it.");
        }
        if (Os().TickCount() >= deadline) {
            // Left running: stopping a copy halfway would not make it better.
            return failed("", batchName + " has not finished after 2 minutes.\nCheck the BIOS file on the "
                                          "drive before you use it.");
        }
        ui::app::ProcessPaintAndTimers();
    }
    DWORD code = 0;
    if (!Os().ProcessExitCode(process.get(), &code)) {
        return failed("", batchName + " ended, but its result can not be read (error " +
                              std::to_string(Os().LastError()) +
                              ").\nCheck the BIOS file on the drive before you use it.");
    }
    process.Close();
    Log(std::string(errorTitle_) + ": " + batchName + " ended with exit code " + std::to_string(code));
    if (code != 0) {
        return failed(std::to_string(code),
                      batchName + " failed with exit code " + std::to_string(code) + ".\nThe BIOS file was not copied.");
    }
    return true;
}

bool TaskSteps::RestartAccepted(const char* text, const char* title, const std::string& image) const {
    if (!dialogue_.Ask(Question::Restart, text, title, MB_ICONQUESTION)) return false;
    return RestartForUpdate(image, dialogue_, RestartBy::Gui) == RestartOutcome::Started;
}

}  // namespace kv
