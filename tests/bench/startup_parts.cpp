// What Kavelton's start spends its time on, piece by piece, with the
// program's own code on the real platform in C:\KAVELTON. Every piece is
// paid once per process, cold (the first COM start, the first access-list
// lookup), so each round is a process of its own:
//   kv_startup_parts.exe ROUNDS   starts itself ROUNDS times and prints the medians
//   kv_startup_parts.exe --once   measures one start's pieces, a line each
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "accessible_name.h"
#include "checks/folder_trust.h"
#include "checks/signature.h"
#include "common/run_log.h"
#include "controls.h"
#include "form.h"
#include "kv_driver.h"
#include "tasks/update_result.h"

namespace {

using Clock = std::chrono::steady_clock;

template <typename F>
double Ms(F&& f) {
    const auto start = Clock::now();
    f();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A window with one button, to name as the main window names its logo.
class NamedForm : public kv::ui::TForm {
public:
    NamedForm()
        : TForm(kv::ui::FormStyle{"KvPartsForm", "parts", 0, 0, 200, 100}, nullptr),
          button(*this, 1, 10, 10, 80, 30, "", kv::ui::Font{}) {}
    kv::ui::TButton button;
};

// The start's own lines: the folder, the system information, the board.
void LogStartLines() {
    kv::Log("Folder: C:\\KAVELTON is secure");
    kv::Log("Start: maker \"Bench\", version \"KVB.100\", date \"01/01/2020\", product \"Base\"");
    kv::Log("Start: board matches system ID \"Base\"");
}

int Once() {
    // Nothing of this run belongs in the log but the lines timed below.
    kv::HoldRunLog();
    const double folder = Ms([] { kv::InstallFolderTrustedAtStart(); });
    const double update = Ms([] { kv::ShowLastUpdateResult("KVB.100"); });
    NamedForm form;
    std::unique_ptr<kv::ui::AccessibleName> name;
    const double accessible = Ms([&] { name = std::make_unique<kv::ui::AccessibleName>(form.button, L"Kavelton"); });
    kv::HoldRunLog();
    const double logHeld = Ms([] {
        LogStartLines();
        kv::ReleaseRunLog();
    });
    const double logEach = Ms(LogStartLines);
    // The first verification of a signed file starts the chain engine; the
    // rule's later ones (a second library, the program's own file) are cheap.
    const double signatureFirst = Ms([] {
        const kv::HeldFile file("C:\\KAVELTON\\BIOS.dll");
        kv::Os().VerifyEmbeddedSignature(file.handle(), "C:\\KAVELTON\\BIOS.dll");
    });
    const double signatureRule = Ms([] {
        const kv::HeldFile file("C:\\KAVELTON\\UsbScan.dll");
        kv::JudgeSignature(file.handle(), "UsbScan.dll", kv::SignedFile::Library);
    });
    std::printf("folder %.3f\nupdate %.3f\naccessible %.3f\nlogheld %.3f\nlogeach %.3f\nsigfirst %.3f\nsigrule %.3f\n",
                folder, update, accessible, logHeld, logEach, signatureFirst, signatureRule);
    return 0;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--once") return Once();
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string out = std::string(temp) + "kv_startup_parts.txt";
    std::map<std::string, std::vector<double>> times;
    for (int i = 0; i < rounds; ++i) {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        HANDLE file = CreateFileA(out.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return 1;
        std::string error;
        kv::driver::Process p = kv::driver::Process::Start(self, "--once", "C:\\KAVELTON", &error, file);
        CloseHandle(file);
        if (!p.started() || !p.WaitExit(std::chrono::seconds(30))) {
            std::printf("a measuring run failed %s\n", error.c_str());
            return 1;
        }
        std::ifstream in(out);
        std::string key;
        double ms = 0;
        while (in >> key >> ms) times[key].push_back(ms);
    }
    DeleteFileA(out.c_str());
    std::printf("start-up pieces, cold, median of %d runs of their own:\n", rounds);
    std::printf("  %-44s %7.2f ms (budget 10 ms)\n", "folder check (10 images in ROM)", Median(times["folder"]));
    std::printf("  %-44s %7.2f ms\n", "update result (no record)", Median(times["update"]));
    std::printf("  %-44s %7.2f ms (after the first paint)\n", "logo's accessible name (COM, annotation)",
                Median(times["accessible"]));
    std::printf("  %-44s %7.2f ms (after the first paint)\n", "run log, the start's 3 lines in one write",
                Median(times["logheld"]));
    std::printf("  %-44s %7.2f ms\n", "run log, the same 3 lines a write each", Median(times["logeach"]));
    std::printf("  %-44s %7.2f ms (before the first paint)\n", "first signature check (BIOS.dll, cold)",
                Median(times["sigfirst"]));
    std::printf("  %-44s %7.2f ms\n", "a library's signature rule after it", Median(times["sigrule"]));
    // For the start-up ratio, which is judged without the folder check and
    // without the signature checks.
    std::printf("folder-check-ms %.3f\n", Median(times["folder"]));
    std::printf("signature-check-ms %.3f\n", Median(times["sigfirst"]) + Median(times["sigrule"]));
    return 0;
}
