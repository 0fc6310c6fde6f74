#include "cli/scan.h"

#include <windows.h>

#include <nlohmann/json.hpp>

#include "checks/folder_trust.h"
#include "checks/image_checksum.h"
#include "checks/signature.h"
#include "checks/system_info.h"
#include "cli/console.h"
#include "common/exit_codes.h"
#include "common/events.h"
#include "common/file_replace.h"
#include "common/install_paths.h"
#include "common/run_log.h"
#include "text.h"
#include "images.h"
#include "platform.h"
#include "tasks/catalogue.h"
#include "tasks/update_result.h"

namespace kv {
namespace {

// Keys keep the order they are written in, so that a person can read it.
using Json = nlohmann::ordered_json;

const char* OrderText(core::VersionOrder order) {
    switch (order) {
    case core::VersionOrder::ImageNewer:
        return "newer";
    case core::VersionOrder::Equal:
        return "equal";
    case core::VersionOrder::ImageOlder:
        return "older";
    case core::VersionOrder::Unknown:
        break;
    }
    return "unknown";
}

const char* ChecksumText(ChecksumState state) {
    switch (state) {
    case ChecksumState::Ok:
        return "ok";
    case ChecksumState::NoList:
        return "noList";
    case ChecksumState::ListUnreadable:
    case ChecksumState::ListEmpty:
    case ChecksumState::ListMalformed:
        return "listUnusable";
    case ChecksumState::NotListed:
        return "notListed";
    case ChecksumState::ImageUnreadable:
        return "unreadable";
    case ChecksumState::Mismatch:
        break;
    }
    return "mismatch";
}

const char* SignatureText(SignatureState state) {
    switch (state) {
    case SignatureState::Signed:
        return "signed";
    case SignatureState::FileListed:
        return "fileListed";
    case SignatureState::Unreadable:
        return "unreadable";
    case SignatureState::NotSigned:
        return "notSigned";
    case SignatureState::Invalid:
        return "invalid";
    case SignatureState::NoSigner:
        return "noSigner";
    case SignatureState::NotListed:
        return "notListed";
    case SignatureState::ListUnusable:
        break;
    }
    return "listUnusable";
}

// The flasher as the flash procedure would judge it; false when it would be
// refused. One that is not there is only reported: it is refused by failing
// to start, as it always was.
bool ReportFlasher(Json& report) {
    const HeldFile flasher(kFlasherPath);
    if (flasher.missing()) {
        report["flasher"] = {{"signature", "missing"}, {"signer", nullptr}, {"certificateSha256", nullptr},
                             {"chainSha256", Json::array()}, {"sha256", nullptr}};
        Note("Scan: " + std::string(kFlasherExe) + " is missing");
        return true;
    }
    const SignatureVerdict verdict = JudgeSignature(flasher.handle(), kFlasherExe, SignedFile::Flasher, true);
    Json chain = Json::array();
    for (const core::Sha256Digest& digest : verdict.chain) chain.push_back(core::DigestText(digest));
    report["flasher"] = {
        {"signature", SignatureText(verdict.state)},
        {"signer", verdict.signer.empty() ? Json() : Json(AnsiToUtf8(verdict.signer))},
        {"certificateSha256", verdict.chain.empty() ? Json() : Json(core::DigestText(verdict.chain.front()))},
        {"chainSha256", std::move(chain)},
        {"sha256", verdict.file ? Json(core::DigestText(*verdict.file)) : Json()}};
    Note("Scan: " + DescribeSignature(verdict, kFlasherExe, SignedFile::Flasher));
    return verdict.Allowed();
}

const char* BoardText(BoardState board) {
    switch (board) {
    case BoardState::Matches:
        return "match";
    case BoardState::DoesNotMatch:
        return "mismatch";
    case BoardState::CannotTell:
        break;
    }
    return "unknown";
}

bool ListUsable(ChecksumState list) { return list == ChecksumState::Ok || list == ChecksumState::NoList; }

// Fills report with what the flash procedure would find; the exit code.
// Nothing is loaded from a folder others can change: its findings are all
// there is to report.
int ReportOpenFolder(Json& report, const std::vector<OpenEntry>& open) {
    report["folder"] = "open";
    Json entries = Json::array();
    for (const OpenEntry& entry : open)
        entries.push_back({{"path", AnsiToUtf8(entry.path)}, {"who", AnsiToUtf8(entry.who)}});
    report["openEntries"] = std::move(entries);
    Note(std::string(kInstallFolder) + " is open to users other than administrators; nothing was loaded:\n" +
         DescribeOpenEntries(open));
    EventFolder(false, DescribeOpenEntries(open));
    return kExitFolderOpen;
}

int Evaluate(Json& report) {
    const std::vector<OpenEntry> open = FindOpenEntries();
    if (!open.empty()) return ReportOpenFolder(report, open);
    ReleaseRunLog();
    report["folder"] = "secure";
    Os().SetCurrentDir(kInstallFolder);

    SwitchAnswers answers({}, Note);
    SystemInfo utf8;
    const SystemInfo info = ReadSystemInfo(answers, &utf8);
    std::string systemId;
    const BoardState board = SpeakBoard(info, Note, &systemId);
    report["board"] = BoardText(board);
    report["systemId"] = board == BoardState::CannotTell ? Json() : Json(AnsiToUtf8(systemId));
    report["boardProduct"] = info.read ? Json(utf8.board) : Json();
    report["bios"] = info.read ? Json{{"maker", utf8.maker},
                                      {"version", utf8.version},
                                      {"date", utf8.date},
                                      {"product", utf8.product}}
                               : Json();

    // One reading of the list for every image.
    core::ChecksumList list;
    const ChecksumState listState = ReadChecksumList(list).state;
    report["checksumList"] = listState == ChecksumState::Ok       ? "ok"
                             : listState == ChecksumState::NoList ? "none"
                                                                  : "unusable";
    const ImageCatalogue catalogue = ReadImageCatalogue();
    Json images = Json::array();
    bool candidateNewer = false, candidatePasses = false;
    for (std::size_t i = 0; i < catalogue.names.size(); ++i) {
        const std::string& name = catalogue.names[i];
        const core::VersionOrder order = core::CompareImageVersion(info.version, name);
        const ChecksumState checksum = listState == ChecksumState::Ok ? JudgeImage(list, name).state : listState;
        // The flash procedure refuses an image others can change.
        const bool secure = !CheckEntry(RomPath(name));
        images.push_back({{"name", AnsiToUtf8(name)},
                          {"order", OrderText(order)},
                          {"checksum", ChecksumText(checksum)},
                          {"secure", secure}});
        Note("Scan: " + name + ": " + OrderText(order) + ", checksum " + ChecksumText(checksum) +
             (secure ? "" : ", others can change it"));
        if (i == catalogue.preselected) {
            candidateNewer = order == core::VersionOrder::ImageNewer;
            candidatePasses = ListUsable(checksum) && secure;
        }
    }
    report["images"] = std::move(images);
    const bool flasherPasses = ReportFlasher(report);
    candidatePasses = candidatePasses && flasherPasses;
    report["candidate"] =
        catalogue.names.empty() ? Json() : Json(AnsiToUtf8(catalogue.names[catalogue.preselected]));
    const bool available = board == BoardState::Matches && candidateNewer && candidatePasses;
    report["updateAvailable"] = available;

    // Until the restart the BIOS reports the old version: whatever the
    // images offer, the update is done but for the restart.
    const auto pending = PendingUpdate();
    const auto judged = pending ? std::nullopt : JudgeLastUpdate(info.version);
    report["pendingRestart"] = pending ? Json{{"image", AnsiToUtf8(pending->image)},
                                              {"from", AnsiToUtf8(pending->from)},
                                              {"since", pending->since}}
                                       : Json();
    report["lastUpdate"] =
        judged ? Json{{"image", AnsiToUtf8(judged->image)}, {"result", JudgementName(judged->result)}} : Json();
    if (pending) {
        report["updateAvailable"] = false;
        Note("Scan: " + PendingText(*pending));
        return kExitRestartNeeded;
    }

    if (board != BoardState::Matches) return BoardExitCode(board);
    // A list that is there but cannot be used blocks every image.
    if (!ListUsable(listState) || (candidateNewer && !candidatePasses)) return kExitImageRefused;
    return available ? kExitUpdateAvailable : kExitSuccess;
}

std::string Dump(const Json& report) {
    // A byte that is not UTF-8 must never cost the report.
    return report.dump(2, ' ', false, Json::error_handler_t::replace);
}

}  // namespace

int Scan(const std::string& reportFile) {
    // Before anything changes the current directory.
    const std::string reportPath = reportFile.empty() ? std::string() : Os().FullPathName(reportFile);
    Json report = Json::object();
    int code = Evaluate(report);
    report["exitCode"] = code;
    if (!reportFile.empty()) {
        if (const std::string why = ReplaceFileWhole(reportPath, Dump(report), FilePlace::OutsideInstallFolder); !why.empty()) {
            code = kExitReportNotWritten;
            report["exitCode"] = code;
            report["reportError"] = AnsiToUtf8("The report " + reportFile + " could not be written (" + why + ").");
            Note("Scan: " + reportFile + " not written: " + why);
        }
    }
    Note("Scan: exit code " + std::to_string(code));
    auto text = [](const Json& value) { return value.is_string() ? value.get<std::string>() : std::string(); };
    EventScan(code, text(report.value("candidate", Json())),
              report.contains("bios") && report["bios"].is_object() ? text(report["bios"].value("version", Json()))
                                                                    : std::string());
    Os().WriteOutput(Dump(report) + "\r\n");
    return code;
}

}  // namespace kv
