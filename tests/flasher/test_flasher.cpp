// WinFlash64.exe for tests: appends its command line to flasher.log in the
// current directory, shows a window, and lives as long as the image file
// named on its command line asks ("seconds=N" in the file; 0 without it),
// and ends with the exit code it asks ("exit=N"; 0 without it). With
// "handover=N" it ends at once, after starting a copy of itself named
// FlashHelper.exe that lives N seconds.
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> words;
    std::istringstream in(line);
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

// The value of key=N in the image, the first argument after the program name.
int AskedBy(const std::string& commandLine, const std::string& key) {
    const std::vector<std::string> words = Words(commandLine);
    if (words.size() < 2) return 0;
    std::ifstream image(words[1], std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(image)), std::istreambuf_iterator<char>());
    const std::size_t at = text.find(key + "=");
    return at == std::string::npos ? 0 : std::atoi(text.c_str() + at + key.size() + 1);
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_TIMER:
        ::KillTimer(hwnd, wp);
        ::DestroyWindow(hwnd);
        return 0;
    case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
    }
    return ::DefWindowProcA(hwnd, msg, wp, lp);
}

bool HandOver(int seconds) {
    char self[MAX_PATH], temp[MAX_PATH];
    const DWORD n = ::GetTempPathA(MAX_PATH, temp);
    const std::string helper = std::string(temp, n) + "FlashHelper.exe";
    std::string line = "FlashHelper.exe --child " + std::to_string(seconds);
    STARTUPINFOA startup{sizeof startup};
    PROCESS_INFORMATION info{};
    if (!n || !::GetModuleFileNameA(nullptr, self, MAX_PATH) || !::CopyFileA(self, helper.c_str(), FALSE) ||
        !::CreateProcessA(helper.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return false;
    ::CloseHandle(info.hThread);
    ::CloseHandle(info.hProcess);
    return true;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    const std::string commandLine = ::GetCommandLineA();
    const std::vector<std::string> words = Words(commandLine);
    if (words.size() == 3 && words[1] == "--child") {
        ::Sleep(static_cast<DWORD>(std::atoi(words[2].c_str())) * 1000u);
        return 0;
    }
    {
        std::ofstream log("flasher.log", std::ios::binary | std::ios::app);
        log << commandLine << "\r\n";
    }
    const int handover = AskedBy(commandLine, "handover");
    if (handover > 0 && handover < 600) return HandOver(handover) ? AskedBy(commandLine, "exit") : 1;
    int seconds = AskedBy(commandLine, "seconds");
    if (seconds < 0 || seconds >= 600) seconds = 0;

    WNDCLASSA wc{};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = "KvTestFlasher";
    ::RegisterClassA(&wc);
    HWND hwnd = ::CreateWindowA("KvTestFlasher", "WinFlash64 (test flasher)",
                                WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, 600, 40, 300, 120, nullptr,
                                nullptr, instance, nullptr);
    if (!hwnd) return 1;
    ::ShowWindow(hwnd, show);
    ::UpdateWindow(hwnd);
    ::SetTimer(hwnd, 1, static_cast<UINT>(seconds) * 1000u + 1u, nullptr);

    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    return AskedBy(commandLine, "exit");
}
