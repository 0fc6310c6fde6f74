// The main window's start-up and task buttons, driven through the fake
// platform: every message box, every branch, every library released.
#include <gtest/gtest.h>

#include <algorithm>

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "fake_platform.h"
#include "forms/control_ids.h"
#include "forms/Main.h"
#include "forms/Myfloppy.h"
#include "modal_helpers.h"

namespace kv {
namespace {

using test::FakePlatform;
using test::ScopedFake;

// --- a scripted system information library ------------------------------

std::vector<std::string> g_biosCalls;
std::map<int, const wchar_t*> g_biosValues;

bool FakeInitNameSpace(int index) {
    g_biosCalls.push_back("InitNameSpace " + std::to_string(index));
    return true;
}
const wchar_t* FakeBios(int index) {
    g_biosCalls.push_back("BIOS " + std::to_string(index));
    auto it = g_biosValues.find(index);
    return it == g_biosValues.end() ? nullptr : it->second;
}
bool FakeUnInitNameSpace() {
    g_biosCalls.push_back("UnInitNameSpace");
    return true;
}

// --- a scripted USB scan library -----------------------------------------

std::vector<std::vector<std::string>> g_scans;  // one list of records per call
int g_scanCalls = 0;

int FakeGetUsbDrive(char* buffer, int* count) {
    const auto& scan = g_scans[std::min<size_t>(g_scanCalls, g_scans.size() - 1)];
    ++g_scanCalls;
    std::memset(buffer, 0, usb::kBufferBytes);
    int n = 0;
    for (const std::string& record : scan) {
        if (n == usb::kMaxRecords) break;
        std::memcpy(buffer + usb::kRecordBytes * n, record.c_str(), 2);
        ++n;
    }
    *count = n;
    return n == 0;
}

FARPROC Proc(auto* f) { return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(f)); }

class MainFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_biosCalls.clear();
        g_biosValues = {{0, L"Acme Firmware"}, {1, L"KV1.105"}, {2, L"20080215123000.000000+000"},
                        {3, L"ABC12"}, {4, L"Kavelton Test PC"}};
        g_scans.clear();
        g_scanCalls = 0;
        fake().libraries["BIOS.dll"] = {{"InitNameSpace", Proc(FakeInitNameSpace)},
                                        {"BIOS", Proc(FakeBios)},
                                        {"UnInitNameSpace", Proc(FakeUnInitNameSpace)}};
        fake().files["C:\\KAVELTON\\System.txt"].bytes = "SystemID:abc12\r\n";
    }

    FakePlatform& fake() { return scoped_.fake; }

    TMainForm& Create() {
        form_ = std::make_unique<TMainForm>();
        return *form_;
    }

    ScopedFake scoped_;
    std::unique_ptr<TMainForm> form_;
};

TEST_F(MainFormTest, StartUpReadsTheSystemInformationInOrderAndReleasesTheLibrary) {
    TMainForm& form = Create();
    const std::vector<std::string> expected = {"InitNameSpace 0", "BIOS 0", "BIOS 1", "BIOS 2",
                                               "InitNameSpace 2", "BIOS 4", "InitNameSpace 1",
                                               "BIOS 3", "UnInitNameSpace"};
    EXPECT_EQ(g_biosCalls, expected);
    EXPECT_EQ(form.labManufacture.Text(), "Acme Firmware");
    EXPECT_EQ(form.labBIOSVersion.Text(), "KV1.105");
    EXPECT_EQ(form.BIOSVersion, "KV1.105");
    EXPECT_EQ(form.labBIOSDate.Text(), "02/15/2008");
    EXPECT_EQ(form.labPrdName.Text(), "Kavelton Test PC");
    EXPECT_EQ(fake().loadedLibraries(), 0);
    EXPECT_EQ(fake().CallCount("LoadLibrary C:\\KAVELTON\\BIOS.dll flags 0x900"), 1)
        << "by its full path; its own imports beside it or in System32";
    ASSERT_FALSE(fake().calls.empty());
    EXPECT_EQ(fake().calls.front(), "SetCurrentDir C:\\KAVELTON") << "the install folder comes first";
    EXPECT_TRUE(fake().messages.empty());
    EXPECT_EQ(form.labWarning.Text(), " Warning!! The new BIOS is not suitable for this system!  ");
}

TEST_F(MainFormTest, SystemIdMatchEnablesFlashingIgnoringCase) {
    TMainForm& form = Create();
    EXPECT_TRUE(form.OnWinFlash.Enabled());
    EXPECT_FALSE(form.labWarning.Visible());
}

TEST_F(MainFormTest, SystemIdMismatchShowsTheWarning) {
    fake().files["C:\\KAVELTON\\System.txt"].bytes = "SystemID:XYZ99\n";
    TMainForm& form = Create();
    EXPECT_FALSE(form.OnWinFlash.Enabled());
    EXPECT_TRUE(form.labWarning.Visible());
    EXPECT_TRUE(fake().messages.empty());
}

TEST_F(MainFormTest, LongSystemIdNeverMatchesOnItsFirst19Characters) {
    g_biosValues[3] = L"ABCDEFGHIJKLMNOPQRS";  // 19 characters
    fake().files["C:\\KAVELTON\\System.txt"].bytes = "SystemID:ABCDEFGHIJKLMNOPQRSTU\n";
    TMainForm& form = Create();
    EXPECT_FALSE(form.OnWinFlash.Enabled());
    EXPECT_TRUE(form.labWarning.Visible());
}

TEST_F(MainFormTest, MissingSystemFileIsReportedAndLeavesFlashingOff) {
    fake().files.erase("C:\\KAVELTON\\System.txt");
    TMainForm& form = Create();
    ASSERT_EQ(fake().messages.size(), 1u);
    EXPECT_EQ(fake().messages[0].text, "Can't get systemID from \nC:\\KAVELTON\\system.txt!");
    EXPECT_EQ(fake().messages[0].title, "Get MotherBoard systemID");
    EXPECT_EQ(fake().messages[0].style, static_cast<UINT>(MB_TOPMOST | MB_ICONWARNING));
    EXPECT_FALSE(form.OnWinFlash.Enabled());
    EXPECT_FALSE(form.labWarning.Visible());
    EXPECT_FALSE(form.Visible()) << "the box comes before the window is shown";
}

TEST_F(MainFormTest, MissingLibraryIsReportedAndTheWindowStillOpens) {
    fake().libraries.clear();
    TMainForm& form = Create();
    ASSERT_GE(fake().messages.size(), 1u);
    EXPECT_EQ(fake().messages[0].text, "Load BIOS DLL Failed!");
    EXPECT_EQ(fake().messages[0].title, "Welcome to use Pravolin");
    EXPECT_EQ(fake().messages[0].style, static_cast<UINT>(MB_TOPMOST));
    EXPECT_EQ(form.labManufacture.Text(), "labManufacture");
    EXPECT_FALSE(form.OnWinFlash.Enabled()) << "an unknown board is never offered the flash";
    EXPECT_TRUE(form.BIOSVersion.empty());
}

TEST_F(MainFormTest, LibraryLackingAFunctionReadsNothingAndSaysNothing) {
    fake().libraries["BIOS.dll"].erase("UnInitNameSpace");
    TMainForm& form = Create();
    EXPECT_TRUE(g_biosCalls.empty());
    EXPECT_TRUE(fake().messages.empty());
    EXPECT_EQ(form.labBIOSVersion.Text(), "labBIOSVersion");
    EXPECT_EQ(fake().loadedLibraries(), 0);
}

TEST_F(MainFormTest, NullValuesShowAsEmptyTexts) {
    g_biosValues.clear();
    TMainForm& form = Create();
    EXPECT_EQ(form.labManufacture.Text(), "");
    EXPECT_EQ(form.labBIOSVersion.Text(), "");
    EXPECT_EQ(form.labBIOSDate.Text(), "");
    EXPECT_TRUE(form.BIOSVersion.empty());
}

// --- diskette task -----------------------------------------------------------

class FloppyProbeTest : public MainFormTest {
protected:
    void SetUp() override {
        MainFormTest::SetUp();
        Create();
        fake().folders["C:\\KAVELTON\\ROM\\*.*"] = {{"KV1.107", FILE_ATTRIBUTE_ARCHIVE}};
        floppy_ = std::make_unique<TFloppy>();
        fake().calls.clear();
    }
    std::unique_ptr<TFloppy> floppy_;
};

TEST_F(FloppyProbeTest, NoDriveAtAllIsReported) {
    test::CloseWhenShown("TFloppy");
    form_->OnFloppyClick();
    EXPECT_FALSE(test::WasShown());
    ASSERT_EQ(fake().messages.size(), 1u);
    EXPECT_EQ(fake().messages[0].text, "Please install a floppy drive!");
    EXPECT_EQ(fake().messages[0].title, "Create Flash BIOS Diskette");
    EXPECT_EQ(fake().messages[0].style, static_cast<UINT>(MB_TOPMOST | MB_ICONERROR));
    EXPECT_EQ(fake().CallCount("OpenFile \\\\.\\A:"), 1);
    EXPECT_EQ(fake().CallCount("OpenFile \\\\.\\B:"), 1);
}

TEST_F(FloppyProbeTest, DriveAShowsTheSameDialogEachTimeAndClosesTheProbe) {
    fake().files["\\\\.\\A:"] = {};
    for (int i = 0; i < 2; ++i) {
        test::CloseWhenShown("TFloppy");
        form_->OnFloppyClick();
        EXPECT_TRUE(test::WasShown());
        EXPECT_EQ(Floppy, floppy_.get());
    }
    EXPECT_EQ(fake().CallCount("OpenFile \\\\.\\B:"), 0);
    EXPECT_EQ(fake().openHandles(), 0);
    EXPECT_TRUE(fake().messages.empty());
}

TEST_F(FloppyProbeTest, DriveBAloneIsEnough) {
    fake().files["\\\\.\\B:"] = {};
    test::CloseWhenShown("TFloppy");
    form_->OnFloppyClick();
    EXPECT_TRUE(test::WasShown());
    EXPECT_EQ(fake().openHandles(), 0);
}

// --- USB key task -------------------------------------------------------------

class UsbTaskTest : public MainFormTest {
protected:
    void SetUp() override {
        MainFormTest::SetUp();
        Create();
        fake().libraries["UsbScan.dll"] = {{"GetUSBDrive", Proc(FakeGetUsbDrive)}};
        // The USB key dialog lists the image catalogue as it opens; one image
        // keeps its empty-folder notice out of these tests.
        fake().folders["C:\\KAVELTON\\ROM\\*.*"] = {{"KV1.107", FILE_ATTRIBUTE_ARCHIVE}};
        fake().calls.clear();
    }
    void Click() {
        test::CloseWhenShown("TUSB");
        form_->OnUSBClick();
    }
    std::vector<std::string> Drives() {
        std::vector<std::string> out;
        for (int i = 0; i < form_->USBDriveCount; ++i) out.emplace_back(form_->USBDrive[i]);
        return out;
    }
};

TEST_F(UsbTaskTest, NoAtThePromptLoadsNothing) {
    fake().answers = {IDNO};
    Click();
    ASSERT_EQ(fake().messages.size(), 1u);
    EXPECT_EQ(fake().messages[0].text,
              "Please insert a bootable USB disk!\nOnce device is ready, press \"Yes\".");
    EXPECT_EQ(fake().messages[0].title, "Create Flash BIOS Penlet");
    EXPECT_EQ(fake().messages[0].style, static_cast<UINT>(MB_TOPMOST | MB_ICONWARNING | MB_YESNO));
    EXPECT_EQ(fake().CallCount("LoadLibrary"), 0);
    EXPECT_EQ(form_->USBDriveCount, 0);
    EXPECT_FALSE(test::WasShown());
}

// The prompt has no owner: clicks on the task button under it start
// nothing, and only an explicit Yes goes on (a prompt ended by the program's
// end answers something else).
TEST_F(UsbTaskTest, ClicksUnderThePromptStartNothingAndOnlyYesGoesOn) {
    g_scans = {{"E:"}};
    int nested = 0;
    fake().onMessage = [&](const test::MessageRecord&) {
        if (nested++ > 0) return;
        form_->OnUSBClick();
        form_->OnUSBClick();
    };
    fake().answers = {0};
    Click();
    EXPECT_EQ(fake().messages.size(), 1u) << "a second prompt or box under the first";
    EXPECT_EQ(fake().CallCount("LoadLibrary"), 0) << "scanned without a Yes";
    EXPECT_FALSE(test::WasShown());
}

TEST_F(UsbTaskTest, FoundDrivesDropTheDisketteAndOpenTheDialog) {
    g_scans = {{"A:", "E:", "F:"}};
    fake().answers = {IDYES};
    Click();
    EXPECT_EQ(Drives(), (std::vector<std::string>{"E:", "F:"}));
    EXPECT_TRUE(test::WasShown());
    EXPECT_EQ(g_scanCalls, 1);
    EXPECT_EQ(fake().loadedLibraries(), 0);
}

TEST_F(UsbTaskTest, AScanThatCannotBeMadeEndsTheTask) {
    fake().libraries.erase("UsbScan.dll");
    fake().answers = {IDYES};
    Click();
    EXPECT_EQ(fake().messages.size(), 3u) << "the prompt and the scan's two boxes";
    EXPECT_FALSE(test::WasShown());
}

TEST_F(UsbTaskTest, OnlyTheDisketteMeansScanAgainAtOnceThenAsk) {
    g_scans = {{"A:"}, {"A:"}, {"G:"}};
    fake().answers = {IDYES, IDYES};
    Click();
    EXPECT_EQ(g_scanCalls, 3);
    ASSERT_EQ(fake().messages.size(), 2u) << "one prompt after the second scan, none between";
    EXPECT_EQ(fake().messages[1].text, fake().messages[0].text);
    EXPECT_EQ(fake().messages[1].style, fake().messages[0].style);
    EXPECT_EQ(Drives(), (std::vector<std::string>{"G:"}));
    EXPECT_EQ(fake().CallCount("LoadLibrary C:\\KAVELTON\\UsbScan.dll flags 0x900"), 3);
    EXPECT_EQ(fake().CallCount("FreeLibrary UsbScan.dll"), 3) << "unloaded before each new scan";
    EXPECT_EQ(fake().loadedLibraries(), 0);
}

TEST_F(UsbTaskTest, NoAtARepeatedPromptUnloadsAndKeepsTheOldDrives) {
    g_scans = {{"E:"}};
    fake().answers = {IDYES};
    Click();
    ASSERT_EQ(Drives(), (std::vector<std::string>{"E:"}));

    g_scans = {{}};
    g_scanCalls = 0;
    fake().answers = {IDYES, IDNO};
    Click();
    EXPECT_EQ(g_scanCalls, 2);
    EXPECT_FALSE(test::WasShown());
    EXPECT_EQ(Drives(), (std::vector<std::string>{"E:"}));
    EXPECT_EQ(fake().loadedLibraries(), 0);
}

// --- other buttons ------------------------------------------------------------

TEST_F(MainFormTest, AboutOpensAndItsOkCloses) {
    TMainForm& form = Create();
    std::string caption;
    test::WhenShown("TAboutForm", [&](HWND about) {
        char text[64] = {};
        GetWindowTextA(about, text, sizeof text);
        caption = text;
        SendMessageA(GetDlgItem(about, ids::about::Button1), BM_CLICK, 0, 0);
    });
    form.SpeedButton1Click();
    EXPECT_TRUE(test::WasShown());
    EXPECT_EQ(caption, "About KAVELTON");
}

// The page opens as the desktop's user; without a shell to ask, the address
// is shown to copy, and nothing is started with our rights.
TEST_F(MainFormTest, LogoOpensTheMakersWebSiteAsTheDesktopsUserOrShowsIt) {
    TMainForm& form = Create();
    for (const bool shell : {true, false}) {
        SCOPED_TRACE(shell ? "the desktop's shell answers" : "no shell");
        fake().messages.clear();
        fake().opened.clear();
        fake().desktopShell = shell;
        form.OnLogoClick();
        EXPECT_EQ(fake().CallCount("StartProcess"), 0);
        EXPECT_EQ(fake().opened.size(), shell ? 1u : 0u);
        ASSERT_EQ(fake().messages.size(), shell ? 0u : 1u);
        if (!shell) EXPECT_TRUE(test::Has(fake().messages[0].text, "\n\nhttps://www.kavelton.com/\n\n"));
    }
}

TEST_F(MainFormTest, ControlsFitTheWindowAndTheirGroupsWithoutCoveringEachOther) {
    TMainForm& form = Create();
    form.Show();
    form.labWarning.SetVisible(true);
    EXPECT_GE(test::ExpectControlsFit(form.Handle()), 6u);
    EXPECT_EQ(test::ExpectControlsFit(form.GroupBox1.Handle()), 8u);
    EXPECT_EQ(test::ExpectControlsFit(form.GroupBox2.Handle()), 3u);
}

TEST_F(MainFormTest, ValueLabelsKeepToTheirRoomAndEndLongTextsWithAnEllipsis) {
    const std::wstring longText(300, L'W');
    g_biosValues[0] = L"Award Software International";
    g_biosValues[1] = longText.c_str();
    g_biosValues[4] = longText.c_str();
    TMainForm& form = Create();
    auto right = [](const ui::TControl& c) {
        RECT r{};
        GetWindowRect(c.Handle(), &r);
        MapWindowPoints(nullptr, GetParent(c.Handle()), reinterpret_cast<POINT*>(&r), 2);
        return r.right;
    };
    auto ellipsis = [](const ui::TControl& c) {
        return (GetWindowLongA(c.Handle(), GWL_STYLE) & SS_ELLIPSISMASK) == SS_ENDELLIPSIS;
    };
    RECT box{};
    GetClientRect(form.GroupBox1.Handle(), &box);
    RECT dateLabel{};
    GetWindowRect(form.Label4.Handle(), &dateLabel);
    MapWindowPoints(nullptr, form.GroupBox1.Handle(), reinterpret_cast<POINT*>(&dateLabel), 2);
    EXPECT_LE(right(form.labBIOSVersion), dateLabel.left) << "a long version runs into the date";
    EXPECT_LE(right(form.labPrdName), box.right);
    EXPECT_TRUE(ellipsis(form.labBIOSVersion) && ellipsis(form.labPrdName));

    // A text that fits is shown whole: drawn with room to spare, its ink
    // ends inside the width the label sized itself to.
    const HWND maker = form.labManufacture.Handle();
    RECT r{};
    GetClientRect(maker, &r);
    const int wide = r.right + 40, high = r.bottom;
    SetWindowPos(maker, nullptr, 0, 0, wide, high, SWP_NOMOVE | SWP_NOZORDER);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof info.bmiHeader, wide, -high, 1, 32};
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, bitmap);
    SendMessageA(maker, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT | PRF_ERASEBKGND);
    GdiFlush();
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    const DWORD background = (GetRValue(face) << 16) | (GetGValue(face) << 8) | GetBValue(face);
    int lastInk = -1;
    for (int y = 0; y < high; ++y)
        for (int x = 0; x < wide; ++x)
            if ((static_cast<DWORD*>(bits)[y * wide + x] & 0xFFFFFF) != background) lastInk = std::max(lastInk, x);
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    EXPECT_EQ(form.labManufacture.Text(), "Award Software International");
    EXPECT_GT(lastInk, r.right / 2) << "nothing drawn";
    EXPECT_LT(lastInk, r.right) << "the last letter is cut";
    EXPECT_LT(r.right, ui::Scale(407 - 6 - 138)) << "a text that fits keeps its own width";
}

}  // namespace
}  // namespace kv
