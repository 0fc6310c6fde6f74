#include "common/file_replace.h"

#include <windows.h>

#include "common/install_paths.h"
#include "platform.h"

namespace kv {

// Whether path names C:\KAVELTON itself, a stream of it or anything below it,
// read as Windows reads it: in any letter case, with either slash, with or
// without the \\?\ or \\.\ prefix, and through an administrative share
// (\\server\C$\KAVELTON: that is this machine's folder, or another's).
// Short names need no rule of their own: KAVELTON fits 8.3 and has no other
// name, and one of a file below it still starts with C:\KAVELTON\. A link,
// a junction or a mapped drive is seen only in the final path of an open
// file.
bool InInstallFolder(std::string path) {
    for (char& c : path) c = c == '/' ? '\\' : c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    if (path.rfind("\\\\?\\UNC\\", 0) == 0)
        path = "\\\\" + path.substr(8);
    else if (path.rfind("\\\\?\\", 0) == 0 || path.rfind("\\\\.\\", 0) == 0)
        path = path.substr(4);
    if (path.rfind("\\\\", 0) == 0) {
        const std::size_t share = path.find('\\', 2);
        if (share == std::string::npos || path.compare(share, 4, "\\C$\\") != 0) return false;
        path = "C:" + path.substr(share + 3);
    }
    const std::string folder = "C:\\KAVELTON";
    if (path.compare(0, folder.size(), folder) != 0) return false;
    return path.size() == folder.size() || path[folder.size()] == '\\' || path[folder.size()] == ':';
}

std::string ReplaceFileWhole(const std::string& path, const std::string& bytes, FilePlace place) {
    const bool inside = place == FilePlace::InInstallFolder;
    const std::string misplaced = inside ? "it would not lie in " + std::string(kInstallFolder)
                                         : "it would lie in " + std::string(kInstallFolder) +
                                               ", whose files Kavelton loads, runs and believes";
    if (path.empty()) return "error " + std::to_string(ERROR_INVALID_NAME);
    if (InInstallFolder(path) != inside) return misplaced;
    const std::string temporary = path + "." + std::to_string(Os().TickCount()) + ".tmp";
    // A new file only, never one that a link there would lead elsewhere.
    OsHandle file(Os().OpenFile(temporary, GENERIC_WRITE, 0, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT));
    if (!file.Valid()) return "error " + std::to_string(Os().LastError());
    const std::string lies = Os().FinalPathOfHandle(file.get());
    if (lies.empty() || InInstallFolder(lies) != inside) {
        const DWORD error = lies.empty() ? Os().LastError() : ERROR_SUCCESS;
        file.Close();
        Os().DeleteFile(temporary);
        return lies.empty() ? "where it would lie cannot be told (error " + std::to_string(error) + ")" : misplaced;
    }
    DWORD written = 0;
    bool ok = Os().WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written) &&
              written == bytes.size() && Os().FlushFile(file.get());
    ok = file.Close() && ok;
    ok = ok && Os().MoveFileReplacing(temporary, path);
    if (ok) return {};
    const DWORD error = Os().LastError();
    Os().DeleteFile(temporary);
    return "error " + std::to_string(error ? error : ERROR_WRITE_FAULT);
}

}  // namespace kv
