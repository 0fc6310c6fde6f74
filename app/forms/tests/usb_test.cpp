// The USB key creation dialog, driven through the fake platform: what it
// lists, what it refuses, the command it starts, the animation's timing and
// the restart question.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fake_platform.h"
#include "forms/control_ids.h"
#include "forms/Main.h"
#include "forms/Myusb.h"
#include "modal_helpers.h"

namespace kv {
namespace {

using test::FakePlatform;
using test::MessageRecord;

const char kRom[] = "C:\\KAVELTON\\ROM\\*.*";
const char kTitle[] = "Create Flash BIOS Penlet";
const UINT kErrorStyle = MB_OK | MB_ICONERROR | MB_TOPMOST;
const char kNewerBiosQuestion[] =
    "Your system BIOS version\nis newer than you select,\ndo you want to continue?";
const char kRestartQuestion[] =
    " Successful! Restart system to update BIOS?\nSave & Close opened files before restarting.";

std::string Describe(const std::vector<MessageRecord>& messages) {
    std::string out;
    for (const MessageRecord& m : messages) out += "[" + m.title + "] \"" + m.text + "\"\n";
    return out.empty() ? "no messages" : out;
}

class UsbDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Without BIOS.dll and System.txt the main window still opens; its
        // notices are not this dialog's business.
        main_ = std::make_unique<TMainForm>();
        main_->BIOSVersion = "KV1.105";
        Drives({"E:"});
        Folder({"KV1.105", "KV1.107"});
        fake().messages.clear();
        fake().calls.clear();
    }

    FakePlatform& fake() { return scoped_.fake; }

    void Drives(const std::vector<std::string>& drives) {
        std::memset(main_->USBDrive, 0, sizeof main_->USBDrive);
        int n = 0;
        for (const std::string& d : drives) {
            main_->USBDrive[n][0] = d[0];
            main_->USBDrive[n][1] = d[1];
            ++n;
        }
        main_->USBDriveCount = n;
    }
    void Folder(const std::vector<std::string>& names) {
        std::vector<FolderEntry> entries;
        for (const std::string& name : names) entries.push_back({name, FILE_ATTRIBUTE_ARCHIVE});
        fake().folders[kRom] = entries;
    }

    TUSB& Open() {
        dialog_ = std::make_unique<TUSB>(main_.get());
        return *dialog_;
    }
    // Opens the dialog with these texts in its boxes and clicks OK.
    TUSB& Ok(const std::string& drive, const std::string& image) {
        TUSB& d = Open();
        d.ComboBox1.SetText(drive);
        d.ComboBox2.SetText(image);
        fake().messages.clear();
        fake().calls.clear();
        d.Button1Click();
        return d;
    }

    std::vector<std::string> Items(const ui::TComboBox& box) {
        std::vector<std::string> out;
        for (int i = 0; i < box.ItemCount(); ++i) out.push_back(box.Item(i));
        return out;
    }
    bool NothingStarted() {
        return fake().commands.empty() && fake().CallCount("Sleep") == 0 &&
               fake().CallCount("Restart") == 0;
    }
    void ExpectOnlyError(const std::string& text) {
        ASSERT_EQ(fake().messages.size(), 1u) << Describe(fake().messages);
        EXPECT_EQ(fake().messages[0].text, text);
        EXPECT_EQ(fake().messages[0].title, kTitle);
        EXPECT_EQ(fake().messages[0].style, kErrorStyle);
    }

    test::ScopedFake scoped_;
    std::unique_ptr<TMainForm> main_;
    std::unique_ptr<TUSB> dialog_;
};

// --- opening ------------------------------------------------------------------

TEST_F(UsbDialogTest, OneDriveIsListedAndShown) {
    TUSB& d = Open();
    EXPECT_EQ(Items(d.ComboBox1), (std::vector<std::string>{"E:"}));
    EXPECT_EQ(d.ComboBox1.Text(), "E:");
}

TEST_F(UsbDialogTest, SeveralDrivesAreListedInOrderAndTheFirstIsShown) {
    Drives({"G:", "B:", "E:"});
    TUSB& d = Open();
    EXPECT_EQ(Items(d.ComboBox1), (std::vector<std::string>{"G:", "B:", "E:"}))
        << "the list keeps the scan's order, unsorted";
    EXPECT_EQ(d.ComboBox1.Text(), "G:");
    EXPECT_EQ(Items(d.ComboBox2), (std::vector<std::string>{"KV1.105", "KV1.107"}));
    EXPECT_EQ(d.ComboBox2.Text(), "KV1.107") << "the newest image is pre-selected";
    EXPECT_TRUE(fake().messages.empty()) << Describe(fake().messages);
    EXPECT_TRUE(d.Button1.Visible());
    EXPECT_TRUE(d.Button2.Visible());
    EXPECT_FALSE(d.ProgressBar1.Visible());
}

TEST_F(UsbDialogTest, EachOpeningReadsTheCurrentDrivesAndImages) {
    Open();
    Drives({"F:"});
    Folder({"KV1.109"});
    TUSB& d = Open();
    EXPECT_EQ(Items(d.ComboBox1), (std::vector<std::string>{"F:"}));
    EXPECT_EQ(Items(d.ComboBox2), (std::vector<std::string>{"KV1.109"}));
}

TEST_F(UsbDialogTest, EmptyCatalogueIsReportedOnceAndTheDialogStillOpens) {
    fake().folders.clear();
    TUSB& d = Open();
    ExpectOnlyError("Please put rom flash files under \n the folder  C:\\KAVELTON\\ROM!");
    EXPECT_EQ(d.ComboBox2.ItemCount(), 0);
    EXPECT_EQ(d.ComboBox2.Text(), "");
    EXPECT_EQ(d.ComboBox1.Text(), "E:");

    fake().messages.clear();
    d.Button1Click();
    ExpectOnlyError("Please select one bin files!");
    EXPECT_TRUE(NothingStarted());
}

TEST_F(UsbDialogTest, TabOrderAndControlsThatFit) {
    TUSB& d = Open();
    char name[32] = {};
    GetClassNameA(d.Handle(), name, sizeof name);
    EXPECT_STREQ(name, "TUSB");
    char caption[64] = {};
    GetWindowTextA(d.Handle(), caption, sizeof caption);
    EXPECT_STREQ(caption, "Create BIOS Flash Penlet");
    EXPECT_EQ(GetWindow(d.Handle(), GW_OWNER), main_->Handle());
    EXPECT_EQ(d.Label1.Text(), "Please select USB disk:  ");
    EXPECT_EQ(d.Label2.Text(), "Please select BIOS file:  ");
    EXPECT_EQ(d.Button1.Text(), "OK");
    EXPECT_EQ(d.Button2.Text(), "Close");
    EXPECT_EQ(SendMessageA(d.ProgressBar1.Handle(), PBM_GETRANGE, TRUE, 0), 0);
    EXPECT_EQ(SendMessageA(d.ProgressBar1.Handle(), PBM_GETRANGE, FALSE, 0), 220);
    for (const ui::TComboBox* box : {&d.ComboBox1, &d.ComboBox2}) {
        const LONG style = GetWindowLongA(box->Handle(), GWL_STYLE);
        EXPECT_EQ(style & 3, CBS_DROPDOWN) << "an edit field, not a fixed list; style " << style;
        EXPECT_EQ(style & CBS_SORT, 0) << "unsorted";
    }

    // Tab follows the creation (Z) order of the tab-order controls.
    std::vector<int> order;
    for (HWND c = GetWindow(d.Handle(), GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        const int id = GetDlgCtrlID(c);
        if (id != ids::usb::Label1 && id != ids::usb::Label2) order.push_back(id);
    }
    EXPECT_EQ(order, (std::vector<int>{ids::usb::Button1, ids::usb::ComboBox1, ids::usb::Button2,
                                       ids::usb::ProgressBar1, ids::usb::ComboBox2}));

    d.Show();
    d.ProgressBar1.SetVisible(true);
    EXPECT_EQ(test::ExpectControlsFit(d.Handle()), 7u);
}

// --- refusals before anything starts -----------------------------------------

TEST_F(UsbDialogTest, EmptyTextsAreRefusedWithTheirMessages) {
    Ok("", "KV1.107");
    ExpectOnlyError("Please select one USB disk!");
    EXPECT_TRUE(NothingStarted());

    Ok("E:", "");
    ExpectOnlyError("Please select one bin files!");
    EXPECT_TRUE(NothingStarted());
}

TEST_F(UsbDialogTest, DriveTextsThatAreNoDriveAreRefused) {
    for (const char* drive : {"E:&del", "EE:", "E", "1:", " E:", "E:\\", "E: F"}) {
        SCOPED_TRACE(drive);
        Ok(drive, "KV1.107");
        ASSERT_EQ(fake().messages.size(), 1u) << Describe(fake().messages);
        EXPECT_EQ(fake().messages[0].title, kTitle);
        EXPECT_EQ(fake().messages[0].style, kErrorStyle);
        EXPECT_NE(fake().messages[0].text.find("E:"), std::string::npos)
            << "the message names the expected form; got " << fake().messages[0].text;
        EXPECT_TRUE(NothingStarted());
    }
}

TEST_F(UsbDialogTest, ImageNamesThatWouldChangeTheCommandAreRefused) {
    for (const char* image : {"../x.rom", "a|b", "KV1.107&calc", "a b", "C:\\x.rom", "x>y",
                              "\"q\"", "%PATH%", "..", "*.*"}) {
        SCOPED_TRACE(image);
        Ok("E:", image);
        ASSERT_EQ(fake().messages.size(), 1u) << Describe(fake().messages);
        EXPECT_EQ(fake().messages[0].title, kTitle);
        EXPECT_EQ(fake().messages[0].style, kErrorStyle);
        EXPECT_NE(fake().messages[0].text, kNewerBiosQuestion) << "refused before the question";
        EXPECT_TRUE(NothingStarted());
    }
}

TEST_F(UsbDialogTest, CommandLongerThan79CharactersIsRefused) {
    // "ToUSB.bat  E: " takes 14 of the 79 characters.
    Ok("E:", std::string(70, 'K'));
    ASSERT_EQ(fake().messages.size(), 1u) << Describe(fake().messages);
    EXPECT_EQ(fake().messages[0].style, kErrorStyle);
    EXPECT_TRUE(NothingStarted());

    Ok("E:", std::string(66, 'K'));
    EXPECT_TRUE(NothingStarted()) << "80 characters do not fit";

    Folder({"KV1.105", std::string(65, 'K')});
    fake().answers = {IDYES};  // the version question: the name holds no version
    Ok("E:", std::string(65, 'K'));
    ASSERT_EQ(fake().commands.size(), 1u) << Describe(fake().messages);
    // 79 characters as the batch file's name; it starts by its full path.
    EXPECT_EQ(fake().commands[0], "\"C:\\KAVELTON\\ToUSB.bat\"  E: " + std::string(65, 'K'));
}

// --- the work -------------------------------------------------------------------

TEST_F(UsbDialogTest, EqualOrOlderImageAsksAndNoStartsNothing) {
    Folder({"KV1.105", "KV1.100"});
    for (const char* image : {"KV1.105", "KV1.100"}) {
        SCOPED_TRACE(image);
        TUSB& d = Ok("E:", image);
        ASSERT_EQ(fake().messages.size(), 1u) << Describe(fake().messages);
        EXPECT_EQ(fake().messages[0].text, kNewerBiosQuestion);
        EXPECT_EQ(fake().messages[0].title, "Compare BIOS Version");
        EXPECT_EQ(fake().messages[0].style,
                  static_cast<UINT>(MB_YESNO | MB_ICONWARNING | MB_TOPMOST));
        EXPECT_TRUE(NothingStarted());
        EXPECT_TRUE(d.Button1.Visible());
        EXPECT_TRUE(d.Button2.Visible());
        EXPECT_FALSE(d.ProgressBar1.Visible());
    }
}

TEST_F(UsbDialogTest, CommandForDriveEAndImageFHasTwoBlanksAfterTheBatchName) {
    Folder({"F"});
    fake().answers = {IDYES, IDNO};  // "F" holds no version: the question comes
    Ok("E:", "F");
    ASSERT_EQ(fake().commands.size(), 1u) << Describe(fake().messages);
    EXPECT_EQ(fake().commands[0], "\"C:\\KAVELTON\\ToUSB.bat\"  E: F");
    EXPECT_EQ(fake().started[0].show, static_cast<UINT>(SW_HIDE)) << "started without a window";
    ASSERT_FALSE(fake().events.empty());
    EXPECT_EQ(fake().events.back().id, 112u) << "the key written";
    EXPECT_EQ(fake().events.back().inserts, (std::vector<std::wstring>{L"Create Flash BIOS Penlet", L"F", L"E:"}));
}

// ToUSB.bat gets only a drive the last scan found, in the list's spelling,
// and never the system drive, even when a scan that matches disks by size
// lists it.
TEST_F(UsbDialogTest, OnlyAScannedDriveOtherThanTheSystemDriveIsUsed) {
    Drives({"C:", "G:"});
    Folder({"KV1.199"});
    struct Case {
        const char* typed;
        const char* refusal;  // nullptr: started with G:
    };
    for (const Case& c : {Case{"g:", nullptr}, Case{"Z:", "The drive Z: was not found as a USB disk!"},
                          Case{"A:", "The drive A: was not found as a USB disk!"},
                          Case{"c:", "The drive C: is the system drive!"}}) {
        SCOPED_TRACE(c.typed);
        fake().messages.clear();
        fake().commands.clear();
        Ok(c.typed, "KV1.199");
        if (!c.refusal) {
            ASSERT_EQ(fake().commands.size(), 1u) << Describe(fake().messages);
            EXPECT_EQ(fake().commands[0], "\"C:\\KAVELTON\\ToUSB.bat\"  G: KV1.199");
            continue;
        }
        ASSERT_EQ(fake().messages.size(), 1u) << Describe(fake().messages);
        EXPECT_EQ(fake().messages[0].text.rfind(c.refusal, 0), 0u) << fake().messages[0].text;
        EXPECT_EQ(fake().messages[0].style, kErrorStyle);
        EXPECT_TRUE(NothingStarted());
    }
}

// A batch file that cannot start, fails or never ends is an error, never a
// success: no success or restart question follows.
TEST_F(UsbDialogTest, TheBatchFilesOutcomeDecidesTheSuccessQuestion) {
    struct Case {
        const char* name;
        DWORD startError, exitCode, runMs;
        const char* error;  // nullptr: the success question
    };
    const Case cases[] = {
        {"ends with 0 while the animation runs", 0, 0, 1000, nullptr},
        {"ends with 0 a minute after the animation", 0, 0, 65000, nullptr},
        {"missing", ERROR_FILE_NOT_FOUND, 0, 0, "ToUSB.bat could not be started with a standard user's rights (error 2)."},
        {"fails", 0, 4, 0, "ToUSB.bat failed with exit code 4."},
        {"never ends", 0, 0, 10'000'000, "ToUSB.bat has not finished after 2 minutes."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake().messages.clear();
        fake().startErrors.clear();
        if (c.startError) fake().startErrors["ToUSB.bat"] = c.startError;
        fake().exitCodes["ToUSB.bat"] = c.exitCode;
        fake().runMs["ToUSB.bat"] = c.runMs;
        TUSB& d = Ok("E:", "KV1.107");
        ASSERT_EQ(fake().messages.size(), 1u) << Describe(fake().messages);
        if (!c.error) {
            EXPECT_EQ(fake().messages[0].text, kRestartQuestion);
        } else {
            EXPECT_EQ(fake().messages[0].text.rfind(c.error, 0), 0u) << fake().messages[0].text;
            EXPECT_EQ(fake().messages[0].style, kErrorStyle);
            EXPECT_TRUE(d.Button1.Visible() && d.Button2.Visible()) << "the buttons come back";
        }
        d.Close();
        dialog_.reset();
        EXPECT_EQ(fake().openHandles(), 0);
    }
}

// The key and what lies on it are the user's: ToUSB.bat runs with a standard
// user's rights, made from ours, and never with ours when they cannot be made.
TEST_F(UsbDialogTest, ToUsbRunsWithAStandardUsersRightsOrNotAtAll) {
    struct Case { const char* user; DWORD startError; const char* rights; };  // no rights: nothing starts
    const Case cases[] = {{"S-1-5-21-1-2-3-1000", 0, "deny S-1-5-32-544 flags 1 integrity S-1-16-8192"},
                          {"S-1-5-18", 0, "deny S-1-5-32-544,S-1-5-18 flags 1 integrity S-1-16-8192"},
                          {"S-1-5-21-1-2-3-1000", ERROR_PRIVILEGE_NOT_HELD, nullptr}, {"not a SID", 0, nullptr}};
    for (const char* held : {"", "\\ROM", "\\ROM\\KV1.107", "\\ToUSB.bat"})
        fake().security[std::string("C:\\KAVELTON") + held] = "O:BAD:(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;WD)";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.user);
        fake().userSid = c.user;
        fake().startErrors = {{"ToUSB.bat", c.startError}};
        if (!c.startError) fake().startErrors.clear();
        fake().answers = {IDNO};
        Ok("E:", "KV1.107");
        EXPECT_EQ(fake().CallCount("StartProcess"), 0) << "started with our own rights";
        const std::string line = "StartAsStandardUser \"C:\\KAVELTON\\ToUSB.bat\"  E: KV1.107 ";
        const DWORD error = c.startError ? c.startError : DWORD(ERROR_INVALID_SID);
        if (c.rights) EXPECT_EQ(fake().CallCount(line + c.rights), 1);
        else ExpectOnlyError("ToUSB.bat could not be started with a standard user's rights (error " +
                             std::to_string(error) + ").\nThe BIOS file was not copied.");
        dialog_.reset();
    }
}

// The questions have no owner: a second OK under one of them starts nothing.
TEST_F(UsbDialogTest, OkUnderTheRunsOwnQuestionStartsNothing) {
    Folder({"KV1.100"});
    TUSB& d = Open();
    d.ComboBox2.SetText("KV1.100");
    fake().onMessage = [&](const MessageRecord&) { d.Button1Click(); };
    fake().answers = {IDYES, IDNO};
    d.Button1Click();
    ASSERT_EQ(fake().messages.size(), 2u) << Describe(fake().messages);
    EXPECT_EQ(fake().messages[0].text, kNewerBiosQuestion);
    EXPECT_EQ(fake().messages[1].text, kRestartQuestion);
    EXPECT_EQ(fake().started.size(), 1u);
}

// The bar moves on step by step for over five seconds, drawn between steps.
TEST_F(UsbDialogTest, TheBarRunsInOrderForOverFiveSecondsThenAsksToRestart) {
    TUSB& d = Open();
    std::vector<int> positions;
    bool buttonsHidden = true, barShown = true;
    fake().onSleep = [&](DWORD) {
        positions.push_back(d.ProgressBar1.Position());
        buttonsHidden = buttonsHidden && !d.Button1.Visible() && !d.Button2.Visible();
        barShown = barShown && d.ProgressBar1.Visible();
    };
    fake().calls.clear();
    const ULONGLONG began = fake().now;
    d.Button1Click();

    ASSERT_EQ(positions.size(), 220u);
    for (size_t i = 0; i < positions.size(); ++i) EXPECT_EQ(positions[i], static_cast<int>(i) + 1);
    EXPECT_GT(fake().now - began, 5000u);
    EXPECT_TRUE(buttonsHidden) << "buttons visible during the animation";
    EXPECT_TRUE(barShown) << "bar hidden during the animation";

    EXPECT_EQ(d.ProgressBar1.Position(), 0);
    EXPECT_TRUE(d.ProgressBar1.Visible()) << "the bar stays, empty";
    EXPECT_TRUE(d.Button1.Visible());
    EXPECT_TRUE(d.Button2.Visible());

    ASSERT_EQ(fake().messages.size(), 1u) << Describe(fake().messages);
    EXPECT_EQ(fake().messages[0].text, kRestartQuestion);
    EXPECT_EQ(fake().messages[0].title, "Create Flash BIOS diskette ");
    EXPECT_EQ(fake().messages[0].style, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION | MB_TOPMOST));

    // Started before the animation, asked last.
    const auto& calls = fake().calls;
    ASSERT_FALSE(calls.empty());
    const auto start = std::find_if(calls.begin(), calls.end(),
                                    [](const std::string& c) { return c.rfind("StartAsStandardUser ", 0) == 0; });
    const auto sleep = std::find_if(calls.begin(), calls.end(),
                                    [](const std::string& c) { return c.rfind("Sleep", 0) == 0; });
    EXPECT_LT(start, sleep);
    // Only the held files are let go after it.
    const auto last = std::find_if(calls.rbegin(), calls.rend(),
                                   [](const std::string& c) { return c.rfind("CloseHandle C:\\KAVELTON", 0) != 0; });
    EXPECT_EQ(*last, "MessageBox Create Flash BIOS diskette ");
}

TEST_F(UsbDialogTest, AnimationKeepsTheWindowDrawnButTakesNoInput) {
    TUSB& d = Open();
    d.Show();
    int step = 0;
    bool repaintedBetweenSteps = false;
    fake().onSleep = [&](DWORD) {
        ++step;
        if (step == 10) {
            InvalidateRect(d.Label1.Handle(), nullptr, TRUE);
            // Input and other messages wait until the handler ends.
            PostMessageA(d.Handle(), WM_CLOSE, 0, 0);
        }
        if (step == 11) repaintedBetweenSteps = !GetUpdateRect(d.Label1.Handle(), nullptr, FALSE);
    };
    fake().answers = {IDYES};
    d.Button1Click();
    EXPECT_TRUE(repaintedBetweenSteps) << "the invalidated label was not painted before the next step";

    MSG msg{};
    EXPECT_TRUE(PeekMessageA(&msg, d.Handle(), WM_CLOSE, WM_CLOSE, PM_REMOVE))
        << "a message other than paint or timer was handled during the animation";
    EXPECT_TRUE(d.Visible());
}

TEST_F(UsbDialogTest, RestartYesRequestsTheRebootAndLeavesTheDialogOpen) {
    TUSB& d = Open();
    d.Show();
    fake().answers = {IDYES};
    d.Button1Click();
    EXPECT_EQ(fake().CallCount("EnablePrivilege SeShutdownPrivilege"), 1);
    EXPECT_EQ(fake().CallCount("Restart asking 2147680259"), 1);
    EXPECT_TRUE(d.Visible());
    EXPECT_TRUE(d.Button1.Visible());
}

TEST_F(UsbDialogTest, RestartNoEndsTheModalShowingWithoutARestart) {
    TUSB& d = Open();
    test::WhenShown("TUSB", [&](HWND hwnd) {
        SendMessageA(GetDlgItem(hwnd, ids::usb::Button1), BM_CLICK, 0, 0);
        // Only a fallback: when No closed the dialog, the showing ends before
        // this close is handled, and it stays queued.
        PostMessageA(hwnd, WM_CLOSE, 0, 0);
    });
    d.ShowModal();
    EXPECT_TRUE(test::WasShown());
    MSG msg{};
    EXPECT_TRUE(PeekMessageA(&msg, d.Handle(), WM_CLOSE, WM_CLOSE, PM_REMOVE))
        << "the dialog stayed open after No";
    EXPECT_EQ(fake().commands.size(), 1u);
    EXPECT_EQ(fake().CallCount("Restart"), 0);
    EXPECT_EQ(fake().CallCount("EnablePrivilege"), 0);
}

TEST_F(UsbDialogTest, CloseButtonEndsTheModalShowing) {
    TUSB& d = Open();
    test::WhenShown("TUSB", [&](HWND hwnd) {
        SendMessageA(GetDlgItem(hwnd, ids::usb::Button2), BM_CLICK, 0, 0);
        PostMessageA(hwnd, WM_CLOSE, 0, 0);  // fallback, as above
    });
    d.ShowModal();
    MSG msg{};
    EXPECT_TRUE(PeekMessageA(&msg, d.Handle(), WM_CLOSE, WM_CLOSE, PM_REMOVE))
        << "Close did not close the dialog";
    EXPECT_TRUE(NothingStarted());
}

TEST_F(UsbDialogTest, NextOkAfterAFinishedRunStartsAfresh) {
    TUSB& d = Open();
    fake().answers = {IDYES};  // restart: keeps the dialog
    d.Button1Click();
    ASSERT_TRUE(d.ProgressBar1.Visible());

    Folder({"KV1.107", "KV1.100"});
    d.ComboBox2.SetText("KV1.100");
    fake().calls.clear();
    fake().commands.clear();
    fake().answers = {IDNO};  // the version question
    d.Button1Click();
    EXPECT_FALSE(d.ProgressBar1.Visible()) << "the bar is hidden again before the question";
    EXPECT_EQ(d.ProgressBar1.Position(), 0);
    EXPECT_TRUE(NothingStarted());
}

}  // namespace
}  // namespace kv
