#include "checks/system_info.h"

#include <windows.h>

#include "checks/signature.h"
#include "common/install_paths.h"
#include "common/run_log.h"
#include "text.h"
#include "platform.h"
#include "sysinfo.h"

namespace kv {
namespace {

using InitNameSpaceFn = bool (*)(int);
using BiosFn = const wchar_t* (*)(int);
using UnInitNameSpaceFn = bool (*)();

// The library's text is valid only until its next call.
std::wstring Keep(const wchar_t* text) { return text ? text : L""; }

}  // namespace

SystemInfo ReadSystemInfo(Dialogue& dialogue, SystemInfo* utf8) {
    SystemInfo info;
    // Held from its check until it is unloaded.
    const auto bios = LoadCheckedLibrary("BIOS.dll", kInstallLibraryFlags);
    if (!bios->get()) dialogue.Tell("Load BIOS DLL Failed!", "Welcome to use Pravolin", 0);
    auto initNameSpace = ProcAs<InitNameSpaceFn>(bios->Find("InitNameSpace"));
    auto unInitNameSpace = ProcAs<UnInitNameSpaceFn>(bios->Find("UnInitNameSpace"));
    auto biosValue = ProcAs<BiosFn>(bios->Find("BIOS"));
    // Without all three functions nothing is read.
    if (!initNameSpace || !unInitNameSpace || !biosValue) {
        Log("Start: the system information cannot be read");
        if (utf8) *utf8 = info;
        return info;
    }
    initNameSpace(0);
    const std::wstring maker = Keep(biosValue(0));
    const std::wstring version = Keep(biosValue(1));
    info.date = core::DateText(biosValue(2));
    initNameSpace(2);
    const std::wstring product = Keep(biosValue(4));
    initNameSpace(1);
    const std::wstring board = Keep(biosValue(3));
    unInitNameSpace();
    info.read = true;
    auto fill = [&](SystemInfo& out, UINT codePage) {
        out.read = true;
        out.date = info.date;
        out.maker = Narrow(maker, codePage);
        out.version = Narrow(version, codePage);
        out.product = Narrow(product, codePage);
        out.board = Narrow(board, codePage);
    };
    fill(info, CP_ACP);
    if (utf8) fill(*utf8, CP_UTF8);
    Log("Start: maker \"" + info.maker + "\", version \"" + info.version + "\", date \"" + info.date +
        "\", product \"" + info.product + "\", board \"" + info.board + "\"");
    return info;
}

BoardCheck CheckBoard(const std::string& board, std::string* systemIdRead) {
    std::string bytes;
    if (!Os().ReadWholeFile(kSystemIdPath, bytes)) {
        Log("Start: no system ID, board not checked");
        return BoardCheck::NoSystemId;
    }
    const std::string systemId = core::ParseSystemId(bytes);
    if (systemIdRead) *systemIdRead = systemId;
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
