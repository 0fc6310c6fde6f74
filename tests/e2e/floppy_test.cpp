// The diskette dialog end to end: the raw copy onto the diskette image that
// run.sh links as A:, the batch start (through a recording stand-in), the
// progress run, and the runs that must leave the diskette as it was.
#include <algorithm>
#include <atomic>
#include <thread>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "e2e_fixture.h"
#include "forms/control_ids.h"
#include "tasks/tests/sectors.h"

namespace kv::e2e {
namespace {

namespace fid = kv::ids::floppy;

const char* const kTitle = "Create Flash BIOS Diskette";
const char* const kFormatQuestion = "It will format your floppy disk,\ndo you want to continue?";
const char* const kRestartQuestion =
    " Successful! Restart system to update BIOS?\nSave & Close opened files before restarting.";
const char* const kBusyHint = "Please wait until it shows a dialog box!";
const char* const kIdleHint = "Select older version if nessary!";
constexpr size_t kCopyBytes = 750 * 512;
// Written by the stand-in batch file, one line of arguments per start.
const char* const kBatchLog = "copybin.log";

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

using kv::test::FirstDifferentSector;

class FloppyTask : public KaveltonTest {
 protected:
  void SetUp() override {
    KaveltonTest::SetUp();
    if (HasFatalFailure()) return;
    diskette_ = Env("KV_E2E_DISKETTE");
    ASSERT_FALSE(diskette_.empty()) << "KV_E2E_DISKETTE is not set: run this group through run.sh";
    before_ = ReadAll(Env("KV_E2E_DISKETTE_BEFORE"));
    ASSERT_EQ(before_.size(), 1474560u) << "the diskette image run.sh prepared";
    ASSERT_EQ(ReadAll(diskette_), before_) << "the diskette was changed before the test";
    ASSERT_NO_FATAL_FAILURE(UseBiosDouble({}));  // KVB.105: the staged KAVT.107 is newer
    ASSERT_NO_FATAL_FAILURE(WriteInstallFile("System.txt", "SystemID:ABC12\r\n"));
    // An earlier test may have removed or shortened the image.
    ASSERT_TRUE(CopyFileA((Env("KV_E2E_STAGE") + "\\fdd.imz").c_str(), InstallPath("fdd.imz").c_str(), FALSE))
        << "error " << GetLastError();
    ASSERT_NO_FATAL_FAILURE(WriteInstallFile(
        "copybinFile.bat", "@echo off\r\necho %*>>C:\\KAVELTON\\copybin.log\r\n"));
    RemoveInstallFile(kBatchLog);
  }

  // Opens the dialog from the main window and clicks Create.
  HWND CreateRun() {
    main_ = StartToMainWindow();
    if (!main_) return nullptr;
    HWND button = Ctl(main_, kv::ids::mainform::OnFloppy);
    if (!button || !drv::Click(button)) {
      ADD_FAILURE() << "cannot click the diskette button";
      return nullptr;
    }
    HWND floppy = drv::WaitWindow(app_.pid(), {"TFloppy", "Create BIOS Flash Diskette", true}, 10s);
    if (!floppy) {
      ADD_FAILURE() << "no diskette dialog; found:\n" << Windows();
      return nullptr;
    }
    EXPECT_EQ(drv::ComboText(Ctl(floppy, fid::ComboBox1)), "KAVT.107");
    HWND create = Ctl(floppy, fid::OnCreateDisk);
    if (!create || !drv::Click(create)) {
      ADD_FAILURE() << "cannot click Create";
      return nullptr;
    }
    return floppy;
  }

  void ExpectDisketteUnchanged() {
    EXPECT_EQ(FirstDifferentSector(ReadAll(diskette_), before_), -1) << "first changed sector";
  }

  std::string diskette_;
  std::string before_;
  HWND main_ = nullptr;
};

// ---- the one full run (about half a minute) --------------------------------

class FloppyCopy : public FloppyTask {};

TEST_F(FloppyCopy, WritesTheImageStartsTheBatchAndAsksToRestart) {
  const std::string image = ReadAll(InstallPath("fdd.imz"));
  ASSERT_GE(image.size(), kCopyBytes);
  HWND floppy = CreateRun();
  ASSERT_TRUE(floppy);

  auto format = ExpectBox(kTitle, kFormatQuestion, {IDYES, IDNO}, Icon::Shown);
  ASSERT_TRUE(format);
  AnswerBox(format, IDYES);

  // During the run the window answers but takes no clicks, and the main
  // window under it takes none either.
  EXPECT_FALSE(drv::Enabled(main_)) << "the main window is live under the diskette dialog";
  Sleep(1500);
  HWND create = Ctl(floppy, fid::OnCreateDisk);
  HWND exitButton = Ctl(floppy, fid::OnExit);
  HWND bar = Ctl(floppy, fid::ProgressBar1);
  ASSERT_TRUE(create && exitButton && bar);
  EXPECT_EQ(drv::Text(Ctl(floppy, fid::Label2)), kBusyHint);
  EXPECT_FALSE(drv::Enabled(create));
  EXPECT_FALSE(drv::Enabled(exitButton));
  EXPECT_TRUE(drv::Visible(bar));
  const int midway = drv::ProgressPos(bar);
  EXPECT_GT(midway, 0);
  EXPECT_LT(midway, 1000);

  auto restart = ExpectBox("Create Flash BIOS diskette ", kRestartQuestion, {IDYES, IDNO}, Icon::Shown, 120s);
  ASSERT_TRUE(restart);
  EXPECT_EQ(drv::ProgressPos(bar), 1000);
  EXPECT_EQ(drv::ProgressMax(bar), 1000);
  EXPECT_TRUE(drv::Enabled(create));
  EXPECT_TRUE(drv::Enabled(exitButton));
  AnswerBox(restart, IDNO);  // never Yes under Wine: it would end the session

  EXPECT_TRUE(drv::WaitWindowGone(app_.pid(), {"TFloppy", std::nullopt, true}, 10s))
      << "No did not close the dialog; found:\n" << Windows();
  EXPECT_EQ(drv::Text(Ctl(floppy, fid::Label2)), kIdleHint);
  EXPECT_FALSE(drv::Visible(bar));
  ExpectNoBox(500ms);
  EXPECT_TRUE(app_.Running());
  EXPECT_TRUE(drv::Enabled(main_)) << "the main window stays disabled after the dialog";

  // The batch file runs on its own; give it a moment to write its line.
  std::vector<std::string> lines;
  for (int i = 0; i < 100 && lines.empty(); ++i) {
    lines = ReadLines(kBatchLog);
    if (lines.empty()) Sleep(100);
  }
  EXPECT_EQ(lines, std::vector<std::string>{"KAVT.107 A:"}) << "arguments of copybinFile.bat";

  const std::string after = ReadAll(diskette_);
  ASSERT_EQ(after.size(), before_.size());
  EXPECT_EQ(FirstDifferentSector(after.substr(0, kCopyBytes), image.substr(0, kCopyBytes)), -1)
      << "first sector that differs from fdd.imz";
  EXPECT_EQ(FirstDifferentSector(after.substr(kCopyBytes), before_.substr(kCopyBytes)), -1)
      << "first changed sector after the 750 copied ones (counted from 750)";
}

// ---- runs that write nothing -------------------------------------------------

class FloppyRefusals : public FloppyTask {};

TEST_F(FloppyRefusals, NoAtTheFormattingQuestionClosesTheDialogAndWritesNothing) {
  ASSERT_TRUE(CreateRun());
  auto format = ExpectBox(kTitle, kFormatQuestion, {IDYES, IDNO}, Icon::Shown);
  ASSERT_TRUE(format);
  AnswerBox(format, IDNO);
  EXPECT_TRUE(drv::WaitWindowGone(app_.pid(), {"TFloppy", std::nullopt, true}, 10s))
      << "No did not close the dialog; found:\n" << Windows();
  ExpectNoBox(500ms);
  ExpectDisketteUnchanged();
  EXPECT_FALSE(InstallFileExists(kBatchLog)) << "the batch file was started";
}

// The question has no owner: a second Create under it starts no second run.
TEST_F(FloppyRefusals, SecondCreateDuringTheFormattingQuestionStartsNothing) {
  HWND floppy = CreateRun();
  ASSERT_TRUE(floppy);
  auto format = ExpectBox(kTitle, kFormatQuestion, {IDYES, IDNO}, Icon::Shown);
  ASSERT_TRUE(format);
  ASSERT_TRUE(drv::Click(Ctl(floppy, fid::OnCreateDisk)));
  Sleep(1000);
  int boxes = 0;
  for (const drv::WindowInfo& w : drv::TopLevelWindows(app_.pid()))
    if (w.cls == "#32770" && w.visible) ++boxes;
  EXPECT_EQ(boxes, 1) << "a second run asked again; found:\n" << Windows();
  AnswerBox(format, IDNO);
  ExpectNoBox(1500ms);
  ExpectDisketteUnchanged();
  EXPECT_FALSE(InstallFileExists(kBatchLog)) << "the batch file was started";
}

TEST_F(FloppyRefusals, AnImageThatIsNotInRomStartsNothing) {
  main_ = StartToMainWindow();
  ASSERT_TRUE(main_);
  ASSERT_TRUE(drv::Click(Ctl(main_, kv::ids::mainform::OnFloppy)));
  HWND floppy = drv::WaitWindow(app_.pid(), {"TFloppy", "Create BIOS Flash Diskette", true}, 10s);
  ASSERT_TRUE(floppy);
  HWND combo = Ctl(floppy, fid::ComboBox1);
  DWORD_PTR result = 0;
  ASSERT_TRUE(SendMessageTimeoutW(combo, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"KAVT.108"),
                                  SMTO_ABORTIFHUNG, 5000, &result));
  ASSERT_TRUE(drv::Click(Ctl(floppy, fid::OnCreateDisk)));
  AnswerBox(ExpectBox(kTitle,
                      "The BIOS file KAVT.108 is not in C:\\KAVELTON\\ROM!\nPlease select a BIOS "
                      "file from the list.",
                      {IDOK}, Icon::Shown),
            IDOK);
  ExpectNoBox(1000ms);
  ExpectDisketteUnchanged();
}

TEST_F(FloppyRefusals, MissingImageIsReportedAsLost) {
  RemoveInstallFile("fdd.imz");
  HWND floppy = CreateRun();
  ASSERT_TRUE(floppy);
  auto box = ExpectBox(kTitle, "Lost fdd.imz in C:KAVELTON!", {IDOK}, Icon::Shown);
  AnswerBox(box, IDOK);
  ExpectNoBox(500ms);
  EXPECT_TRUE(drv::Visible(floppy)) << "the dialog stays open";
  EXPECT_TRUE(drv::Enabled(Ctl(floppy, fid::OnExit)));
  ExpectDisketteUnchanged();
}

TEST_F(FloppyRefusals, ShortImageIsRefusedBeforeTheFormattingQuestion) {
  ASSERT_NO_FATAL_FAILURE(WriteInstallFile("fdd.imz", std::string(kCopyBytes - 512, '\x5A')));
  HWND floppy = CreateRun();
  ASSERT_TRUE(floppy);
  auto box = drv::WaitMessageBox(app_.pid(), 10s);
  ASSERT_TRUE(box) << "no message; found:\n" << Windows();
  EXPECT_EQ(box->title, kTitle);
  EXPECT_NE(box->text.find("fdd.imz"), std::string::npos) << drv::Escape(box->text);
  EXPECT_EQ(box->buttons, std::vector<int>{IDOK});
  AnswerBox(box, IDOK);
  ExpectNoBox(500ms);
  ExpectDisketteUnchanged();
}

// ---- runs that write and then fail ---------------------------------------------

class FloppyFaults : public FloppyTask {
 protected:
  // Each test changes the diskette: the next one starts from the same bytes.
  void TearDown() override {
    FloppyTask::TearDown();
    std::ofstream(diskette_, std::ios::binary | std::ios::trunc) << before_;
  }
};

// Without copybinFile.bat the run ends in an error box, not in "Successful!".
TEST_F(FloppyFaults, AMissingBatchFileIsReportedInsteadOfSuccess) {
  RemoveInstallFile("copybinFile.bat");
  ASSERT_TRUE(CreateRun());
  AnswerBox(ExpectBox(kTitle, kFormatQuestion, {IDYES, IDNO}, Icon::Shown), IDYES);
  auto box = drv::WaitMessageBox(app_.pid(), 60s);
  ASSERT_TRUE(box) << "no outcome; found:\n" << Windows();
  EXPECT_EQ(box->title, kTitle);
  EXPECT_EQ(box->text, "copybinFile.bat could not be started (error 2).\nThe BIOS file was not copied.");
  EXPECT_EQ(box->buttons, std::vector<int>{IDOK}) << "no restart question";
  AnswerBox(box, IDOK);
  ExpectNoBox(1000ms);
}

// A diskette that does not keep what was written (here: a sector that keeps
// changing under the copy) is found by the read-back and reported.
TEST_F(FloppyFaults, ADisketteThatDiffersFromTheImageIsReported) {
  std::atomic<bool> stop{false};
  std::thread scribbler([&] {
    const std::string junk(512, '\x6B');
    while (!stop) {
      HANDLE h = CreateFileA(diskette_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
      if (h != INVALID_HANDLE_VALUE) {
        SetFilePointer(h, 5 * 512, nullptr, FILE_BEGIN);
        DWORD n = 0;
        WriteFile(h, junk.data(), 512, &n, nullptr);
        CloseHandle(h);
      }
      Sleep(2);
    }
  });
  struct Join {
    std::atomic<bool>& stop;
    std::thread& t;
    ~Join() {
      stop = true;
      t.join();
    }
  } join{stop, scribbler};
  ASSERT_TRUE(CreateRun());
  AnswerBox(ExpectBox(kTitle, kFormatQuestion, {IDYES, IDNO}, Icon::Shown), IDYES);
  auto box = drv::WaitMessageBox(app_.pid(), 60s);
  ASSERT_TRUE(box) << "no outcome; found:\n" << Windows();
  EXPECT_EQ(box->title, "Create Flash BIOS diskette");
  EXPECT_EQ(box->text,
            "The diskette does not hold what was written: sector 5 differs from fdd.imz!\n"
            "Please use another floppy disk.");
  EXPECT_EQ(box->buttons, std::vector<int>{IDOK}) << "no restart question";
  AnswerBox(box, IDOK);
  ExpectNoBox(1000ms);
  EXPECT_FALSE(InstallFileExists(kBatchLog)) << "the batch file was started";
}

// A USB stick that got the letter A: (here an 8 MB volume) is refused
// before the formatting question, and keeps every byte.
TEST_F(FloppyFaults, AVolumeOfAnotherSizeIsNotWritten) {
  const std::string stick = before_ + std::string((8u << 20) - before_.size(), '\x3C');
  std::ofstream(diskette_, std::ios::binary | std::ios::trunc) << stick;
  ASSERT_TRUE(CreateRun());
  const char* const refusal = "The disk in drive A: holds 8388608 bytes.\nOnly a 1.44 MB diskette (1474560 "
                              "bytes) can be written.";
  AnswerBox(ExpectBox(kTitle, refusal, {IDOK}, Icon::Shown), IDOK);
  ExpectNoBox(1000ms);
  EXPECT_EQ(FirstDifferentSector(ReadAll(diskette_), stick), -1) << "first changed sector";
  EXPECT_FALSE(InstallFileExists(kBatchLog)) << "the batch file was started";
}

}  // namespace
}  // namespace kv::e2e
