// Start-up time of Kavelton.exe against the minimal program, measured side
// by side in one run: alternating starts, time from CreateProcess to the
// main window shown (its values are filled before it is shown).
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "kv_driver.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace d = kv::driver;

double StartOnce(const std::string& exe, const char* windowClass) {
    const auto start = Clock::now();
    d::Process p = d::Process::Start(exe, "", "C:\\KAVELTON");
    if (!p.started()) return -1;
    HWND hwnd = d::WaitWindow(p.pid(), d::WindowQuery{windowClass}, std::chrono::seconds(30));
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (!hwnd) return -1;
    d::Close(hwnd);
    if (!p.WaitExit(std::chrono::seconds(10))) p.Kill();
    return ms;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 10;
    std::vector<double> kavelton, minimal;
    StartOnce("C:\\KAVELTON\\Kavelton.exe", "TMainForm");  // warm the caches once
    StartOnce("C:\\KAVELTON\\minimal_window.exe", "KvMinimal");
    for (int i = 0; i < rounds; ++i) {
        const double k = StartOnce("C:\\KAVELTON\\Kavelton.exe", "TMainForm");
        const double m = StartOnce("C:\\KAVELTON\\minimal_window.exe", "KvMinimal");
        if (k < 0 || m < 0) {
            std::printf("a start failed (Kavelton %.0f ms, minimal %.0f ms)\n", k, m);
            return 1;
        }
        kavelton.push_back(k);
        minimal.push_back(m);
    }
    const double k = Median(kavelton), m = Median(minimal);
    std::printf("start-up to main window, median of %d alternating runs:\n", rounds);
    std::printf("  Kavelton.exe        %7.1f ms\n  minimal program     %7.1f ms\n", k, m);
    std::printf("  ratio               %7.2fx (goal: at most 1.30x)\n", k / m);
    return 0;
}
