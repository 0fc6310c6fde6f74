// Opens Kavelton's main window and then each dialog, one at a time, the way
// a user would, and asks the script that runs it for a screenshot of each:
// it prints "kv-shot NAME" and waits until the script has created
// SYNC\NAME.done. For every window it says whether the window lies wholly
// inside the work area of its monitor; the exit code is the number of
// windows that do not (or 100 when a window never opened).
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "forms/control_ids.h"
#include "kv_driver.h"

namespace {

namespace d = kv::driver;
namespace id = kv::ids::mainform;
using namespace std::chrono_literals;

std::string g_sync;
int g_offScreen = 0;

void Shot(const std::string& name, HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT& w = monitor.rcWork;
    const bool inside = r.left >= w.left && r.top >= w.top && r.right <= w.right && r.bottom <= w.bottom;
    if (!inside) ++g_offScreen;
    std::printf("kv-say window %s at %ld,%ld size %ldx%ld, work area %ldx%ld: %s\n", name.c_str(), r.left,
                r.top, r.right - r.left, r.bottom - r.top, w.right - w.left, w.bottom - w.top,
                inside ? "on screen" : "NOT WHOLLY ON SCREEN");
    std::printf("kv-shot %s\n", name.c_str());
    std::fflush(stdout);
    const std::string done = g_sync + "\\" + name + ".done";
    for (int i = 0; i < 300 && GetFileAttributesA(done.c_str()) == INVALID_FILE_ATTRIBUTES; ++i)
        std::this_thread::sleep_for(100ms);
}

// Clicks a main-window button and shots the dialog of that class; a message
// box on the way is answered with `answer` first.
bool Dialog(const d::Process& p, HWND main, int button, const char* cls, const char* name,
            int answer = 0) {
    if (!d::Click(d::Control(main, button))) {
        std::printf("kv-say %s: the button cannot be clicked\n", name);
        return false;
    }
    if (answer) {
        auto box = d::WaitMessageBox(p.pid(), 10s);
        if (!box || !d::Answer(*box, answer)) {
            std::printf("kv-say %s: no question to answer\n", name);
            return false;
        }
    }
    HWND dialog = d::WaitWindow(p.pid(), d::WindowQuery{cls}, 20s);
    if (!dialog) {
        if (auto box = d::WaitMessageBox(p.pid(), 1s)) {
            std::printf("kv-say %s: a box instead: %s\n", name, d::Escape(box->text).c_str());
            Shot(std::string(name) + "-box", box->hwnd);
            d::Answer(*box, box->buttons.empty() ? IDOK : box->buttons.front());
        }
        return false;
    }
    std::this_thread::sleep_for(500ms);  // let it paint
    Shot(name, dialog);
    d::Close(dialog);
    d::WaitWindowGone(p.pid(), d::WindowQuery{cls}, 10s);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::printf("usage: kv_screens SYNC-FOLDER\n");
        return 100;
    }
    g_sync = argv[1];
    d::Process p = d::Process::Start("C:\\KAVELTON\\Kavelton.exe", "", "C:\\KAVELTON");
    HWND main = p.started() ? d::WaitWindow(p.pid(), d::WindowQuery{"TMainForm"}, 30s) : nullptr;
    if (!main) {
        std::printf("kv-say the main window never opened\n");
        return 100;
    }
    std::this_thread::sleep_for(500ms);
    Shot("main", main);
    bool all = Dialog(p, main, id::SpeedButton1, "TAboutForm", "about");
    all = Dialog(p, main, id::OnFloppy, "TFloppy", "floppy") && all;
    all = Dialog(p, main, id::OnUSB, "TUSB", "usb", IDYES) && all;
    all = Dialog(p, main, id::OnWinFlash, "TWindow", "flash") && all;
    d::Close(main);
    if (!p.WaitExit(10s)) p.Kill();
    return all ? g_offScreen : 100;
}
