#include <windows.h>

#include "cli/unattended.h"
#include "forms/Main.h"

// With arguments Kavelton runs without windows, for deployment tools; without
// them it is the program its users know.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    // First of all: no library is ever looked for in the program's folder or
    // the current one. Ours are loaded by their full path.
    ::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    const std::string arguments = commandLine ? commandLine : "";
    if (kv::HasArguments(arguments)) return kv::RunUnattended(arguments);
    return kv::RunKavelton();
}
