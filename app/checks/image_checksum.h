// The image's checksum against the install folder's SHA256SUMS, before
// anything is written or started.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

#include "checksums.h"
#include "common/dialogue.h"

namespace kv {

enum class ChecksumState {
    Ok,               // listed, and every digest listed for it matches
    NoList,           // there is no list: nothing to check against
    ListUnreadable,
    ListEmpty,        // the list holds no checksum line
    ListMalformed,    // badLine is not a checksum line
    NotListed,        // a list is there, but it does not name the image
    ImageUnreadable,  // the image cannot be read or hashed
    Mismatch,         // actual differs from listed
};

struct ChecksumVerdict {
    ChecksumState state = ChecksumState::NoList;
    std::size_t badLine = 0;
    core::Sha256Digest actual{}, listed{};
};

// The SHA-256 of an open file from where its pointer stands to its end;
// false when it cannot be read or hashed.
bool HashOpenFile(HANDLE file, core::Sha256Digest& digest);

// The list as it lies in the install folder: NoList, one of the List
// states, or Ok with list read.
ChecksumVerdict ReadChecksumList(core::ChecksumList& list);

// The image in C:\KAVELTON\ROM against a list that read Ok. Once the list
// exists it must name the image.
ChecksumVerdict JudgeImage(const core::ChecksumList& list, const std::string& image);

// The decision above, with a box for each refusal. Without a list it goes
// on. errorTitle is the title of the calling dialog's error boxes, shown
// through dialogue.
bool CheckImageChecksum(const std::string& image, const char* errorTitle, Dialogue& dialogue);

}  // namespace kv
