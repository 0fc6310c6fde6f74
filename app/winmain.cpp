#include <windows.h>

#include "Main.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return kv::RunKavelton(); }
