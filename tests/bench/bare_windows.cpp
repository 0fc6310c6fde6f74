// The second yardstick for start-up time: Kavelton's own two start-up
// windows (the main window, and the diskette dialog created hidden) with the
// same controls, fonts and pictures, built with plain Win32 calls, after the
// same BIOS.dll calls, System.txt read and image folder listing. Kavelton's
// time against this one is what the form framework itself costs.
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <tuple>

#include "forms/pictures.h"

namespace {

using InitFn = bool (*)(int);
using BiosFn = const wchar_t* (*)(int);
using UnInitFn = bool (*)();

HINSTANCE g_instance;
int g_dpi = 96;

int S(int v) { return MulDiv(v, g_dpi, 96); }

template <typename F>
F Proc(HMODULE m, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(m, name)));
}

std::string Ansi(const wchar_t* text) {
    if (!text || !*text) return {};
    char buffer[512] = {};
    WideCharToMultiByte(CP_ACP, 0, text, -1, buffer, sizeof buffer - 1, nullptr, nullptr);
    return buffer;
}

HFONT Font(int height, bool italic = false, bool bold = false) {
    return CreateFontA(-S(height), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, italic, FALSE, FALSE,
                       DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_SWISS, "MS Sans Serif");
}

HWND Child(HWND parent, const char* cls, const char* text, DWORD style, int x, int y, int w, int h,
           int id, HFONT font, DWORD exStyle = 0) {
    HWND hwnd = CreateWindowExA(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, S(x), S(y), S(w),
                                S(h), parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                g_instance, nullptr);
    SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return hwnd;
}

// A label sized to its text, measured as it is drawn.
HWND Label(HWND parent, const char* text, int x, int y, int id, HFONT font) {
    HWND hwnd = Child(parent, "STATIC", text, SS_LEFT | SS_NOPREFIX, x, y, 0, 0, id, font);
    HDC dc = GetDC(hwnd);
    HGDIOBJ old = SelectObject(dc, font);
    RECT r{0, 0, 0x7FFF, 0};
    DrawTextA(dc, text, -1, &r, DT_LEFT | DT_EXPANDTABS | DT_WORDBREAK | DT_NOPREFIX | DT_CALCRECT);
    SelectObject(dc, old);
    ReleaseDC(hwnd, dc);
    SetWindowPos(hwnd, nullptr, 0, 0, r.right, r.bottom, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    return hwnd;
}

void DrawFlatButton(const DRAWITEMSTRUCT& item) {
    FillRect(item.hDC, &item.rcItem, GetSysColorBrush(COLOR_BTNFACE));
    if (auto picture = reinterpret_cast<HBITMAP>(GetWindowLongPtrA(item.hwndItem, GWLP_USERDATA))) {
        BITMAP bm{};
        GetObjectA(picture, sizeof bm, &bm);
        HDC memory = CreateCompatibleDC(item.hDC);
        HGDIOBJ old = SelectObject(memory, picture);
        const int h = S(bm.bmHeight);
        GdiTransparentBlt(item.hDC, item.rcItem.left + S(8),
                          item.rcItem.top + (item.rcItem.bottom - item.rcItem.top - h) / 2,
                          S(bm.bmWidth), h, memory, 0, 0, bm.bmWidth, bm.bmHeight, RGB(255, 0, 255));
        SelectObject(memory, old);
        DeleteDC(memory);
    }
    char text[128] = {};
    GetWindowTextA(item.hwndItem, text, sizeof text);
    HGDIOBJ old = SelectObject(item.hDC, reinterpret_cast<HFONT>(SendMessageA(item.hwndItem, WM_GETFONT, 0, 0)));
    SetBkMode(item.hDC, TRANSPARENT);
    RECT r = item.rcItem;
    DrawTextA(item.hDC, text, -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(item.hDC, old);
}

HWND FlatButton(HWND parent, const char* text, int x, int y, int w, int h, int id, HFONT font,
                HBITMAP picture = nullptr) {
    HWND hwnd = Child(parent, "BUTTON", text, BS_OWNERDRAW, x, y, w, h, id, font);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(picture));
    return hwnd;
}

LRESULT CALLBACK FormProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_DRAWITEM:
        DrawFlatButton(*reinterpret_cast<DRAWITEMSTRUCT*>(lp));
        return TRUE;
    case WM_CTLCOLORSTATIC:
        SetBkMode(reinterpret_cast<HDC>(wp), TRANSPARENT);
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    case WM_DESTROY:
        if (GetWindowLongPtrA(hwnd, GWLP_USERDATA)) PostQuitMessage(0);
        break;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

// Group boxes hold controls of their own: their notices go to the form.
LRESULT CALLBACK GroupProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR) {
    switch (msg) {
    case WM_COMMAND:
    case WM_DRAWITEM:
    case WM_CTLCOLORSTATIC:
        return SendMessageA(GetParent(hwnd), msg, wp, lp);
    case WM_ERASEBKGND: {
        RECT r{};
        GetClientRect(hwnd, &r);
        FillRect(reinterpret_cast<HDC>(wp), &r, GetSysColorBrush(COLOR_BTNFACE));
        return TRUE;
    }
    }
    return DefSubclassProc(hwnd, msg, wp, lp);
}

HWND Group(HWND parent, const char* text, int x, int y, int w, int h, int id, HFONT font) {
    HWND hwnd = Child(parent, "BUTTON", text, BS_GROUPBOX, x, y, w, h, id, font, WS_EX_CONTROLPARENT);
    SetWindowSubclass(hwnd, GroupProc, 0, 0);
    return hwnd;
}

// The main window wears the program's icon (resource 1, linked in from
// Kavelton's own resources), as Kavelton's does.
HWND Form(const char* cls, const char* caption, int x, int y, int w, int h, HFONT font, bool icon = false) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = FormProc;
    wc.hInstance = g_instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = cls;
    wc.hIcon = icon ? LoadIconA(g_instance, MAKEINTRESOURCEA(1)) : nullptr;
    RegisterClassExA(&wc);
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    const DWORD exStyle = WS_EX_CONTROLPARENT | WS_EX_DLGMODALFRAME;
    RECT r{0, 0, S(w), S(h)};
    AdjustWindowRectEx(&r, style, FALSE, exStyle);
    HWND hwnd = CreateWindowExA(exStyle, cls, caption, style, S(x), S(y), r.right - r.left,
                                r.bottom - r.top, nullptr, nullptr, g_instance, nullptr);
    SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    for (auto [which, cx, cy] : {std::tuple{ICON_BIG, SM_CXICON, SM_CYICON},
                                 std::tuple{ICON_SMALL, SM_CXSMICON, SM_CYSMICON}}) {
        HANDLE image = icon ? LoadImageA(g_instance, MAKEINTRESOURCEA(1), IMAGE_ICON, GetSystemMetrics(cx),
                                         GetSystemMetrics(cy), LR_SHARED)
                            : nullptr;
        SendMessageA(hwnd, WM_SETICON, which, reinterpret_cast<LPARAM>(image));
    }
    return hwnd;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    g_instance = instance;
    INITCOMMONCONTROLSEX init{sizeof init, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&init);
    HDC screen = GetDC(nullptr);
    g_dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    SetCurrentDirectoryA("C:\\KAVELTON");

    const HFONT text13 = Font(13), value11 = Font(11), warning = Font(13, true, true);
    HWND main = Form("KvBareMain", "Kavelton", 271, 119, 451, 408, Font(11, true), true);
    SetWindowLongPtrA(main, GWLP_USERDATA, 1);  // ends the program when destroyed
    HWND box1 = Group(main, "Current System Information", 18, 16, 407, 105, 101, text13);
    Label(box1, "Product Name:", 17, 24, 102, text13);
    Label(box1, "BIOS  Manufacture:", 17, 51, 103, text13);
    Label(box1, "BIOS Version:", 17, 78, 104, text13);
    Label(box1, "BIOS Date:", 241, 78, 105, text13);
    std::string values[4] = {"labPrdName", "labManufacture", "labBIOSVersion", "labBIOSDate"};
    std::string product;
    if (HMODULE lib = LoadLibraryA("BIOS.dll")) {
        auto init = Proc<InitFn>(lib, "InitNameSpace");
        auto bios = Proc<BiosFn>(lib, "BIOS");
        auto uninit = Proc<UnInitFn>(lib, "UnInitNameSpace");
        if (init && bios && uninit) {
            init(0);
            values[1] = Ansi(bios(0));
            values[2] = Ansi(bios(1));
            values[3] = Ansi(bios(2)).substr(0, 8);
            init(2);
            values[0] = Ansi(bios(4));
            init(1);
            product = Ansi(bios(3));
            uninit();
        }
        FreeLibrary(lib);
    }
    Label(box1, values[0].c_str(), 138, 24, 106, value11);
    Label(box1, values[1].c_str(), 138, 53, 107, value11);
    Label(box1, values[2].c_str(), 138, 81, 108, value11);
    Label(box1, values[3].c_str(), 322, 79, 109, value11);
    HWND box2 = Group(main, "BIOS Flash", 20, 159, 405, 175, 110, text13);
    FlatButton(box2, "Create  BIOS Flash  Diskette", 16, 21, 377, 41, 111, text13, kv::pictures::Diskette());
    FlatButton(box2, "Create  BIOS Flash  Penlet", 16, 71, 377, 41, 112, text13, kv::pictures::UsbSymbol());
    EnableWindow(FlatButton(box2, "Flash System BIOS Now", 16, 122, 377, 41, 113, text13, kv::pictures::Chip()), FALSE);
    FlatButton(main, "", 24, 344, 73, 57, 114, text13, kv::pictures::Logo());
    FlatButton(main, "Exit", 384, 357, 41, 33, 115, text13);
    ShowWindow(Label(main, " Warning!! The new BIOS is not suitable for this system!  ", 32, 136, 116, warning), SW_HIDE);
    FlatButton(main, "About", 328, 357, 41, 33, 117, text13);
    char system[256] = {};
    DWORD got = 0;
    HANDLE file = CreateFileA("C:\\KAVELTON\\System.txt", GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        ReadFile(file, system, sizeof system - 1, &got, nullptr);
        CloseHandle(file);
    }

    HWND floppy = Form("KvBareFloppy", "Create BIOS Flash Diskette", 360, 220, 281, 191, Font(11));
    FlatButton(floppy, "Create", 13, 152, 90, 24, 301, text13);
    FlatButton(floppy, "Exit", 166, 148, 90, 28, 302, text13);
    HWND combo = Child(floppy, "COMBOBOX", "ComboBox1",
                       WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL, 13, 44, 210,
                       24 + 8 * 16, 303, text13);
    Child(floppy, "STATIC", "Latest BIOS to flash! ", SS_LEFT | SS_NOPREFIX, 14, 18, 121, 16, 304, text13);
    Child(floppy, "STATIC", "Select older version if nessary!", SS_LEFT | SS_NOPREFIX, 14, 82, 188, 16, 305, text13);
    Child(floppy, "STATIC", "", SS_LEFT | SS_NOPREFIX, 12, 127, 3, 16, 306, text13);
    HWND bar = Child(floppy, PROGRESS_CLASSA, "", PBS_SMOOTH, 11, 113, 248, 17, 307, nullptr);
    ShowWindow(bar, SW_HIDE);
    WIN32_FIND_DATAA found{};
    HANDLE find = FindFirstFileA("C:\\KAVELTON\\ROM\\*.*", &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(found.cFileName));
        } while (FindNextFileA(find, &found));
        FindClose(find);
    }
    SendMessageA(combo, CB_SETCURSEL, 0, 0);

    ShowWindow(main, SW_SHOW);
    UpdateWindow(main);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (IsDialogMessageA(GetAncestor(msg.hwnd, GA_ROOT), &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    DestroyWindow(floppy);
    return 0;
}
