// The fault sweep: every handler that touches the platform is run once for
// every seam call it makes in a good run, with that one call failing as it
// fails on Windows (false, INVALID_HANDLE_VALUE, null, 0; a transfer in
// turn refused or short). Whatever fails, nothing escapes, everything is released,
// the diskette is written only under a lock and never after a failed image
// read, and no success or restart question follows a failed step of the
// task's own work.
#include <gtest/gtest.h>

#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cli/unattended.h"
#include "common/run_log.h"
#include "fake_platform.h"
#include "flash/flash_procedure.h"
#include "forms/Main.h"
#include "forms/Myfloppy.h"
#include "forms/Myusb.h"
#include "forms/Mywindows.h"
#include "modal_helpers.h"
#include "sectorkit.h"
#include "tasks/restart.h"

namespace kv {
namespace {

using test::FakePlatform;

const char kDriveA[] = "\\\\.\\A:";
const char kImage[] = "c:\\KAVELTON\\fdd.imz";
const char kRom[] = "C:\\KAVELTON\\ROM\\*.*";

const wchar_t* SweepBios(int index) {
    static const wchar_t* const values[] = {L"Acme", L"KV1.105", L"20080215123000.000000+000",
                                            L"ABC12", L"Sweep PC"};
    return index >= 0 && index < 5 ? values[index] : nullptr;
}
bool SweepInit(int) { return true; }
bool SweepUnInit() { return true; }
int SweepScan(char* buffer, int* count) {
    std::memset(buffer, 0, usb::kBufferBytes);
    std::memcpy(buffer, "E:", 2);
    *count = 1;
    return 0;
}
FARPROC Proc(auto* f) { return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(f)); }

// One run's forms and platform; everything is released when it ends.
struct World {
    World() {
        fake.libraries["BIOS.dll"] = {{"InitNameSpace", Proc(SweepInit)},
                                      {"BIOS", Proc(SweepBios)},
                                      {"UnInitNameSpace", Proc(SweepUnInit)}};
        fake.libraries["UsbScan.dll"] = {{"GetUSBDrive", Proc(SweepScan)}};
        fake.files["C:\\KAVELTON\\System.txt"].bytes = "SystemID:ABC12\r\n";
        fake.folders[kRom] = {{"KV1.107", FILE_ATTRIBUTE_ARCHIVE}};
        std::string image(1474560, '\0');
        for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i / 512 * 7 + i % 5);
        fake.files[kImage].bytes = image;
        fake.files[kDriveA].bytes = std::string(1474560, '\x5A');
        fake.processes = {{"System", 4}};
    }
    void Release() {
        usb.reset();
        window.reset();
        floppy.reset();
        main.reset();
    }
    // Forms kept from case to case where a click leaves them as it found
    // them: creating windows costs more than the run itself.
    TMainForm* sharedMain = nullptr;
    TFloppy* sharedFloppy = nullptr;
    ~World() { Release(); }

    test::ScopedFake scoped;
    FakePlatform& fake = scoped.fake;
    std::unique_ptr<TMainForm> main;
    std::unique_ptr<TFloppy> floppy;
    std::unique_ptr<TUSB> usb;
    std::unique_ptr<TWindow> window;
};

using SharedForms = std::pair<std::unique_ptr<TMainForm>, std::unique_ptr<TFloppy>>;

struct Handler {
    const char* name;
    // Forms that outlive the cases of one handler (see World).
    std::shared_ptr<SharedForms> shared;
    std::function<void(World&)> arrange;  // the state before the handler
    std::function<void(World&)> act;      // the handler itself
    // Calls that are the task's own work: after one of them failed, no
    // success or restart question may come.
    std::vector<std::string> work;
};

bool StartsWith(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }

// The Sectorkit exports as a careful caller drives them: stop at the first
// failure, always close.
void CopyWithSectorkit() {
    if (GetDiskHandle()) {
        for (int k = 0; k < 750; ++k)
            if (!ReadDisk() || !WriteDisk()) break;
    }
    CloseHdel();
}

std::vector<Handler> Handlers() {
    auto withMain = [](World& w) { w.main = std::make_unique<TMainForm>(); };
    auto withFloppy = [withMain](World& w) {
        withMain(w);
        w.floppy = std::make_unique<TFloppy>();
    };
    // A flasher that runs past the first tick, then has ended.
    auto watching = [withMain](World& w) {
        withMain(w);
        w.window = std::make_unique<TWindow>(w.main.get());
        w.fake.runMs["WinFlash64.exe"] = 1500;
        w.window->Button1Click();
        w.window->Timer1Timer();
        w.fake.now += 1000;
    };
    const std::vector<std::string> diskWork = {
        std::string("OpenFile ") + kImage, std::string("ReadFile ") + kImage,
        std::string("OpenFile ") + kDriveA, std::string("ReadFile ") + kDriveA,
        std::string("VolumeSize ") + kDriveA,
        std::string("WriteFile ") + kDriveA, std::string("FlushFile ") + kDriveA,
        "StartProcess", "WaitForProcess", "ProcessExitCode"};
    auto sharedForms = std::make_shared<SharedForms>();
    auto withSharedFloppy = [sharedForms](World& w) {
        if (!sharedForms->first) {
            sharedForms->first = std::make_unique<TMainForm>();
            sharedForms->second = std::make_unique<TFloppy>();
        }
        w.sharedMain = sharedForms->first.get();
        w.sharedFloppy = sharedForms->second.get();
    };
    return {
        {"main window creation", nullptr, [](World&) {}, withMain, {}},
        {"diskette dialog creation", nullptr, withMain, [](World& w) { w.floppy = std::make_unique<TFloppy>(); }, {}},
        {"USB key dialog creation", nullptr, withMain, [](World& w) { w.usb = std::make_unique<TUSB>(w.main.get()); }, {}},
        {"flash dialog creation", nullptr, withMain,
         [](World& w) { w.window = std::make_unique<TWindow>(w.main.get()); }, {}},
        {"diskette button", nullptr, withFloppy,
         [](World& w) {
             test::CloseWhenShown("TFloppy");
             w.main->OnFloppyClick();
         },
         {}},
        {"USB button", nullptr, withFloppy,
         [](World& w) {
             w.fake.answers = {IDYES};
             test::CloseWhenShown("TUSB");
             w.main->OnUSBClick();
         },
         {}},
        {"flash button", nullptr, withFloppy,
         [](World& w) {
             test::CloseWhenShown("TWindow");
             w.main->OnWinFlashClick();
         },
         {}},
        {"diskette Create", sharedForms, withSharedFloppy,
         [](World& w) {
             w.fake.answers = {IDYES, IDNO};
             w.sharedFloppy->OnCreateDiskClick();
         },
         diskWork},
        {"USB key OK", nullptr,
         [withMain](World& w) {
             withMain(w);
             w.main->USBDrive[0][0] = 'E';
             w.main->USBDrive[0][1] = ':';
             w.main->USBDriveCount = 1;
             w.usb = std::make_unique<TUSB>(w.main.get());
         },
         [](World& w) {
             w.fake.answers = {IDNO};
             w.usb->Button1Click();
         },
         {"StartAsStandardUser", "WaitForProcess", "ProcessExitCode"}},
        {"flash OK", nullptr,
         [withMain](World& w) {
             withMain(w);
             w.window = std::make_unique<TWindow>(w.main.get());
         },
         [](World& w) {
             w.fake.runMs["WinFlash64.exe"] = 1500;
             w.window->Button1Click();
         },
         {"AdminNamespace", "NamedMutex", "WaitForMutex", "StartInJob"}},
        {"flash watch tick", nullptr, watching,
         [](World& w) {
             w.fake.answers = {IDNO};
             w.window->Timer1Timer();
         },
         {"ProcessExitCode"}},
        {"main window hold tick", nullptr,
         [withMain](World& w) {
             withMain(w);
             w.main->TakeOverFlash(std::make_unique<RunningFlash>(*w.main, nullptr, nullptr));
         },
         [](World& w) { w.main->HoldTimerTimer(); }, {}},
        {"restart", nullptr, [](World&) {}, [](World&) { RestartSystem(); }, {}},
        {"logo", nullptr, withMain, [](World& w) { w.main->OnLogoClick(); }, {}},
        {"scan with a report", nullptr,
         [](World& w) {
             w.fake.folders["C:\\KAVELTON\\SHA256SUMS"] = {{"SHA256SUMS", 0}};
             w.fake.files["C:\\KAVELTON\\SHA256SUMS"].bytes = std::string(64, '0') + "  ROM/KV1.107\n";
             w.fake.files["C:\\KAVELTON\\ROM\\KV1.107"].bytes = "image";
         },
         [](World&) {
             RunUnattended("/scan /report C:\\Reports\\scan.json");
             ReleaseRunLog();
         },
         {}},
        {"Sectorkit copy", nullptr, [](World&) {}, [](World&) { CopyWithSectorkit(); }, {}},
    };
}

struct Outcome {
    int cases = 0;
    std::vector<std::string> faults;
};

// Runs the handler with call k failing and checks what must hold whatever
// failed. Returns the call that was made to fail.
std::string RunWithFault(const Handler& h, int k, bool shortTransfers, Outcome& out) {
    World w;
    h.arrange(w);
    w.fake.failAt = w.fake.faultableCalls + k;
    w.fake.shortTransfers = shortTransfers;
    try {
        h.act(w);
    } catch (const std::exception& e) {
        out.faults.push_back(std::string("exception: ") + e.what());
    } catch (...) {
        out.faults.push_back("exception");
    }
    ++out.cases;
    const std::string failed = w.fake.failedCall;
    const std::string where = std::string(h.name) + ", call " + std::to_string(k) + " (" + failed +
                              (shortTransfers ? ", short" : "") + "): ";

    if (w.fake.lockedVolumes() != 0) out.faults.push_back(where + "a volume stays locked");
    // Written only under a lock, and never after a failed read of fdd.imz.
    for (const FakePlatform::Write& write : w.fake.writeLog) {
        if (write.path != kDriveA) continue;
        if (!write.locked) out.faults.push_back(where + "the diskette was written without a lock");
        if (write.before > w.fake.failAt && StartsWith(failed, std::string("ReadFile ") + kImage))
            out.faults.push_back(where + "the diskette was written after a failed image read");
    }
    bool workFailed = false;
    for (const std::string& prefix : h.work) workFailed = workFailed || StartsWith(failed, prefix);
    if (workFailed) {
        for (size_t i = w.fake.messagesAtFault; i < w.fake.messages.size(); ++i)
            if ((w.fake.messages[i].style & MB_ICONMASK) == MB_ICONQUESTION)
                out.faults.push_back(where + "\"" + w.fake.messages[i].text + "\" after the failure");
    }
    w.Release();
    if (w.fake.openHandles() != 0)
        out.faults.push_back(where + std::to_string(w.fake.openHandles()) + " handles left open");
    if (w.fake.loadedLibraries() != 0) out.faults.push_back(where + "a library stays loaded");
    return failed;
}

TEST(FaultSweep, EveryFailingCallOfEveryHandlerEndsSafely) {
    Outcome out;
    for (const Handler& h : Handlers()) {
        SCOPED_TRACE(h.name);
        int calls = 0;
        {
            World w;
            h.arrange(w);
            const int before = w.fake.faultableCalls;
            h.act(w);
            calls = w.fake.faultableCalls - before;
        }
        ASSERT_GT(calls, 0) << h.name << " makes no seam call that can fail";
        // A transfer fails in turn as a refusal and as a short count.
        for (int k = 0; k < calls; ++k) RunWithFault(h, k, k % 2 == 1, out);
        if (h.shared) {
            h.shared->second.reset();
            h.shared->first.reset();
        }
    }
    std::string faults;
    for (const std::string& f : out.faults) faults += f + "\n";
    EXPECT_TRUE(out.faults.empty()) << out.faults.size() << " faults in " << out.cases << " cases:\n"
                                    << faults;
    std::printf("fault sweep: %d (handler, call) cases\n", out.cases);
}

// Sectorkit puts the copy on the diskette before it lets the diskette go, and
// says so when it cannot; the sweep shows that it lets go all the same.
TEST(FaultSweep, SectorkitFlushesTheDisketteBeforeTheUnlock) {
    for (const bool flushFails : {false, true}) {
        SCOPED_TRACE(flushFails ? "the flush fails" : "the flush succeeds");
        World w;
        ASSERT_TRUE(GetDiskHandle() && ReadDisk() && WriteDisk());
        if (flushFails) w.fake.failAt = w.fake.faultableCalls;
        EXPECT_EQ(CloseHdel(), flushFails ? 0 : 1);
        const auto at = [&](const std::string& call) {
            return std::find(w.fake.calls.begin(), w.fake.calls.end(), call) - w.fake.calls.begin();
        };
        EXPECT_LT(at(std::string("FlushFile ") + kDriveA), at("DeviceIoControl " + std::to_string(FSCTL_UNLOCK_VOLUME)));
    }
}

// The sweep must catch what it looks for: a handler that reports success
// after its own batch file failed is flagged.
TEST(FaultSweep, CatchesASuccessQuestionAfterAFailedStep) {
    Handler careless{"careless", nullptr,
                     [](World&) {},
                     [](World&) {
                         HANDLE process = nullptr;
                         Os().StartProcess("", "copybinFile.bat KV1.107 A:", SW_HIDE, "C:\\KAVELTON", &process);
                         if (process) Os().CloseHandle(process);
                         Os().ShowMessage("Successful!", "t", MB_YESNO | MB_ICONQUESTION);
                     },
                     {"StartProcess"}};
    Outcome out;
    RunWithFault(careless, 0, false, out);
    EXPECT_EQ(out.faults.size(), 1u);
}

}  // namespace
}  // namespace kv
