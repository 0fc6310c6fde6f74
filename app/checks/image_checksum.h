// The image's checksum against the install folder's SHA256SUMS, before
// anything is written or started.
#pragma once

#include <string>

#include "common/dialogue.h"

namespace kv {

// Compares the image in C:\KAVELTON\ROM with its digest in the checksum
// list. Without a list it goes on; once the list exists, an image it does
// not name is refused. errorTitle is the title of the calling dialog's error
// boxes, shown through dialogue.
bool CheckImageChecksum(const std::string& image, const char* errorTitle, Dialogue& dialogue);

}  // namespace kv
