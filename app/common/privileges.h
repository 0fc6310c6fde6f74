#pragma once

namespace kv {

// Enables one privilege of the program's token (an elevated token holds
// most of them disabled). False, logged, when it cannot.
bool EnablePrivilege(const char* name);

}  // namespace kv
