// Whether a BIOS update took: the image is recorded before the restart and
// compared with the running BIOS at the next start.
#pragma once

#include <string>

#include "common/install_paths.h"

namespace kv {

// Records the image whose flash the coming restart completes.
void RecordUpdate(const std::string& image);

// Reads and deletes the record, then tells whether the running version is
// the recorded image's. No record: nothing is shown.
void ShowLastUpdateResult(const std::string& runningVersion);

}  // namespace kv
