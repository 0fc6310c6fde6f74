// Files that a reader must find whole: written beside their place under
// another name, then moved over the old one, so that a reader finds the old
// file or the new one, never a part.
#pragma once

#include <string>

namespace kv {

// Whether path names C:\KAVELTON itself, a stream of it or anything below it,
// read as Windows reads it.
bool InInstallFolder(std::string path);

// Where the file may lie: a report never in the install folder, where it
// could take the place of what the program loads, runs or believes; one of
// the program's own files only there.
enum class FilePlace { OutsideInstallFolder, InInstallFolder };

// Why the file could not be written: empty once it is in place. The place is
// judged by the full path before anything is opened, and by where the new
// file really lies before anything is written.
std::string ReplaceFileWhole(const std::string& path, const std::string& bytes, FilePlace place);

}  // namespace kv
