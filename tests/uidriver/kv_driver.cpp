#include "kv_driver.h"

#include <commctrl.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cwchar>
#include <sstream>
#include <thread>

namespace kv::driver {
namespace {

constexpr Millis kPoll{20};
// A program busy in a handler (sleeping on its UI thread) must not hang the
// test; reads fall back to what the window manager stores.
constexpr UINT kSendTimeoutMs = 3000;

std::string Narrow(const wchar_t* s, int len) {
  if (len <= 0) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, s, len, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, s, len, out.data(), n, nullptr, nullptr);
  return out;
}

bool Send(HWND hwnd, UINT msg, WPARAM w, LPARAM l, LRESULT* result) {
  DWORD_PTR r = 0;
  if (!SendMessageTimeoutW(hwnd, msg, w, l, SMTO_ABORTIFHUNG | SMTO_BLOCK, kSendTimeoutMs, &r))
    return false;
  if (result) *result = static_cast<LRESULT>(r);
  return true;
}

struct Handle {
  HANDLE h;
  explicit Handle(HANDLE handle) : h(handle) {}
  ~Handle() {
    if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool ok() const { return h && h != INVALID_HANDLE_VALUE; }
};

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(tolower(c)); });
  return s;
}

std::string BaseName(const std::string& path) {
  auto pos = path.find_last_of("\\/");
  return pos == std::string::npos ? path : path.substr(pos + 1);
}

bool Matches(const WindowInfo& w, const WindowQuery& q) {
  if (q.visible_only && !w.visible) return false;
  if (!q.cls.empty() && w.cls != q.cls) return false;
  if (q.caption && w.caption != *q.caption) return false;
  return true;
}

std::vector<HWND> Descendants(HWND top) {
  std::vector<HWND> out;
  EnumChildWindows(
      top,
      [](HWND h, LPARAM p) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(p)->push_back(h);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&out));
  return out;
}

int CtrlId(HWND h) { return static_cast<int>(GetWindowLongPtrW(h, GWLP_ID)) & 0xFFFF; }

}  // namespace

// ---- Process -------------------------------------------------------------

Process::~Process() {
  Kill();
  Release();
}

Process::Process(Process&& other) noexcept
    : process_(other.process_), job_(other.job_), pid_(other.pid_) {
  other.process_ = other.job_ = nullptr;
  other.pid_ = 0;
}

Process& Process::operator=(Process&& other) noexcept {
  if (this != &other) {
    Kill();
    Release();
    process_ = other.process_;
    job_ = other.job_;
    pid_ = other.pid_;
    other.process_ = other.job_ = nullptr;
    other.pid_ = 0;
  }
  return *this;
}

void Process::Release() {
  if (process_) CloseHandle(process_);
  if (job_) CloseHandle(job_);
  process_ = job_ = nullptr;
}

Process Process::Start(const std::string& exe, const std::string& args, const std::string& workdir,
                       std::string* error, HANDLE output) {
  Process p;
  std::string cmd = "\"" + exe + "\"";
  if (!args.empty()) cmd += " " + args;
  std::vector<char> cmdline(cmd.begin(), cmd.end());
  cmdline.push_back('\0');

  STARTUPINFOA si{};
  si.cb = sizeof si;
  if (output) {
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = si.hStdError = output;
  }
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(exe.c_str(), cmdline.data(), nullptr, nullptr, output ? TRUE : FALSE, CREATE_SUSPENDED,
                      nullptr, workdir.empty() ? nullptr : workdir.c_str(), &si, &pi)) {
    if (error) *error = "CreateProcess(" + cmd + ") failed, error " + std::to_string(GetLastError());
    return p;
  }
  // The job ends the program even when this test process dies; where jobs
  // are not available the destructor's kill has to do.
  p.job_ = CreateJobObjectW(nullptr, nullptr);
  if (p.job_) {
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!SetInformationJobObject(p.job_, JobObjectExtendedLimitInformation, &limits,
                                 sizeof limits) ||
        !AssignProcessToJobObject(p.job_, pi.hProcess)) {
      CloseHandle(p.job_);
      p.job_ = nullptr;
    }
  }
  ResumeThread(pi.hThread);
  CloseHandle(pi.hThread);
  p.process_ = pi.hProcess;
  p.pid_ = pi.dwProcessId;
  return p;
}

bool Process::Running() const {
  return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

bool Process::WaitExit(Millis timeout, DWORD* code) const {
  if (!process_) return false;
  if (WaitForSingleObject(process_, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0)
    return false;
  if (code) GetExitCodeProcess(process_, code);
  return true;
}

void Process::Kill() {
  if (!Running()) return;
  TerminateProcess(process_, 99);
  WaitForSingleObject(process_, 2000);
}

int KillAllNamed(const std::string& exe_name) {
  const std::string want = Lower(BaseName(exe_name));
  std::vector<DWORD> pids;
  {
    Handle snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snap.ok()) return 0;
    PROCESSENTRY32 e{};
    e.dwSize = sizeof e;
    for (BOOL more = Process32First(snap.h, &e); more; more = Process32Next(snap.h, &e)) {
      if (e.th32ProcessID != GetCurrentProcessId() && Lower(BaseName(e.szExeFile)) == want)
        pids.push_back(e.th32ProcessID);
    }
  }
  for (DWORD pid : pids) {
    Handle h(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
    if (!h.ok()) continue;
    TerminateProcess(h.h, 99);
    WaitForSingleObject(h.h, 1000);
  }
  return static_cast<int>(pids.size());
}

// ---- windows -------------------------------------------------------------

std::string ClassName(HWND hwnd) {
  wchar_t buf[256] = {};
  int n = GetClassNameW(hwnd, buf, 256);
  return Narrow(buf, n);
}

std::string Text(HWND hwnd) {
  LRESULT len = 0;
  if (!Send(hwnd, WM_GETTEXTLENGTH, 0, 0, &len)) {
    wchar_t buf[1024] = {};
    int n = GetWindowTextW(hwnd, buf, 1024);
    return Narrow(buf, n);
  }
  std::wstring buf(static_cast<size_t>(len) + 1, L'\0');
  LRESULT got = 0;
  if (!Send(hwnd, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()), &got)) return {};
  return Narrow(buf.data(), static_cast<int>(wcsnlen(buf.data(), buf.size())));
}

bool Visible(HWND hwnd) { return (GetWindowLongW(hwnd, GWL_STYLE) & WS_VISIBLE) != 0; }
bool Enabled(HWND hwnd) { return IsWindowEnabled(hwnd) != FALSE; }
DWORD Style(HWND hwnd) { return static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE)); }

std::vector<WindowInfo> TopLevelWindows(DWORD pid) {
  struct Ctx {
    DWORD pid;
    std::vector<HWND> found;
  } ctx{pid, {}};
  EnumWindows(
      [](HWND h, LPARAM p) -> BOOL {
        auto* c = reinterpret_cast<Ctx*>(p);
        DWORD owner = 0;
        GetWindowThreadProcessId(h, &owner);
        if (owner == c->pid) c->found.push_back(h);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&ctx));
  std::vector<WindowInfo> out;
  for (HWND h : ctx.found) {
    if (!IsWindow(h)) continue;
    out.push_back({h, ClassName(h), Text(h), Visible(h), Enabled(h)});
  }
  return out;
}

std::string Describe(DWORD pid, bool children) {
  std::ostringstream os;
  auto tops = TopLevelWindows(pid);
  os << tops.size() << " top-level window(s) of process " << pid << ":\n";
  for (const auto& w : tops) {
    os << "  [" << w.cls << "] \"" << Escape(w.caption) << "\" "
       << (w.visible ? "visible" : "hidden") << (w.enabled ? "" : " disabled") << "\n";
    if (!children) continue;
    for (HWND c : Descendants(w.hwnd)) {
      os << "    id " << CtrlId(c) << " [" << ClassName(c) << "] \"" << Escape(Text(c)) << "\" "
         << (Visible(c) ? "visible" : "hidden") << (Enabled(c) ? "" : " disabled") << "\n";
    }
  }
  return os.str();
}

HWND FindWindowOf(DWORD pid, const WindowQuery& q) {
  for (const auto& w : TopLevelWindows(pid))
    if (Matches(w, q)) return w.hwnd;
  return nullptr;
}

HWND WaitWindow(DWORD pid, const WindowQuery& q, Millis timeout) {
  auto end = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (HWND h = FindWindowOf(pid, q)) return h;
    if (std::chrono::steady_clock::now() >= end) return nullptr;
    std::this_thread::sleep_for(kPoll);
  }
}

bool WaitWindowGone(DWORD pid, const WindowQuery& q, Millis timeout) {
  auto end = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (!FindWindowOf(pid, q)) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(kPoll);
  }
}

HWND Control(HWND top, int id) {
  if (!top) return nullptr;
  for (HWND c : Descendants(top))
    if (CtrlId(c) == (id & 0xFFFF)) return c;
  return nullptr;
}

RECT RectInParent(HWND child) {
  RECT r{};
  GetWindowRect(child, &r);
  HWND parent = GetAncestor(child, GA_PARENT);
  MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

SIZE ClientSize(HWND hwnd) {
  RECT r{};
  GetClientRect(hwnd, &r);
  return {r.right - r.left, r.bottom - r.top};
}

bool Click(HWND button) {
  if (!button || !IsWindow(button) || !IsWindowVisible(button) || !IsWindowEnabled(button))
    return false;
  return PostMessageW(button, BM_CLICK, 0, 0) != FALSE;
}

bool Close(HWND hwnd) { return hwnd && PostMessageW(hwnd, WM_CLOSE, 0, 0) != FALSE; }

bool PressKey(HWND top, WORD vk, bool shift) {
  SetForegroundWindow(top);
  for (int i = 0; i < 50 && GetForegroundWindow() != top; ++i) std::this_thread::sleep_for(kPoll);
  if (GetForegroundWindow() != top) return false;
  std::vector<INPUT> keys;
  auto key = [&](WORD code, DWORD flags) { keys.push_back({INPUT_KEYBOARD, {.ki = {code, 0, flags, 0, 0}}}); };
  if (shift) key(VK_SHIFT, 0);
  key(vk, 0);
  key(vk, KEYEVENTF_KEYUP);
  if (shift) key(VK_SHIFT, KEYEVENTF_KEYUP);
  const UINT sent = SendInput(static_cast<UINT>(keys.size()), keys.data(), sizeof(INPUT));
  std::this_thread::sleep_for(Millis(150));  // the program's loop takes it in
  return sent == keys.size();
}

HWND Focus(HWND top) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(top, nullptr), &info)) return nullptr;
  return info.hwndFocus;
}

// ---- combo boxes and progress bars ---------------------------------------

std::vector<std::string> ComboItems(HWND combo) {
  std::vector<std::string> out;
  LRESULT count = 0;
  if (!Send(combo, CB_GETCOUNT, 0, 0, &count) || count < 0) return out;
  for (LRESULT i = 0; i < count; ++i) {
    LRESULT len = 0;
    if (!Send(combo, CB_GETLBTEXTLEN, i, 0, &len) || len < 0) len = 0;
    std::wstring buf(static_cast<size_t>(len) + 1, L'\0');
    Send(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(buf.data()), nullptr);
    out.push_back(Narrow(buf.data(), static_cast<int>(wcsnlen(buf.data(), buf.size()))));
  }
  return out;
}

std::string ComboText(HWND combo) { return Text(combo); }

int ProgressPos(HWND bar) {
  LRESULT pos = -1;
  Send(bar, PBM_GETPOS, 0, 0, &pos);
  return static_cast<int>(pos);
}

int ProgressMax(HWND bar) {
  LRESULT hi = -1;
  Send(bar, PBM_GETRANGE, FALSE, 0, &hi);
  return static_cast<int>(hi);
}

// ---- message boxes -------------------------------------------------------

std::optional<MessageBoxInfo> ReadMessageBox(HWND box) {
  if (!box || !IsWindow(box) || ClassName(box) != "#32770") return std::nullopt;
  MessageBoxInfo info;
  info.hwnd = box;
  info.title = Text(box);
  HWND text = nullptr;
  size_t longest = 0;
  for (HWND c : Descendants(box)) {
    std::string cls = ClassName(c);
    if (Lower(cls) == "static") {
      if ((Style(c) & SS_TYPEMASK) == SS_ICON) {
        LRESULT icon = 0;
        if (Send(c, STM_GETICON, 0, 0, &icon) && icon && Visible(c)) info.icon = true;
      } else if (CtrlId(c) == 0xFFFF) {
        text = c;
        longest = SIZE_MAX;
      } else if ((Style(c) & SS_TYPEMASK) != SS_ICON && !text) {
        // Fallback when the text static carries another ID.
        std::string t = Text(c);
        if (t.size() >= longest) longest = t.size(), text = c;
      }
    } else if (Lower(cls) == "button" && Visible(c)) {
      info.buttons.push_back(CtrlId(c));
    }
  }
  if (text) info.text = Text(text);
  std::sort(info.buttons.begin(), info.buttons.end());
  return info;
}

std::optional<MessageBoxInfo> WaitMessageBox(DWORD pid, Millis timeout) {
  HWND box = WaitWindow(pid, {"#32770", std::nullopt, true}, timeout);
  if (!box) return std::nullopt;
  // The buttons and text are set while the box initialises; give it a moment.
  std::this_thread::sleep_for(Millis(50));
  return ReadMessageBox(box);
}

bool NoMessageBox(DWORD pid, Millis within) {
  return WaitWindow(pid, {"#32770", std::nullopt, true}, within) == nullptr;
}

bool Answer(const MessageBoxInfo& box, int id, Millis timeout) {
  if (!box.hwnd || !IsWindow(box.hwnd)) return false;
  if (std::find(box.buttons.begin(), box.buttons.end(), id) == box.buttons.end()) return false;
  HWND button = GetDlgItem(box.hwnd, id);
  if (!PostMessageW(box.hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                    reinterpret_cast<LPARAM>(button)))
    return false;
  auto end = std::chrono::steady_clock::now() + timeout;
  while (IsWindow(box.hwnd) && IsWindowVisible(box.hwnd)) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(kPoll);
  }
  return true;
}

std::string Escape(const std::string& s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      default: out += c;
    }
  }
  return out;
}

}  // namespace kv::driver
