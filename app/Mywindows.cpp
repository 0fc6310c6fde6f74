#include "Mywindows.h"

#include <cctype>
#include <string>
#include <string_view>

#include "catalogue.h"
#include "commands.h"
#include "control_ids.h"
#include "platform.h"
#include "restart.h"

namespace kv {
namespace {

namespace id = ids::window;

const ui::Font kControls{13};
constexpr UINT_PTR kTimer1 = 1;

const char kInstallFolder[] = "C:\\KAVELTON";
const char kFlasherExe[] = "WinFlash64.exe";
const DWORD kProcessAllAccess = 0x1F0FFF;

const char kFlashTitle[] = "Flash BIOS in windows";
const char kEnumTitle[] = "Enum current process";

ui::FormStyle WindowStyle() {
    ui::FormStyle style{"TWindow", "Flash BIOS in Windows", 352, 280, 266, 174};
    style.font = ui::Font{11};
    return style;
}

// Whole name against whole name, ASCII letters compared without case.
bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x != y && !(std::isalpha(x) && std::tolower(x) == std::tolower(y))) return false;
    }
    return true;
}

int Message(const char* text, const char* title, UINT style) {
    return Os().ShowMessage(text, title, style | MB_TOPMOST);
}

}  // namespace

TWindow::TWindow(ui::TForm* owner)
    : TForm(WindowStyle(), owner),
      ComboBox1(*this, id::ComboBox1, 24, 56, 218, 24, "", kControls, 16),
      Button1(*this, id::Button1, 21, 133, 84, 27, "OK", kControls),
      Button2(*this, id::Button2, 157, 133, 84, 27, "Close", kControls),
      Timer1(*this, kTimer1),
      Label1(nullptr, *this, id::Label1, 24, 22, "Latest BIOS to flash! ", kControls, CLR_INVALID,
             121, 16),
      Label2(nullptr, *this, id::Label2, 24, 91, "Select  older version if nessary! ", kControls,
             CLR_INVALID, 188, 16) {
    Button1.OnClick = [this] { Button1Click(); };
    Button2.OnClick = [this] { Button2Click(); };
    Timer1.OnTimer = [this] { Timer1Timer(); };
    // Closing by any route ends the watch at once.
    OnClose = [this] { Timer1.SetEnabled(false); };
    RunGuarded([this] { FormCreate(); });
    ::SetFocus(ComboBox1.Handle());
}

TWindow::~TWindow() {
    Timer1.SetEnabled(false);
    Timer1.OnTimer = nullptr;
}

void TWindow::FormCreate() {
    MissCount = 0;
    FlasherSeen = 0;
    if (FillImageCatalogue(ComboBox1) == 0)
        Message("Please put BIOS files under \nthe folder C:\\KAVELTON\\ROM,\nAnd reopen this Program!",
                "Create Flash BIOS Diskette!", MB_OK | MB_ICONWARNING);
}

void TWindow::Button1Click() {
    Os().SetCurrentDir(kInstallFolder);
    MissCount = 0;
    FlasherSeen = 0;
    const std::string image = ComboBox1.Text();
    if (image.empty()) {
        Message("Please select one BIOS!", kFlashTitle, MB_OK | MB_ICONERROR);
        return;
    }
    // The name goes into a command line unquoted: anything that would add
    // arguments, commands or another folder is refused before any question.
    if (image.size() > kMaxTypedImageName || !core::IsPlainImageName(image)) {
        Message("This BIOS file name can not be used!\nPlease select a file of the folder "
                "C:\\KAVELTON\\ROM,\nwithout path, blanks or special characters.",
                kFlashTitle, MB_OK | MB_ICONERROR);
        return;
    }
    if (!CheckImageVersion(true, image)) return;

    Button1.SetVisible(false);
    Os().WinExec(core::FlasherCommand(image), SW_SHOW);
    // Gives the flasher time to appear in the process list.
    Os().Sleep(1000);
    Timer1.SetEnabled(true);
    Button1.SetVisible(true);
}

void TWindow::Timer1Timer() {
    if (inTick_) return;
    inTick_ = true;
    struct Leave {
        bool& flag;
        ~Leave() { flag = false; }
    } leave{inTick_};

    OsHandle snapshot(Os().CreateProcessSnapshot());
    if (!snapshot.Valid()) {
        Message("CreateToolhelp32Snapshot() failed!", kEnumTitle, MB_OK);
        return;
    }
    std::string exeName;
    DWORD pid = 0;
    if (Os().FirstProcess(snapshot.get(), exeName, pid)) {
        do {
            if (!SameNameIgnoringCase(exeName, kFlasherExe)) continue;
            const HANDLE process = Os().OpenProcess(kProcessAllAccess, pid);
            if (!process) continue;
            Os().CloseHandle(process);
            FlasherSeen = 1;
            return;
        } while (Os().NextProcess(snapshot.get(), exeName, pid));
    } else {
        snapshot.Close();
        Message("Process32First() failed!", kEnumTitle, MB_OK);
    }

    snapshot.Close();
    ++MissCount;
    if (MissCount == 1) Timer1.SetEnabled(false);
    if (FlasherSeen != 1) {
        Message("Your system is not award BIOS!\nIt can not flash your BIOS!", "Detect your system BIOS",
                MB_OK | MB_ICONWARNING);
        return;
    }
    if (Message("Flash system BIOS successful!\nDo you want to restart your system?",
                "Flash system BIOS successful", MB_YESNO | MB_ICONQUESTION) == IDYES)
        RestartSystem();
    else
        Close();
}

void TWindow::Button2Click() { Close(); }

}  // namespace kv
