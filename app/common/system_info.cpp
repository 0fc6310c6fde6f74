#include "common/system_info.h"

#include <windows.h>

#include "common/install_paths.h"
#include "common/run_log.h"
#include "platform.h"
#include "sysinfo.h"

namespace kv {
namespace {

using InitNameSpaceFn = bool (*)(int);
using BiosFn = const wchar_t* (*)(int);
using UnInitNameSpaceFn = bool (*)();

std::string ToAnsi(const wchar_t* text) {
    if (!text || !*text) return {};
    const int size = ::WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return {};
    std::string out(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text, -1, out.data(), size, nullptr, nullptr);
    out.resize(static_cast<size_t>(size - 1));
    return out;
}

}  // namespace

SystemInfo ReadSystemInfo(Dialogue& dialogue) {
    SystemInfo info;
    OsLibrary bios(InstallPath("BIOS.dll"), kInstallLibraryFlags);
    if (!bios.get()) dialogue.Tell("Load BIOS DLL Failed!", "Welcome to use Pravolin", 0);
    auto initNameSpace = ProcAs<InitNameSpaceFn>(bios.Find("InitNameSpace"));
    auto unInitNameSpace = ProcAs<UnInitNameSpaceFn>(bios.Find("UnInitNameSpace"));
    auto biosValue = ProcAs<BiosFn>(bios.Find("BIOS"));
    // Without all three functions nothing is read.
    if (!initNameSpace || !unInitNameSpace || !biosValue) {
        Log("Start: the system information cannot be read");
        return info;
    }
    initNameSpace(0);
    info.maker = ToAnsi(biosValue(0));
    info.version = ToAnsi(biosValue(1));
    info.date = core::DateText(biosValue(2));
    initNameSpace(2);
    info.product = ToAnsi(biosValue(4));
    initNameSpace(1);
    info.board = ToAnsi(biosValue(3));
    unInitNameSpace();
    info.read = true;
    Log("Start: maker \"" + info.maker + "\", version \"" + info.version + "\", date \"" + info.date +
        "\", product \"" + info.product + "\", board \"" + info.board + "\"");
    return info;
}

BoardCheck CheckBoard(const std::string& board) {
    std::string bytes;
    if (!Os().ReadWholeFile(kSystemIdPath, bytes)) {
        Log("Start: no system ID, board not checked");
        return BoardCheck::NoSystemId;
    }
    const std::string systemId = core::ParseSystemId(bytes);
    const bool matches = core::SystemIdMatches(board, systemId);
    Log(std::string("Start: board ") + (matches ? "matches" : "does not match") + " system ID \"" +
        systemId + "\"");
    return matches ? BoardCheck::Matches : BoardCheck::DoesNotMatch;
}

std::string SystemDrive() {
    const std::string folder = Os().WindowsFolder();
    if (folder.size() < 2 || folder[1] != ':') return {};
    return folder.substr(0, 2);
}

}  // namespace kv
