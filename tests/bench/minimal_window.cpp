// The yardstick for start-up time: the least a Win32 program must do to
// show the same system information, making the same BIOS.dll calls.
#include <windows.h>

#include <string>

namespace {

using InitFn = bool (*)(int);
using BiosFn = const wchar_t* (*)(int);
using UnInitFn = bool (*)();

template <typename F>
F Proc(HMODULE m, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(m, name)));
}

std::wstring Value(BiosFn bios, int index) {
    const wchar_t* text = bios(index);
    return text ? text : L"";
}

LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    SetCurrentDirectoryA("C:\\KAVELTON");
    std::wstring text;
    if (HMODULE lib = LoadLibraryA("BIOS.dll")) {
        auto init = Proc<InitFn>(lib, "InitNameSpace");
        auto bios = Proc<BiosFn>(lib, "BIOS");
        auto uninit = Proc<UnInitFn>(lib, "UnInitNameSpace");
        if (init && bios && uninit) {
            init(0);
            text = Value(bios, 0) + L"\n" + Value(bios, 1) + L"\n" + Value(bios, 2);
            init(2);
            text += L"\n" + Value(bios, 4);
            init(1);
            text += L"\n" + Value(bios, 3);
            uninit();
        }
        FreeLibrary(lib);
    }
    WNDCLASSW wc{};
    wc.lpfnWndProc = Proc;
    wc.hInstance = instance;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = L"KvMinimal";
    RegisterClassW(&wc);
    HWND hwnd = CreateWindowW(L"KvMinimal", L"Minimal", WS_OVERLAPPEDWINDOW, 100, 100, 451, 408,
                              nullptr, nullptr, instance, nullptr);
    CreateWindowW(L"STATIC", text.c_str(), WS_CHILD | WS_VISIBLE, 10, 10, 400, 100, hwnd, nullptr,
                  instance, nullptr);
    ShowWindow(hwnd, SW_SHOW);
    UpdateWindow(hwnd);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
