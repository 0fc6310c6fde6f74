#include "placement.h"

#include <algorithm>

namespace kv::ui {
namespace {

int SystemDpi() {
    static const int dpi = [] {
        HDC dc = ::GetDC(nullptr);
        const int value = dc ? ::GetDeviceCaps(dc, LOGPIXELSY) : 96;
        if (dc) ::ReleaseDC(nullptr, dc);
        return value > 0 ? value : 96;
    }();
    return dpi;
}

}  // namespace

int Scale(int designPixels) { return ::MulDiv(designPixels, SystemDpi(), 96); }

RECT FitIntoWorkArea(const RECT& window, const RECT& workArea) {
    const auto fit = [](LONG start, LONG size, LONG areaStart, LONG areaEnd) {
        if (start + size > areaEnd) start = areaEnd - size;
        return std::max(start, areaStart);
    };
    const LONG width = window.right - window.left, height = window.bottom - window.top;
    const LONG left = fit(window.left, width, workArea.left, workArea.right);
    const LONG top = fit(window.top, height, workArea.top, workArea.bottom);
    return RECT{left, top, left + width, top + height};
}

void MoveIntoWorkArea(HWND window, const RECT& target) {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (!::GetMonitorInfoA(::MonitorFromRect(&target, MONITOR_DEFAULTTONEAREST), &monitor)) return;
    const RECT place = FitIntoWorkArea(target, monitor.rcWork);
    RECT current{};
    ::GetWindowRect(window, &current);
    if (place.left != current.left || place.top != current.top)
        ::SetWindowPos(window, nullptr, place.left, place.top, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace kv::ui
