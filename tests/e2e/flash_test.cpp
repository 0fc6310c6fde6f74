// The in-Windows flash task end to end: the real Kavelton.exe starts a
// recording stand-in for WinFlash64.exe (it logs its command line to
// flasher.log and lives as many seconds as the image file asks), watches it
// through the process list and asks the restart question when it has gone.
// The restart question is only ever answered No: a reboot request ends the
// whole Wine session.
#include <cstdlib>

#include "e2e_fixture.h"
#include "forms/control_ids.h"

namespace kv::e2e {
namespace {

namespace win = kv::ids::window;

const char* const kFlashTitle = "Flash BIOS in windows";
const char* const kNotAwardTitle = "Detect your system BIOS";
const char* const kNotAward = "Your system is not award BIOS!\nIt can not flash your BIOS!";
const char* const kRestartTitle = "Flash system BIOS successful";
const char* const kRestart = "Flash system BIOS successful!\nDo you want to restart your system?";
const char* const kEmptyTitle = "Create Flash BIOS Diskette!";
const char* const kEmptyFolder =
    "Please put BIOS files under \nthe folder C:\\KAVELTON\\ROM,\nAnd reopen this Program!";
const char* const kCompareTitle = "Compare BIOS Version";
const char* const kNewer = "Your system BIOS version\nis newer than you select,\ndo you want to continue?";
const char* const kLatest =
    "This computer BIOS version is already the latest\nor more updated than the BIOS version you "
    "are going to flash.\nDo you still want to continue (Y/N)?";

std::string Command(const std::string& image) {
  return "winflash64.exe C:\\KAVELTON\\Rom\\" + image + " /exit /py";
}

class Flash : public KaveltonTest {
 protected:
  void SetUp() override {
    KaveltonTest::SetUp();
    if (HasFatalFailure()) return;
    drv::KillAllNamed("WinFlash64.exe");
    ASSERT_NO_FATAL_FAILURE(UseBiosDouble({.version = "KVD.100"}));
    ASSERT_NO_FATAL_FAILURE(WriteInstallFile("System.txt", "SystemID:ABC12\r\n"));
    RemoveInstallFile("ROM\\KAVT.107");
    RemoveInstallFile("WinFlash64.exe");
    RemoveInstallFile("flasher.log");
    // Every test flashes under the same wineserver, so the same boot: the
    // record of the last one would wait for its restart.
    RemoveInstallFile("LastUpdate.txt");
  }
  void TearDown() override {
    drv::KillAllNamed("WinFlash64.exe");
    drv::KillAllNamed("FlashHelper.exe");
    KaveltonTest::TearDown();
  }

  static void Image(const std::string& name, const std::string& text = "BIOS image\r\n") {
    WriteInstallFile("ROM\\" + name, text);
  }

  // Starts the program and opens the flash dialog. With an empty catalogue
  // the diskette dialog, created at start, warns first; the flash dialog's
  // own warning is left to the caller.
  void OpenDialog(bool emptyCatalogue = false) {
    if (emptyCatalogue) {
      ASSERT_NO_FATAL_FAILURE(StartApp());
      AnswerBox(ExpectBox(kEmptyTitle, kEmptyFolder, {IDOK}, Icon::Shown), IDOK);
      main_ = WaitMainWindow();
    } else {
      main_ = StartToMainWindow();
    }
    ASSERT_TRUE(main_);
    HWND button = Ctl(main_, kv::ids::mainform::OnWinFlash);
    ASSERT_TRUE(button);
    ASSERT_TRUE(drv::Click(button)) << "flashing is not offered; found:\n" << Windows();
    if (!emptyCatalogue) {
        ASSERT_NO_FATAL_FAILURE(WaitDialog());
    }
  }
  void WaitDialog() {
    dialog_ = drv::WaitWindow(app_.pid(), {"TWindow", "Flash BIOS in Windows", true}, 10s);
    ASSERT_TRUE(dialog_) << "no flash dialog; found:\n" << Windows();
  }
  void Ok() {
    HWND ok = Ctl(dialog_, win::Button1);
    ASSERT_TRUE(ok);
    ASSERT_TRUE(drv::Click(ok)) << "OK cannot be clicked; found:\n" << Windows();
  }
  void Type(const std::string& text) {
    HWND combo = Ctl(dialog_, win::ComboBox1);
    ASSERT_TRUE(combo);
    const std::wstring wide(text.begin(), text.end());
    DWORD_PTR result = 0;
    ASSERT_TRUE(SendMessageTimeoutW(combo, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()),
                                    SMTO_ABORTIFHUNG, 5000, &result));
    ASSERT_EQ(drv::ComboText(combo), text);
  }
  std::vector<std::string> FlasherLog() { return ReadLines("flasher.log"); }
  bool DialogOpen() { return dialog_ && IsWindow(dialog_) && drv::Visible(dialog_); }

  HWND main_ = nullptr;
  HWND dialog_ = nullptr;
};

TEST_F(Flash, FlasherThatRunsThenEndsIsSeenAndNoToTheRestartClosesTheDialog) {
  ASSERT_NO_FATAL_FAILURE(Image("KVD.099"));
  ASSERT_NO_FATAL_FAILURE(Image("KVD.101", "seconds=3\r\n"));
  ASSERT_NO_FATAL_FAILURE(InstallFlasher());
  ASSERT_NO_FATAL_FAILURE(OpenDialog());
  EXPECT_EQ(GetWindow(dialog_, GW_OWNER), main_);
  HWND combo = Ctl(dialog_, win::ComboBox1);
  ASSERT_TRUE(combo);
  EXPECT_EQ(drv::ComboText(combo), "KVD.101") << "the newest image is preselected";
  EXPECT_EQ(drv::ComboItems(combo).size(), 2u);
  EXPECT_EQ(drv::Text(Ctl(dialog_, win::Label1)), "Latest BIOS to flash! ");
  EXPECT_EQ(drv::Text(Ctl(dialog_, win::Label2)), "Select  older version if nessary! ");
  SIZE client = drv::ClientSize(dialog_);
  EXPECT_EQ(client.cx, 266);
  EXPECT_EQ(client.cy, 174);
  EXPECT_FALSE(drv::Enabled(main_)) << "the main window takes clicks under the dialog";

  ASSERT_NO_FATAL_FAILURE(Ok());
  // A newer image asks nothing: the first box is the restart question, once
  // the flasher has gone (about four seconds).
  auto box = ExpectBox(kRestartTitle, kRestart, {IDYES, IDNO}, Icon::Shown, 20s);
  ASSERT_TRUE(box);
  EXPECT_EQ(drv::KillAllNamed("WinFlash64.exe"), 0) << "the question came while the flasher ran";
  EXPECT_EQ(FlasherLog(), std::vector<std::string>{Command("KVD.101")});
  AnswerBox(box, IDNO);
  EXPECT_TRUE(drv::WaitWindowGone(app_.pid(), {"TWindow", std::nullopt, true}, 5s))
      << "No did not close the dialog; found:\n" << Windows();
  ExpectNoBox(1500ms);
  EXPECT_TRUE(app_.Running());
  EXPECT_TRUE(drv::Visible(main_));
  EXPECT_TRUE(drv::Enabled(main_));
}

// A second OK while the flasher runs starts no second one, and a flasher
// that ends with a non-zero code is not called a success.
TEST_F(Flash, SecondOkStartsNoSecondFlasherAndAFailedFlashIsNoSuccess) {
  ASSERT_NO_FATAL_FAILURE(Image("KVD.101", "seconds=4\r\nexit=5\r\n"));
  ASSERT_NO_FATAL_FAILURE(InstallFlasher());
  ASSERT_NO_FATAL_FAILURE(OpenDialog());
  ASSERT_NO_FATAL_FAILURE(Ok());
  Sleep(2000);  // OK is shown again one second after the start; the flasher runs on
  ASSERT_NO_FATAL_FAILURE(Ok());
  AnswerBox(ExpectBox(kFlashTitle,
                      "A BIOS flash is in progress!\nWait until WinFlash64.exe has ended before "
                      "you start another one.",
                      {IDOK}, Icon::Shown),
            IDOK);
  auto box = drv::WaitMessageBox(app_.pid(), 20s);
  ASSERT_TRUE(box) << "no outcome; found:\n" << Windows();
  EXPECT_EQ(box->title, kFlashTitle);
  EXPECT_NE(box->text.find("exit code 5"), std::string::npos) << drv::Escape(box->text);
  EXPECT_EQ(box->buttons, std::vector<int>{IDOK}) << "no restart question";
  AnswerBox(box, IDOK);
  EXPECT_EQ(FlasherLog(), std::vector<std::string>{Command("KVD.101")});
  ExpectNoBox(1500ms);
}

// One flash at a time across processes: /flash beside a dialog whose flash
// runs starts none. The flasher hands over to a helper under another name
// and ends at once: the hold and the lock stay, and the outcome comes, until
// and once the helper has gone.
TEST_F(Flash, TheCommandLineStartsNoSecondFlasherBesideTheDialog) {
  ASSERT_NO_FATAL_FAILURE(Image("KVD.101", "handover=6\r\n"));
  ASSERT_NO_FATAL_FAILURE(InstallFlasher());
  ASSERT_NO_FATAL_FAILURE(OpenDialog());
  ASSERT_NO_FATAL_FAILURE(Ok());
  Sleep(2500);  // past the first tick
  DWORD_PTR session = TRUE;
  ASSERT_TRUE(SendMessageTimeoutW(dialog_, WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP, SMTO_ABORTIFHUNG, 5000, &session));
  EXPECT_EQ(session, static_cast<DWORD_PTR>(FALSE)) << "the hold ended with the flasher's first process";
  std::string error;
  drv::Process cli = drv::Process::Start(InstallPath("Kavelton.exe"), "/flash KVD.101 /force", kInstallDir, &error);
  ASSERT_TRUE(cli.started()) << StartFailure(error);
  DWORD code = 0;
  ASSERT_TRUE(cli.WaitExit(30s, &code));
  EXPECT_EQ(code, 7u) << "the command line's exit code";
  AnswerBox(ExpectBox(kRestartTitle, kRestart, {IDYES, IDNO}, Icon::Shown, 20s), IDNO);
  EXPECT_EQ(drv::KillAllNamed("FlashHelper.exe"), 0) << "the outcome came while the helper ran";
  EXPECT_EQ(FlasherLog(), std::vector<std::string>{Command("KVD.101")});
}

TEST_F(Flash, EnterInTheImageListStartsTheFlash) {
  ASSERT_NO_FATAL_FAILURE(Image("KVD.101", "seconds=2\r\n"));
  ASSERT_NO_FATAL_FAILURE(InstallFlasher());
  ASSERT_NO_FATAL_FAILURE(OpenDialog());
  ASSERT_TRUE(IsChild(Ctl(dialog_, win::ComboBox1), drv::Focus(dialog_))) << "the list has the focus";
  ASSERT_TRUE(drv::PressKey(dialog_, VK_RETURN));
  AnswerBox(ExpectBox(kRestartTitle, kRestart, {IDYES, IDNO}, Icon::Shown, 20s), IDNO);
  EXPECT_EQ(FlasherLog(), std::vector<std::string>{Command("KVD.101")});
}

TEST_F(Flash, EscapeClosesTheDialogAndTheFocusReturnsToTheFlashButton) {
  ASSERT_NO_FATAL_FAILURE(Image("KVD.101"));
  ASSERT_NO_FATAL_FAILURE(OpenDialog());
  ASSERT_TRUE(drv::PressKey(dialog_, VK_ESCAPE));
  EXPECT_TRUE(drv::WaitWindowGone(app_.pid(), {"TWindow", std::nullopt, true}, 5s));
  EXPECT_EQ(drv::Focus(main_), Ctl(main_, kv::ids::mainform::OnWinFlash));
}

TEST_F(Flash, MissingFlasherIsReportedOnceAndEndsTheWatch) {
  ASSERT_NO_FATAL_FAILURE(Image("KVD.101"));
  ASSERT_NO_FATAL_FAILURE(OpenDialog());
  ASSERT_NO_FATAL_FAILURE(Ok());
  auto box = ExpectBox(kNotAwardTitle, kNotAward, {IDOK}, Icon::Shown, 10s);
  ASSERT_TRUE(box);
  AnswerBox(box, IDOK);
  ExpectNoBox(2500ms);  // the timer stopped with the first tick
  EXPECT_TRUE(DialogOpen());
  EXPECT_TRUE(FlasherLog().empty());
}

TEST_F(Flash, FlasherEndingWithinTheFirstSecondIsNotSeen) {
  ASSERT_NO_FATAL_FAILURE(Image("KVD.101"));  // asks for no time at all
  ASSERT_NO_FATAL_FAILURE(InstallFlasher());
  ASSERT_NO_FATAL_FAILURE(OpenDialog());
  ASSERT_NO_FATAL_FAILURE(Ok());
  auto box = ExpectBox(kNotAwardTitle, kNotAward, {IDOK}, Icon::Shown, 10s);
  EXPECT_EQ(FlasherLog(), std::vector<std::string>{Command("KVD.101")});
  AnswerBox(box, IDOK);
  ExpectNoBox(2500ms);
  EXPECT_TRUE(DialogOpen());
}

TEST_F(Flash, EqualImageGetsTheAlreadyLatestQuestionAndNoStartsNothing) {
  ASSERT_NO_FATAL_FAILURE(Image("KVD.100"));
  ASSERT_NO_FATAL_FAILURE(InstallFlasher());
  ASSERT_NO_FATAL_FAILURE(OpenDialog());
  ASSERT_NO_FATAL_FAILURE(Ok());
  auto box = ExpectBox(kCompareTitle, kLatest, {IDYES, IDNO}, Icon::Shown);
  ASSERT_TRUE(box);
  AnswerBox(box, IDNO);
  ExpectNoBox(2500ms);
  EXPECT_TRUE(FlasherLog().empty()) << "the flasher was started";
  EXPECT_TRUE(DialogOpen());
}

TEST_F(Flash, OlderImageGetsTheNewerBiosQuestionAndYesGoesOn) {
  ASSERT_NO_FATAL_FAILURE(Image("KVD.099"));
  ASSERT_NO_FATAL_FAILURE(InstallFlasher());
  ASSERT_NO_FATAL_FAILURE(OpenDialog());
  ASSERT_NO_FATAL_FAILURE(Ok());
  auto box = ExpectBox(kCompareTitle, kNewer, {IDYES, IDNO}, Icon::Shown);
  AnswerBox(box, IDYES);
  auto end = ExpectBox(kNotAwardTitle, kNotAward, {IDOK}, Icon::Shown, 10s);
  EXPECT_EQ(FlasherLog(), std::vector<std::string>{Command("KVD.099")});
  AnswerBox(end, IDOK);
}

TEST_F(Flash, UnreadableRunningVersionAsksThatTheVersionsCannotBeCompared) {
  ASSERT_NO_FATAL_FAILURE(UseBiosDouble({.version = "...."}));
  ASSERT_NO_FATAL_FAILURE(Image("KVD.101"));
  ASSERT_NO_FATAL_FAILURE(InstallFlasher());
  ASSERT_NO_FATAL_FAILURE(OpenDialog());
  ASSERT_NO_FATAL_FAILURE(Ok());
  auto box = ExpectBox(kCompareTitle,
                       "The BIOS versions can not be compared:\nrunning BIOS version: ....\n"
                       "selected BIOS file: KVD.101\nDo you want to continue?",
                       {IDYES, IDNO}, Icon::Shown);
  ASSERT_TRUE(box);
  AnswerBox(box, IDNO);
  ExpectNoBox(2500ms);
  EXPECT_TRUE(FlasherLog().empty()) << "the flasher was started";
  EXPECT_TRUE(DialogOpen());
}

TEST_F(Flash, ANameTheTaskWouldRefuseIsNeitherListedNorPreselected) {
  ASSERT_NO_FATAL_FAILURE(Image("A.030"));
  ASSERT_NO_FATAL_FAILURE(Image("my bios.040"));
  ASSERT_NO_FATAL_FAILURE(OpenDialog());
  HWND combo = Ctl(dialog_, win::ComboBox1);
  ASSERT_TRUE(combo);
  EXPECT_EQ(drv::ComboText(combo), "A.030");
  EXPECT_EQ(drv::ComboItems(combo), std::vector<std::string>{"A.030"});
}

TEST_F(Flash, EmptyCatalogueWarnsAndOkThenAsksForAnImage) {
  ASSERT_NO_FATAL_FAILURE(InstallFlasher());
  ASSERT_NO_FATAL_FAILURE(OpenDialog(true));
  auto box = ExpectBox(kEmptyTitle, kEmptyFolder, {IDOK}, Icon::Shown);
  ASSERT_TRUE(box);
  AnswerBox(box, IDOK);
  ASSERT_NO_FATAL_FAILURE(WaitDialog());
  EXPECT_EQ(drv::ComboText(Ctl(dialog_, win::ComboBox1)), "");
  EXPECT_TRUE(drv::ComboItems(Ctl(dialog_, win::ComboBox1)).empty());
  ASSERT_NO_FATAL_FAILURE(Ok());
  auto select = ExpectBox(kFlashTitle, "Please select one BIOS!", {IDOK}, Icon::Shown);
  ASSERT_TRUE(select);
  AnswerBox(select, IDOK);
  ExpectNoBox(1500ms);
  EXPECT_TRUE(FlasherLog().empty());
}

// What the user types is checked before it reaches the command line: an
// empty choice, a name that would run a second command, and a plain name
// that is not in the list (used as typed).
TEST_F(Flash, TypedTextIsCheckedThenUsedAsTyped) {
  ASSERT_NO_FATAL_FAILURE(Image("KVD.101"));
  ASSERT_NO_FATAL_FAILURE(InstallFlasher());
  ASSERT_NO_FATAL_FAILURE(OpenDialog());

  ASSERT_NO_FATAL_FAILURE(Type(""));
  ASSERT_NO_FATAL_FAILURE(Ok());
  AnswerBox(ExpectBox(kFlashTitle, "Please select one BIOS!", {IDOK}, Icon::Shown), IDOK);

  ASSERT_NO_FATAL_FAILURE(Type("KVD.101&echo x>injected.txt"));
  ASSERT_NO_FATAL_FAILURE(Ok());
  auto refused = drv::WaitMessageBox(app_.pid(), 10s);
  ASSERT_TRUE(refused) << "no refusal; found:\n" << Windows();
  EXPECT_EQ(refused->title, kFlashTitle);
  EXPECT_NE(refused->text.find("can not be used"), std::string::npos) << drv::Escape(refused->text);
  EXPECT_EQ(refused->buttons, std::vector<int>{IDOK});
  EXPECT_TRUE(refused->icon) << "an error box";
  AnswerBox(refused, IDOK);
  ExpectNoBox(1500ms);
  EXPECT_FALSE(InstallFileExists("injected.txt"));
  EXPECT_TRUE(FlasherLog().empty());

  // A name that is no file of ROM starts nothing.
  ASSERT_NO_FATAL_FAILURE(Type("typed.102"));
  ASSERT_NO_FATAL_FAILURE(Ok());
  AnswerBox(ExpectBox(kFlashTitle,
                      "The BIOS file typed.102 is not in C:\\KAVELTON\\ROM!\nPlease select a BIOS file "
                      "from the list.",
                      {IDOK}, Icon::Shown),
            IDOK);
  ExpectNoBox(1500ms);
  EXPECT_TRUE(FlasherLog().empty());
}

}  // namespace
}  // namespace kv::e2e
