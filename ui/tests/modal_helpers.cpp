#include "modal_helpers.h"

namespace kv::test {
namespace {

std::string g_class;
std::function<void(HWND)> g_action;
bool g_shown = false;
int g_tries = 0;
UINT_PTR g_timer = 0;

HWND FindShown() {
    HWND found = nullptr;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND hwnd, LPARAM lp) -> BOOL {
            char name[64] = {};
            GetClassNameA(hwnd, name, sizeof name);
            if (g_class == name && IsWindowVisible(hwnd)) {
                *reinterpret_cast<HWND*>(lp) = hwnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    HWND hwnd = FindShown();
    if (!hwnd && ++g_tries < 250) return;
    KillTimer(nullptr, g_timer);
    g_timer = 0;
    if (hwnd) {
        g_shown = true;
        auto action = std::move(g_action);
        action(hwnd);
    }
}

}  // namespace

void WhenShown(const std::string& windowClass, std::function<void(HWND)> action) {
    if (g_timer) KillTimer(nullptr, g_timer);
    g_class = windowClass;
    g_action = std::move(action);
    g_shown = false;
    g_tries = 0;
    g_timer = SetTimer(nullptr, 0, 20, Tick);
}

void CloseWhenShown(const std::string& windowClass) {
    WhenShown(windowClass, [](HWND hwnd) { SendMessageA(hwnd, WM_CLOSE, 0, 0); });
}

bool WasShown() { return g_shown; }

std::vector<long> PlaceInParent(const ui::TControl& control) {
    RECT r{};
    GetWindowRect(control.Handle(), &r);
    MapWindowPoints(HWND_DESKTOP, GetParent(control.Handle()), reinterpret_cast<POINT*>(&r), 2);
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

}  // namespace kv::test
