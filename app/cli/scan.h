// /scan: the questions the flash procedure asks before it starts anything,
// answered for inventory and compliance scripts as one JSON object on
// standard output, and optionally in a file. Changes nothing, asks nothing.
#pragma once

#include <string>

namespace kv {

// reportFile: where the report goes as well, relative to the starting
// directory; empty for standard output alone. Returns the exit code.
int Scan(const std::string& reportFile);

}  // namespace kv
