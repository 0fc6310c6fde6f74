// The driver against a small program of known shape: this same executable,
// started again with a role argument, shows the windows the driver must read.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "kv_driver.h"

namespace drv = kv::driver;
using namespace std::chrono_literals;

namespace {

constexpr int kGroup = 40, kFlat = 42, kLabel = 43, kCombo = 44, kBar = 45, kPush = 46;
const char* const kBoxText = "First line\nSecond \"quoted\" C:\\KAVELTON";

std::string SelfPath() {
  char buf[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, buf, MAX_PATH);
  return buf;
}

// ---- the child's side ----------------------------------------------------

LRESULT CALLBACK ProbeProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
  switch (msg) {
    case WM_COMMAND:
      if (LOWORD(w) == kPush && HIWORD(w) == BN_CLICKED) {
        // Modal on purpose: the driver's click must not wait for it.
        int answer = MessageBoxA(nullptr, "Clicked", "Probe", MB_YESNO | MB_TOPMOST);
        SetWindowTextA(GetDlgItem(GetDlgItem(hwnd, kGroup), kLabel),
                       answer == IDYES ? "answered yes" : "answered no");
      }
      if (LOWORD(w) == kFlat && HIWORD(w) == BN_CLICKED)
        SetWindowTextA(GetDlgItem(GetDlgItem(hwnd, kGroup), kLabel), "flat clicked");
      return 0;
    case WM_DRAWITEM: {
      auto* d = reinterpret_cast<DRAWITEMSTRUCT*>(l);
      FillRect(d->hDC, &d->rcItem, GetSysColorBrush(COLOR_BTNFACE));
      return TRUE;
    }
    case WM_DESTROY:
      PostQuitMessage(7);
      return 0;
  }
  return DefWindowProcW(hwnd, msg, w, l);
}

// The group box forwards its children's notifications, as forms do.
WNDPROC g_group_proc = nullptr;
LRESULT CALLBACK GroupProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
  if (msg == WM_COMMAND || msg == WM_DRAWITEM) return SendMessageA(GetParent(hwnd), msg, w, l);
  return CallWindowProcA(g_group_proc, hwnd, msg, w, l);
}

int RunProbeWindow() {
  InitCommonControls();
  WNDCLASSW wc{};
  wc.lpfnWndProc = ProbeProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = L"TProbeForm";
  wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  RegisterClassW(&wc);
  RECT frame{0, 0, 300, 200};
  DWORD style = WS_CAPTION | WS_SYSMENU | WS_OVERLAPPED;
  AdjustWindowRect(&frame, style, FALSE);
  HWND top = CreateWindowA("TProbeForm", "Probe", style, 50, 60, frame.right - frame.left,
                           frame.bottom - frame.top, nullptr, nullptr, wc.hInstance, nullptr);
  auto child = [&](HWND parent, const char* cls, const char* text, DWORD st, int x, int y, int cx,
                   int cy, int id) {
    return CreateWindowA(cls, text, WS_CHILD | WS_VISIBLE | st, x, y, cx, cy, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), wc.hInstance, nullptr);
  };
  SetWindowTextW(top, L"Probe \u00C4 caption");
  HWND group = child(top, "BUTTON", "Group", BS_GROUPBOX, 10, 10, 280, 120, kGroup);
  g_group_proc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(group, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(GroupProc)));
  child(group, "BUTTON", "  Flat  one ", BS_OWNERDRAW, 12, 20, 100, 30, kFlat);
  child(group, "STATIC", "label", 0, 12, 60, 150, 16, kLabel);
  child(group, "BUTTON", "Push", BS_PUSHBUTTON, 120, 20, 60, 25, kPush);
  HWND combo = child(top, "COMBOBOX", "", CBS_DROPDOWN | WS_VSCROLL, 10, 140, 150, 100, kCombo);
  SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"E:"));
  SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"KAVT.107"));
  SetWindowTextW(combo, L"typed");
  HWND bar = child(top, PROGRESS_CLASSA, "", 0, 170, 140, 120, 17, kBar);
  SendMessageA(bar, PBM_SETRANGE32, 0, 1000);
  SendMessageA(bar, PBM_SETPOS, 750, 0);
  EnableWindow(GetDlgItem(top, kBar), FALSE);
  ShowWindow(top, SW_SHOW);
  MSG m;
  while (GetMessageA(&m, nullptr, 0, 0) > 0) {
    TranslateMessage(&m);
    DispatchMessageA(&m);
  }
  return static_cast<int>(m.wParam);
}

// ---- the test's side -----------------------------------------------------

class Driver : public ::testing::Test {
 protected:
  void Start(const char* role) {
    std::string error;
    child_ = drv::Process::Start(SelfPath(), role, "C:\\", &error);
    ASSERT_TRUE(child_.started()) << error;
  }
  drv::Process child_;
};

TEST_F(Driver, ReadsAndAnswersAMessageBox) {
  ASSERT_NO_FATAL_FAILURE(Start("--probe-box"));
  auto box = drv::WaitMessageBox(child_.pid(), 15s);
  ASSERT_TRUE(box) << drv::Describe(child_.pid(), true);
  EXPECT_EQ(box->title, "Probe title");
  EXPECT_EQ(box->text, kBoxText) << drv::Escape(box->text);
  EXPECT_EQ(box->buttons, (std::vector<int>{IDYES, IDNO}));
  EXPECT_TRUE(box->icon) << "the warning icon was not seen";
  EXPECT_FALSE(drv::Answer(*box, IDOK)) << "a button the box does not have was pressed";
  ASSERT_TRUE(drv::Answer(*box, IDNO));
  DWORD code = 0;
  ASSERT_TRUE(child_.WaitExit(5s, &code));
  EXPECT_EQ(code, static_cast<DWORD>(IDNO));
  EXPECT_TRUE(drv::NoMessageBox(child_.pid(), 100ms));
}

TEST_F(Driver, FindsControlsInGroupsAndReadsThem) {
  ASSERT_NO_FATAL_FAILURE(Start("--probe-window"));
  HWND top = drv::WaitWindow(child_.pid(), {"TProbeForm", std::nullopt, true}, 15s);
  ASSERT_TRUE(top) << drv::Describe(child_.pid(), true);
  EXPECT_EQ(drv::Text(top), "Probe \xC3\x84 caption") << "caption as UTF-8";
  EXPECT_FALSE(drv::FindWindowOf(child_.pid(), {"TProbeForm", std::string("other"), true}));

  SIZE client = drv::ClientSize(top);
  EXPECT_EQ(client.cx, 300);
  EXPECT_EQ(client.cy, 200);

  HWND flat = drv::Control(top, kFlat);
  ASSERT_TRUE(flat) << "a control inside a group box was not found";
  EXPECT_EQ(drv::Text(flat), "  Flat  one ");
  RECT r = drv::RectInParent(flat);
  EXPECT_EQ(r.left, 12);
  EXPECT_EQ(r.top, 20);
  EXPECT_EQ(r.right - r.left, 100);
  EXPECT_EQ(r.bottom - r.top, 30);

  HWND combo = drv::Control(top, kCombo);
  EXPECT_EQ(drv::ComboItems(combo), (std::vector<std::string>{"E:", "KAVT.107"}));
  EXPECT_EQ(drv::ComboText(combo), "typed");

  HWND bar = drv::Control(top, kBar);
  EXPECT_EQ(drv::ProgressPos(bar), 750);
  EXPECT_EQ(drv::ProgressMax(bar), 1000);
  EXPECT_FALSE(drv::Enabled(bar));
  EXPECT_FALSE(drv::Click(bar)) << "a disabled control was clicked";
  EXPECT_EQ(drv::Control(top, 999), nullptr);
}

TEST_F(Driver, ClickDoesNotWaitForTheModalBoxItOpens) {
  ASSERT_NO_FATAL_FAILURE(Start("--probe-window"));
  HWND top = drv::WaitWindow(child_.pid(), {"TProbeForm", std::nullopt, true}, 15s);
  ASSERT_TRUE(top);
  auto before = std::chrono::steady_clock::now();
  ASSERT_TRUE(drv::Click(drv::Control(top, kPush)));
  EXPECT_LT(std::chrono::steady_clock::now() - before, 1s);
  auto box = drv::WaitMessageBox(child_.pid(), 5s);
  ASSERT_TRUE(box) << drv::Describe(child_.pid(), true);
  EXPECT_EQ(box->text, "Clicked");
  EXPECT_FALSE(box->icon) << "a box without icon reported one";
  ASSERT_TRUE(drv::Answer(*box, IDYES));
  HWND label = drv::Control(top, kLabel);
  for (int i = 0; i < 100 && drv::Text(label) != "answered yes"; ++i) Sleep(20);
  EXPECT_EQ(drv::Text(label), "answered yes");

  ASSERT_TRUE(drv::Close(top));
  DWORD code = 0;
  ASSERT_TRUE(child_.WaitExit(5s, &code)) << drv::Describe(child_.pid());
  EXPECT_EQ(code, 7u);
}

TEST_F(Driver, ClickReachesAnOwnerDrawnButtonInsideAGroup) {
  ASSERT_NO_FATAL_FAILURE(Start("--probe-window"));
  HWND top = drv::WaitWindow(child_.pid(), {"TProbeForm", std::nullopt, true}, 15s);
  ASSERT_TRUE(top);
  // The click reaches the form through the group box, as a mouse click does.
  ASSERT_TRUE(drv::Click(drv::Control(top, kFlat)));
  HWND label = drv::Control(top, kLabel);
  for (int i = 0; i < 100 && drv::Text(label) != "flat clicked"; ++i) Sleep(20);
  EXPECT_EQ(drv::Text(label), "flat clicked");
  EXPECT_TRUE(drv::NoMessageBox(child_.pid(), 300ms));
}

TEST_F(Driver, DestructorKillsAProgramLeftRunning) {
  DWORD pid = 0;
  HANDLE h = nullptr;
  {
    auto p = drv::Process::Start(SelfPath(), "--probe-window", "C:\\");
    ASSERT_TRUE(p.started());
    pid = p.pid();
    ASSERT_TRUE(drv::WaitWindow(pid, {"TProbeForm", std::nullopt, true}, 15s));
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), p.handle(), GetCurrentProcess(), &h, 0, FALSE,
                                DUPLICATE_SAME_ACCESS));
  }
  EXPECT_EQ(WaitForSingleObject(h, 3000), WAIT_OBJECT_0) << "process " << pid << " still runs";
  CloseHandle(h);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--probe-box") == 0)
    return MessageBoxA(nullptr, kBoxText, "Probe title", MB_YESNO | MB_ICONWARNING | MB_TOPMOST);
  if (argc > 1 && std::strcmp(argv[1], "--probe-window") == 0) return RunProbeWindow();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
