#include "modal_helpers.h"

#include <gtest/gtest.h>

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

size_t ExpectControlsFit(HWND window) {
    RECT client{};
    GetClientRect(window, &client);
    std::vector<RECT> shown;
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char kind[16] = {}, text[4] = {};
        GetClassNameA(child, kind, sizeof kind);
        GetWindowTextA(child, text, sizeof text);
        // An empty label shows nothing to cover.
        if (!IsWindowVisible(child) || (std::string(kind) == "Static" && !text[0])) continue;
        RECT r{};
        GetWindowRect(child, &r);
        MapWindowPoints(HWND_DESKTOP, window, reinterpret_cast<POINT*>(&r), 2);
        EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= client.right && r.bottom <= client.bottom)
            << "control " << GetDlgCtrlID(child) << " runs out of its window";
        for (const RECT& other : shown) {
            RECT both{};
            EXPECT_FALSE(IntersectRect(&both, &r, &other)) << "control " << GetDlgCtrlID(child) << " covers another";
        }
        shown.push_back(r);
    }
    return shown.size();
}

}  // namespace kv::test
