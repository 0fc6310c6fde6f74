// The main window's buttons: About, Exit, the diskette task's drive probe
// and the USB key task's prompt and scan loop.
#include "e2e_fixture.h"
#include "forms/control_ids.h"

namespace kv::e2e {
namespace {

namespace id = kv::ids::mainform;

const char* const kUsbTitle = "Create Flash BIOS Penlet";
const char* const kUsbPrompt =
    "Please insert a bootable USB disk!\nOnce device is ready, press \"Yes\".";

// A started program with a matching system ID, its main window open.
class MainTask : public KaveltonTest {
 protected:
  void SetUp() override {
    KaveltonTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_NO_FATAL_FAILURE(UseBiosDouble({}));
    ASSERT_NO_FATAL_FAILURE(WriteInstallFile("System.txt", "SystemID:ABC12\r\n"));
  }
  void Open() {
    main_ = StartToMainWindow();
    ASSERT_TRUE(main_);
  }
  void ClickMain(int control) {
    HWND b = Ctl(main_, control);
    ASSERT_TRUE(b);
    ASSERT_TRUE(drv::Click(b)) << "control " << control << " cannot be clicked (hidden or disabled)";
  }
  HWND main_ = nullptr;
};

// ---- About ---------------------------------------------------------------

class About : public MainTask {
 protected:
  HWND OpenAbout() {
    ClickMain(id::SpeedButton1);
    HWND about = drv::WaitWindow(app_.pid(), {"TAboutForm", "About KAVELTON", true}, 10s);
    if (!about) ADD_FAILURE() << "no About box; found:\n" << Windows();
    return about;
  }
};

TEST_F(About, OpensWithItsOkButtonAndClosesByOk) {
  ASSERT_NO_FATAL_FAILURE(Open());
  HWND about = OpenAbout();
  ASSERT_TRUE(about);
  EXPECT_EQ(GetWindow(about, GW_OWNER), main_) << "the About box is owned by the main window";

  RECT r{};
  GetWindowRect(about, &r);
  EXPECT_EQ(r.right - r.left, 325);
  EXPECT_EQ(r.bottom - r.top, 130);
  EXPECT_EQ(r.left, 429);
  EXPECT_EQ(r.top, 274);
  DWORD style = drv::Style(about);
  EXPECT_TRUE(style & WS_THICKFRAME) << std::hex << style;
  EXPECT_FALSE(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX)) << std::hex << style;

  HWND ok = Ctl(about, kv::ids::about::Button1);
  ASSERT_TRUE(ok);
  EXPECT_EQ(drv::Text(ok), "OK");
  RECT b = drv::RectInParent(ok);
  EXPECT_EQ(b.left, 232);
  EXPECT_EQ(b.top, 58);
  EXPECT_EQ(b.right - b.left, 75);
  EXPECT_EQ(b.bottom - b.top, 25);
  EXPECT_EQ(drv::Text(Ctl(about, kv::ids::about::Label2)), " ");
  EXPECT_TRUE(Ctl(about, kv::ids::about::Image1));

  ASSERT_TRUE(drv::Click(ok));
  EXPECT_TRUE(drv::WaitWindowGone(app_.pid(), {"TAboutForm", std::nullopt, true}, 5s))
      << "OK did not close the About box; found:\n" << Windows();
  ExpectNoBox(300ms);
  EXPECT_TRUE(app_.Running());
  EXPECT_TRUE(drv::Visible(main_));
}

TEST_F(About, ClosesByTheCloseBoxAndOpensAgain) {
  ASSERT_NO_FATAL_FAILURE(Open());
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    HWND about = OpenAbout();
    ASSERT_TRUE(about);
    ASSERT_TRUE(drv::Close(about));
    EXPECT_TRUE(drv::WaitWindowGone(app_.pid(), {"TAboutForm", std::nullopt, true}, 5s))
        << "the close box did not close the About box; found:\n" << Windows();
  }
  EXPECT_TRUE(app_.Running()) << "closing the About box ended the program";
}

// ---- Exit ----------------------------------------------------------------

class Exit : public MainTask {};

TEST_F(Exit, ExitButtonEndsTheProgramWithCodeZero) {
  ASSERT_NO_FATAL_FAILURE(Open());
  ClickMain(id::OnExit);
  DWORD code = 12345;
  ASSERT_TRUE(app_.WaitExit(10s, &code)) << "still running; found:\n" << Windows();
  EXPECT_EQ(code, 0u);
}

TEST_F(Exit, CloseBoxEndsTheProgramWithCodeZero) {
  ASSERT_NO_FATAL_FAILURE(Open());
  ASSERT_TRUE(drv::Close(main_));
  DWORD code = 12345;
  ASSERT_TRUE(app_.WaitExit(10s, &code)) << "still running; found:\n" << Windows();
  EXPECT_EQ(code, 0u);
}

// ---- diskette task: the drive probe (devices set up by run.sh) -----------

class NoDiskette : public MainTask {};

TEST_F(NoDiskette, AsksForAFloppyDriveAndShowsNoDialog) {
  ASSERT_NO_FATAL_FAILURE(Open());
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    ClickMain(id::OnFloppy);
    auto box = ExpectBox("Create Flash BIOS Diskette", "Please install a floppy drive!", {IDOK},
                         Icon::Shown);
    ASSERT_TRUE(box);
    AnswerBox(box, IDOK);
    ExpectNoBox(500ms);
    EXPECT_FALSE(drv::FindWindowOf(app_.pid(), {"TFloppy", std::nullopt, true}))
        << "the diskette dialog opened without a drive";
  }
  EXPECT_TRUE(app_.Running());
}

// With one drive (A: or B:, set up by run.sh), the same dialog instance shows
// at each click.
void ShowsTheDisketteDialogTwice(drv::Process& app, HWND main) {
  HWND first = nullptr;
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    HWND b = drv::Control(main, id::OnFloppy);
    ASSERT_TRUE(drv::Click(b));
    HWND floppy = drv::WaitWindow(app.pid(), {"TFloppy", std::nullopt, true}, 10s);
    ASSERT_TRUE(floppy) << "no diskette dialog; found:\n" << drv::Describe(app.pid(), true);
    EXPECT_EQ(drv::Text(floppy), "Create BIOS Flash Diskette");
    EXPECT_TRUE(drv::NoMessageBox(app.pid(), 300ms));
    if (round == 0)
      first = floppy;
    else
      EXPECT_EQ(floppy, first) << "the diskette dialog was created anew";
    ASSERT_TRUE(drv::Close(floppy));
    EXPECT_TRUE(drv::WaitWindowGone(app.pid(), {"TFloppy", std::nullopt, true}, 5s));
  }
  EXPECT_TRUE(app.Running());
}

class DisketteA : public MainTask {};
TEST_F(DisketteA, ShowsTheDisketteDialog) {
  ASSERT_NO_FATAL_FAILURE(Open());
  ShowsTheDisketteDialogTwice(app_, main_);
}

class DisketteB : public MainTask {};
TEST_F(DisketteB, ShowsTheDisketteDialogWithOnlyDriveB) {
  ASSERT_NO_FATAL_FAILURE(Open());
  ShowsTheDisketteDialogTwice(app_, main_);
}

// ---- USB key task --------------------------------------------------------

class UsbTask : public MainTask {
 protected:
  std::optional<drv::MessageBoxInfo> Prompt() {
    return ExpectBox(kUsbTitle, kUsbPrompt, {IDYES, IDNO}, Icon::Shown);
  }
  int Scans() {
    int n = 0;
    for (const auto& line : ReadLines("usbscan-double.log"))
      if (line.rfind("GetUSBDrive", 0) == 0) ++n;
    return n;
  }
  HWND WaitUsbDialog() {
    HWND usb = drv::WaitWindow(app_.pid(), {"TUSB", std::nullopt, true}, 10s);
    if (!usb) ADD_FAILURE() << "no USB key dialog (TUSB); found:\n" << Windows();
    return usb;
  }
  // The drive box shows what the scan kept, once the dialog has one.
  void ExpectDrives(HWND usb, const std::vector<std::string>& drives) {
    HWND combo = drv::Control(usb, kv::ids::usb::ComboBox1);
    if (!combo) return;  // the dialog's controls are checked with the dialog
    EXPECT_EQ(drv::ComboItems(combo), drives);
    EXPECT_EQ(drv::ComboText(combo), drives.front());
  }
  void CloseUsbDialog(HWND usb) {
    ASSERT_TRUE(drv::Close(usb));
    EXPECT_TRUE(drv::WaitWindowGone(app_.pid(), {"TUSB", std::nullopt, true}, 5s));
  }
};

TEST_F(UsbTask, NoAtThePromptLoadsNothing) {
  ASSERT_NO_FATAL_FAILURE(UseUsbScanDouble({"E:"}));
  ASSERT_NO_FATAL_FAILURE(Open());
  ClickMain(id::OnUSB);
  auto box = Prompt();
  ASSERT_TRUE(box);
  AnswerBox(box, IDNO);
  ExpectNoBox();
  EXPECT_FALSE(drv::FindWindowOf(app_.pid(), {"TUSB", std::nullopt, true}));
  EXPECT_FALSE(InstallFileExists("usbscan-double.log")) << "UsbScan.dll was used after No";
  EXPECT_TRUE(app_.Running());
}

TEST_F(UsbTask, SpaceOnTheFocusedUsbButtonOpensThePrompt) {
  ASSERT_NO_FATAL_FAILURE(UseUsbScanDouble({"E:"}));
  ASSERT_NO_FATAL_FAILURE(Open());
  ASSERT_TRUE(drv::PressKey(main_, VK_TAB));  // from the diskette button
  ASSERT_TRUE(drv::PressKey(main_, VK_SPACE));
  AnswerBox(Prompt(), IDNO);
}

TEST_F(UsbTask, OnlyDriveAScansAgainAtOnceThenPromptsAgain) {
  ASSERT_NO_FATAL_FAILURE(UseUsbScanDouble({"A:"}));
  ASSERT_NO_FATAL_FAILURE(Open());
  ClickMain(id::OnUSB);
  auto box = Prompt();
  ASSERT_TRUE(box);
  AnswerBox(box, IDYES);

  box = Prompt();  // after two scans
  ASSERT_TRUE(box);
  EXPECT_EQ(Scans(), 2) << "log: " << testing::PrintToString(ReadLines("usbscan-double.log"));
  AnswerBox(box, IDYES);

  box = Prompt();  // one more scan per Yes
  ASSERT_TRUE(box);
  EXPECT_EQ(Scans(), 3) << "log: " << testing::PrintToString(ReadLines("usbscan-double.log"));
  AnswerBox(box, IDNO);

  ExpectNoBox();
  EXPECT_FALSE(drv::FindWindowOf(app_.pid(), {"TUSB", std::nullopt, true}));
  EXPECT_EQ(Scans(), 3);
}

TEST_F(UsbTask, EmptyScanCountsAsNoDisk) {
  ASSERT_NO_FATAL_FAILURE(UseUsbScanDouble({""}));
  ASSERT_NO_FATAL_FAILURE(Open());
  ClickMain(id::OnUSB);
  auto box = Prompt();
  ASSERT_TRUE(box);
  AnswerBox(box, IDYES);
  box = Prompt();
  ASSERT_TRUE(box);
  EXPECT_EQ(Scans(), 2);
  AnswerBox(box, IDNO);
  ExpectNoBox();
}

TEST_F(UsbTask, DrivesBesidesAOpenTheUsbDialog) {
  ASSERT_NO_FATAL_FAILURE(UseUsbScanDouble({"A: E: F:"}));
  ASSERT_NO_FATAL_FAILURE(Open());
  ClickMain(id::OnUSB);
  auto box = Prompt();
  ASSERT_TRUE(box);
  AnswerBox(box, IDYES);
  HWND usb = WaitUsbDialog();
  ASSERT_TRUE(usb);
  EXPECT_EQ(Scans(), 1);
  EXPECT_EQ(GetWindow(usb, GW_OWNER), main_) << "the USB key dialog is owned by the main window";
  ExpectDrives(usb, {"E:", "F:"});
  ASSERT_NO_FATAL_FAILURE(CloseUsbDialog(usb));
  ExpectNoBox(500ms);
  EXPECT_TRUE(app_.Running());

  // A second task is a second dialog, from a fresh scan.
  ClickMain(id::OnUSB);
  box = Prompt();
  ASSERT_TRUE(box);
  AnswerBox(box, IDYES);
  usb = WaitUsbDialog();
  ASSERT_TRUE(usb);
  EXPECT_EQ(Scans(), 2);
  ASSERT_NO_FATAL_FAILURE(CloseUsbDialog(usb));
}

TEST_F(UsbTask, SecondScanFindingADiskOpensTheDialogWithoutPrompt) {
  ASSERT_NO_FATAL_FAILURE(UseUsbScanDouble({"A:", "A: B:"}));
  ASSERT_NO_FATAL_FAILURE(Open());
  ClickMain(id::OnUSB);
  auto box = Prompt();
  ASSERT_TRUE(box);
  AnswerBox(box, IDYES);
  HWND usb = WaitUsbDialog();
  ASSERT_TRUE(usb);
  EXPECT_TRUE(drv::NoMessageBox(app_.pid(), 200ms)) << "prompted although the second scan found B:";
  EXPECT_EQ(Scans(), 2);
  ExpectDrives(usb, {"B:"});  // only A: is dropped
  ASSERT_NO_FATAL_FAILURE(CloseUsbDialog(usb));
}

TEST_F(UsbTask, MissingUsbScanDllIsReported) {
  RemoveInstallFile("UsbScan.dll");
  ASSERT_NO_FATAL_FAILURE(Open());
  ClickMain(id::OnUSB);
  auto box = Prompt();
  ASSERT_TRUE(box);
  AnswerBox(box, IDYES);
  box = ExpectBox(kUsbTitle, "Load UsbScan DLL Failed!", {IDOK}, Icon::None);
  ASSERT_TRUE(box);
  AnswerBox(box, IDOK);
  box = ExpectBox(kUsbTitle, "Get ProcAddress Failed!", {IDOK}, Icon::None);
  ASSERT_TRUE(box);
  AnswerBox(box, IDOK);

  // No scan can be made. Whatever follows may only be the same failure of a
  // repeated scan or the prompt again; the task must end on No.
  for (int i = 0; i < 8; ++i) {
    auto next = drv::WaitMessageBox(app_.pid(), 1000ms);
    if (!next) break;
    if (next->text == kUsbPrompt) {
      ASSERT_TRUE(drv::Answer(*next, IDNO));
      continue;
    }
    EXPECT_TRUE(next->text == "Load UsbScan DLL Failed!" || next->text == "Get ProcAddress Failed!")
        << "got \"" << drv::Escape(next->text) << "\"";
    ASSERT_TRUE(drv::Answer(*next, IDOK));
  }
  ExpectNoBox(300ms);
  EXPECT_FALSE(drv::FindWindowOf(app_.pid(), {"TUSB", std::nullopt, true}));
  EXPECT_TRUE(app_.Running()) << "the program ended after the failed library load";
}

}  // namespace
}  // namespace kv::e2e
