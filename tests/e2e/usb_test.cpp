// The USB key task end to end: the real discovery code of UsbScan.dll over
// served WMI instances (usbscan-served.txt), the main window's prompt and
// scan loop, the USB key dialog, the batch file it starts (a recording
// stand-in for ToUSB.bat) and the restart question after the animation.
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <thread>

#include "e2e_fixture.h"
#include "forms/control_ids.h"

namespace kv::e2e {
namespace {

namespace usb = kv::ids::usb;

const char* const kPenletTitle = "Create Flash BIOS Penlet";
const char* const kPrompt =
    "Please insert a bootable USB disk!\nOnce device is ready, press \"Yes\".";
const char* const kRestartTitle = "Create Flash BIOS diskette ";
const char* const kRestartQuestion =
    " Successful! Restart system to update BIOS?\nSave & Close opened files before restarting.";

// WMI instances for the served library. One USB disk of 100 sectors; its
// volume F: (98 sectors) matches, removable volumes are taken as they are.
const char* const kDisks =
    "[Win32_DiskDrive]\r\n"
    "InterfaceType=IDE TotalSectors=NULL\r\n"
    "InterfaceType=USB TotalSectors=100\r\n";
const char* const kNoUsbDisk =
    "[Win32_DiskDrive]\r\n"
    "InterfaceType=IDE TotalSectors=NULL\r\n";

std::string Volumes(const std::string& lines) { return "[Win32_LogicalDisk]\r\n" + lines; }

// Writes each call's two arguments, bracketed, to usbkey-calls.log.
const char* const kRecordingBatch =
    "@echo off\r\n"
    "echo [%~1] [%~2]>>usbkey-calls.log\r\n";

class UsbKey : public KaveltonTest {
 protected:
  void SetUp() override {
    KaveltonTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_NO_FATAL_FAILURE(UseBiosDouble({}));  // running BIOS KVB.105
    ASSERT_NO_FATAL_FAILURE(WriteInstallFile("System.txt", "SystemID:ABC12\r\n"));
    const char* served = std::getenv("KV_E2E_USBSCAN_SERVED");
    ASSERT_TRUE(served && *served) << "KV_E2E_USBSCAN_SERVED is not set: run through tests/e2e/run.sh";
    ASSERT_TRUE(CopyFileA(served, InstallPath("UsbScan.dll").c_str(), FALSE))
        << "copy of " << served << " failed, error " << GetLastError();
    for (const char* f : {"usbscan-served.txt", "usbscan-served.log", "usbkey-calls.log"})
      RemoveInstallFile(f);
    ASSERT_NO_FATAL_FAILURE(WriteInstallFile("ToUSB.bat", kRecordingBatch));
  }

  void Serve(const std::string& instances) {
    ASSERT_NO_FATAL_FAILURE(WriteInstallFile("usbscan-served.txt", instances));
  }
  int Scans() {
    int n = 0;
    for (const auto& line : ReadLines("usbscan-served.log"))
      if (line.rfind("GetUSBDrive", 0) == 0) ++n;
    return n;
  }
  void Open() {
    main_ = StartToMainWindow();
    ASSERT_TRUE(main_);
  }
  void ClickUsbTask() {
    HWND b = Ctl(main_, kv::ids::mainform::OnUSB);
    ASSERT_TRUE(b);
    ASSERT_TRUE(drv::Click(b));
  }
  std::optional<drv::MessageBoxInfo> Prompt() {
    return ExpectBox(kPenletTitle, kPrompt, {IDYES, IDNO}, Icon::Shown);
  }
  // Clicks the task, answers the first prompt Yes and waits for the dialog.
  HWND OpenDialog() {
    ClickUsbTask();
    auto box = Prompt();
    if (!box) return nullptr;
    AnswerBox(box, IDYES);
    HWND dialog = drv::WaitWindow(app_.pid(), {"TUSB", "Create BIOS Flash Penlet", true}, 10s);
    if (!dialog) ADD_FAILURE() << "no USB key dialog; found:\n" << Windows();
    return dialog;
  }
  void ExpectDrives(HWND dialog, const std::vector<std::string>& drives) {
    HWND combo = Ctl(dialog, usb::ComboBox1);
    if (!combo) return;
    EXPECT_EQ(drv::ComboItems(combo), drives);
    EXPECT_EQ(drv::ComboText(combo), drives.empty() ? "" : drives.front());
  }
  void CloseDialog(HWND dialog) {
    ASSERT_TRUE(drv::Click(Ctl(dialog, usb::Button2)));
    EXPECT_TRUE(drv::WaitWindowGone(app_.pid(), {"TUSB", std::nullopt, true}, 5s))
        << "Close did not close the dialog; found:\n" << Windows();
  }
  // The recorded calls of the batch file, waited for: nobody waits for it.
  std::vector<std::string> BatchCalls(size_t expected, drv::Millis timeout = 10s) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    std::vector<std::string> lines;
    while (true) {
      lines = ReadLines("usbkey-calls.log");
      if (lines.size() >= expected || std::chrono::steady_clock::now() > until) return lines;
      std::this_thread::sleep_for(100ms);
    }
  }

  HWND main_ = nullptr;
};

TEST_F(UsbKey, PromptThenDrivesInScanOrderWithTheFirstShown) {
  ASSERT_NO_FATAL_FAILURE(Serve(std::string(kDisks) +
                                Volumes("DeviceID=A: DriveType=2 Size=NULL\r\n"
                                        "DeviceID=C: DriveType=3 Size=153600\r\n"
                                        "DeviceID=E: DriveType=2 Size=51200\r\n"
                                        "DeviceID=F: DriveType=3 Size=50176\r\n")));
  ASSERT_NO_FATAL_FAILURE(Open());
  HWND dialog = OpenDialog();
  ASSERT_TRUE(dialog);
  EXPECT_EQ(Scans(), 1);
  EXPECT_EQ(GetWindow(dialog, GW_OWNER), main_);
  ExpectDrives(dialog, {"E:", "F:"});  // removable volumes first, then matched disks
  HWND images = Ctl(dialog, usb::ComboBox2);
  ASSERT_TRUE(images);
  EXPECT_EQ(drv::ComboItems(images), std::vector<std::string>{"KAVT.107"});
  EXPECT_EQ(drv::ComboText(images), "KAVT.107");
  EXPECT_TRUE(drv::Visible(Ctl(dialog, usb::Button1)));
  EXPECT_FALSE(drv::Visible(Ctl(dialog, usb::ProgressBar1)));
  ExpectNoBox(300ms);
  ASSERT_NO_FATAL_FAILURE(CloseDialog(dialog));
  EXPECT_TRUE(BatchCalls(0, 0ms).empty()) << "the batch file ran without OK";
  EXPECT_TRUE(app_.Running());
}

TEST_F(UsbKey, OnlyDriveAMeansScanAgainAtOnceThenPromptAgain) {
  // A diskette with a medium is a removable volume too.
  ASSERT_NO_FATAL_FAILURE(Serve(std::string(kDisks) +
                                Volumes("DeviceID=A: DriveType=2 Size=1474560\r\n"
                                        "DeviceID=C: DriveType=3 Size=153600\r\n")));
  ASSERT_NO_FATAL_FAILURE(Open());
  ClickUsbTask();
  auto box = Prompt();
  ASSERT_TRUE(box);
  AnswerBox(box, IDYES);
  box = Prompt();
  ASSERT_TRUE(box);
  EXPECT_EQ(Scans(), 2) << "a second scan at once, then the prompt";

  // The disk turns up: the next Yes scans again and opens the dialog.
  ASSERT_NO_FATAL_FAILURE(Serve(std::string(kDisks) +
                                Volumes("DeviceID=A: DriveType=2 Size=1474560\r\n"
                                        "DeviceID=G: DriveType=2 Size=51200\r\n")));
  AnswerBox(box, IDYES);
  HWND dialog = drv::WaitWindow(app_.pid(), {"TUSB", std::nullopt, true}, 10s);
  ASSERT_TRUE(dialog) << "found:\n" << Windows();
  EXPECT_EQ(Scans(), 3);
  ExpectDrives(dialog, {"G:"});
  ASSERT_NO_FATAL_FAILURE(CloseDialog(dialog));
}

TEST_F(UsbKey, NoUsbDiskMeansScanAgainThenPromptUntilNo) {
  ASSERT_NO_FATAL_FAILURE(Serve(std::string(kNoUsbDisk) +
                                Volumes("DeviceID=E: DriveType=2 Size=51200\r\n")));
  ASSERT_NO_FATAL_FAILURE(Open());
  ClickUsbTask();
  auto box = Prompt();
  ASSERT_TRUE(box);
  AnswerBox(box, IDYES);
  box = Prompt();
  ASSERT_TRUE(box);
  EXPECT_EQ(Scans(), 2);
  AnswerBox(box, IDYES);
  box = Prompt();
  ASSERT_TRUE(box);
  EXPECT_EQ(Scans(), 3);
  AnswerBox(box, IDNO);
  ExpectNoBox(500ms);
  EXPECT_FALSE(drv::FindWindowOf(app_.pid(), {"TUSB", std::nullopt, true}));
  EXPECT_EQ(Scans(), 3);
  EXPECT_TRUE(app_.Running());
}

TEST_F(UsbKey, DriveAIsDroppedAndDriveBKept) {
  ASSERT_NO_FATAL_FAILURE(Serve(std::string(kDisks) +
                                Volumes("DeviceID=A: DriveType=2 Size=1474560\r\n"
                                        "DeviceID=B: DriveType=2 Size=1474560\r\n")));
  ASSERT_NO_FATAL_FAILURE(Open());
  HWND dialog = OpenDialog();
  ASSERT_TRUE(dialog);
  EXPECT_EQ(Scans(), 1);
  ExpectDrives(dialog, {"B:"});
  ASSERT_NO_FATAL_FAILURE(CloseDialog(dialog));
}

TEST_F(UsbKey, OkStartsTheBatchFileAndAsksToRestartAfterTheAnimation) {
  ASSERT_NO_FATAL_FAILURE(Serve(std::string(kDisks) +
                                Volumes("DeviceID=E: DriveType=2 Size=51200\r\n"
                                        "DeviceID=F: DriveType=3 Size=50176\r\n")));
  ASSERT_NO_FATAL_FAILURE(Open());
  HWND dialog = OpenDialog();
  ASSERT_TRUE(dialog);
  ExpectDrives(dialog, {"E:", "F:"});
  HWND ok = Ctl(dialog, usb::Button1);
  HWND bar = Ctl(dialog, usb::ProgressBar1);
  ASSERT_TRUE(ok && bar);

  const auto clicked = std::chrono::steady_clock::now();
  ASSERT_TRUE(drv::Click(ok));

  // KAVT.107 is newer than the running KVB.105: no question, the work runs.
  std::this_thread::sleep_for(2s);
  EXPECT_FALSE(drv::Visible(ok)) << "OK visible during the animation";
  EXPECT_TRUE(drv::Visible(bar)) << "bar hidden during the animation";
  const int pos = drv::ProgressPos(bar);
  EXPECT_GT(pos, 0) << "the bar does not advance";
  EXPECT_LT(pos, 220);
  // The window keeps answering while the animation runs.
  DWORD_PTR result = 0;
  EXPECT_NE(SendMessageTimeoutW(dialog, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &result), 0)
      << "the dialog did not answer within a second during the animation";

  auto box = ExpectBox(kRestartTitle, kRestartQuestion, {IDYES, IDNO}, Icon::Shown, 10s);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - clicked).count();
  ASSERT_TRUE(box);
  std::cout << "restart question " << seconds << " s after OK\n";
  EXPECT_GT(seconds, 5.0) << "the restart question came too early";
  EXPECT_LT(seconds, 9.0) << "the restart question came too late";
  EXPECT_EQ(drv::ProgressPos(bar), 0) << "the bar is reset before the question";
  EXPECT_TRUE(drv::Visible(bar));
  EXPECT_TRUE(drv::Visible(ok));

  // Wine collapses repeated blanks in a batch file's arguments; the exact
  // spacing of the command line is checked where it is built.
  EXPECT_EQ(BatchCalls(1), std::vector<std::string>{"[E:] [KAVT.107]"});

  AnswerBox(box, IDNO);  // never Yes here: it would end the Wine session
  EXPECT_TRUE(drv::WaitWindowGone(app_.pid(), {"TUSB", std::nullopt, true}, 5s))
      << "No did not close the dialog; found:\n" << Windows();
  ExpectNoBox(500ms);
  EXPECT_TRUE(app_.Running());
}

TEST_F(UsbKey, TypedDriveThatCouldChangeTheCommandIsRefused) {
  ASSERT_NO_FATAL_FAILURE(Serve(std::string(kDisks) +
                                Volumes("DeviceID=E: DriveType=2 Size=51200\r\n")));
  ASSERT_NO_FATAL_FAILURE(Open());
  HWND dialog = OpenDialog();
  ASSERT_TRUE(dialog);
  HWND drive = Ctl(dialog, usb::ComboBox1);
  ASSERT_TRUE(drive);
  DWORD_PTR result = 0;
  ASSERT_NE(SendMessageTimeoutW(drive, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"E:&echo x"),
                                SMTO_NORMAL, 2000, &result),
            0);
  ASSERT_EQ(drv::ComboText(drive), "E:&echo x");
  ASSERT_TRUE(drv::Click(Ctl(dialog, usb::Button1)));
  auto box = drv::WaitMessageBox(app_.pid(), 5s);
  ASSERT_TRUE(box) << "no refusal; found:\n" << Windows();
  EXPECT_EQ(box->title, kPenletTitle);
  EXPECT_EQ(box->buttons, std::vector<int>{IDOK});
  EXPECT_TRUE(box->icon) << "the refusal shows the error icon";
  EXPECT_NE(box->text, kRestartQuestion);
  AnswerBox(box, IDOK);
  ExpectNoBox(500ms);
  EXPECT_TRUE(drv::Visible(Ctl(dialog, usb::Button1)));
  EXPECT_FALSE(drv::Visible(Ctl(dialog, usb::ProgressBar1)));
  EXPECT_TRUE(BatchCalls(0, 0ms).empty()) << "the batch file ran";
  ASSERT_NO_FATAL_FAILURE(CloseDialog(dialog));
}

// What the dialog refuses before anything starts, and a batch file whose
// failure reaches the program as an error instead of "Successful!".
TEST_F(UsbKey, RefusalsAndFailuresNeverEndInSuccess) {
  ASSERT_NO_FATAL_FAILURE(Serve(std::string(kDisks) +
                                Volumes("DeviceID=E: DriveType=2 Size=51200\r\n")));
  // The image is "abc": its digest is known.
  ASSERT_NO_FATAL_FAILURE(WriteInstallFile("ROM\\KAVT.107", "abc"));
  ASSERT_NO_FATAL_FAILURE(Open());
  HWND dialog = OpenDialog();
  ASSERT_TRUE(dialog);
  EXPECT_FALSE(drv::Enabled(main_)) << "the main window is live under the USB key dialog";
  auto type = [&](int id, const wchar_t* text) {
    DWORD_PTR result = 0;
    ASSERT_NE(SendMessageTimeoutW(Ctl(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text),
                                  SMTO_NORMAL, 2000, &result),
              0);
  };
  struct Case {
    const char* name;
    const wchar_t* drive;
    const wchar_t* image;
    std::string sums;   // SHA256SUMS; empty: none
    std::string batch;  // ToUSB.bat; empty: missing
    std::string box;    // the start of the only box expected
  };
  const std::string abc = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
  const std::string other = std::string(64, '0');
  const Case cases[] = {
      {"drive the scan did not find", L"Z:", L"KAVT.107", "", kRecordingBatch,
       "The drive Z: was not found as a USB disk!"},
      {"image not in ROM", L"E:", L"KAVT.109", "", kRecordingBatch,
       "The BIOS file KAVT.109 is not in C:\\KAVELTON\\ROM!"},
      {"image that fails its checksum", L"E:", L"KAVT.107", other + "  KAVT.107\r\n", kRecordingBatch,
       "The BIOS image KAVT.107 does not match its checksum"},
      {"ToUSB.bat missing", L"e:", L"KAVT.107", abc + " *kavt.107\r\n", "",
       "ToUSB.bat could not be started with a standard user's rights (error 2)."},
      {"ToUSB.bat failing", L"E:", L"KAVT.107", "", "@exit /b 7\r\n", "ToUSB.bat failed with exit code 7."},
      {"checksum that matches", L"E:", L"KAVT.107", abc + "  KAVT.107\n", kRecordingBatch,
       kRestartQuestion},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RemoveInstallFile("SHA256SUMS");
    if (!c.sums.empty()) ASSERT_NO_FATAL_FAILURE(WriteInstallFile("SHA256SUMS", c.sums));
    RemoveInstallFile("ToUSB.bat");
    if (!c.batch.empty()) ASSERT_NO_FATAL_FAILURE(WriteInstallFile("ToUSB.bat", c.batch));
    RemoveInstallFile("usbkey-calls.log");
    type(usb::ComboBox1, c.drive);
    type(usb::ComboBox2, c.image);
    ASSERT_TRUE(drv::Click(Ctl(dialog, usb::Button1)));
    auto box = drv::WaitMessageBox(app_.pid(), 15s);
    ASSERT_TRUE(box) << "no box; found:\n" << Windows();
    EXPECT_EQ(box->text.rfind(c.box, 0), 0u) << drv::Escape(box->text);
    const bool success = c.box == kRestartQuestion;
    const std::vector<int> buttons = success ? std::vector<int>{IDYES, IDNO} : std::vector<int>{IDOK};
    EXPECT_EQ(box->buttons, buttons);
    if (success) {
      EXPECT_EQ(BatchCalls(1), std::vector<std::string>{"[E:] [KAVT.107]"});
      AnswerBox(box, IDNO);
      break;  // No closes the dialog
    }
    AnswerBox(box, IDOK);
    ExpectNoBox(500ms);
    if (c.batch == kRecordingBatch) EXPECT_TRUE(BatchCalls(0, 0ms).empty()) << "the batch file ran";
  }
  EXPECT_TRUE(drv::WaitWindowGone(app_.pid(), {"TUSB", std::nullopt, true}, 5s));
  EXPECT_TRUE(drv::Enabled(main_));
}

}  // namespace
}  // namespace kv::e2e
