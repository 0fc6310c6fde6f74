#include <windows.h>

#include "Main.h"
#include "unattended.h"

// With arguments Kavelton runs without windows, for deployment tools; without
// them it is the program its users know.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    const std::string arguments = commandLine ? commandLine : "";
    if (kv::HasArguments(arguments)) return kv::RunUnattended(arguments);
    return kv::RunKavelton();
}
