// Drives a program's windows from another process, the way a user would:
// find windows and controls, read what they show, click, answer message
// boxes, close windows. Nothing here blocks on the program under test: clicks
// and closes are posted, reads use SendMessageTimeout.
#pragma once

#include <windows.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace kv::driver {

using Millis = std::chrono::milliseconds;

// A started program. The destructor kills it when it still runs, so a test
// that fails half-way leaves no process behind.
class Process {
 public:
  Process() = default;
  ~Process();
  Process(Process&& other) noexcept;
  Process& operator=(Process&& other) noexcept;
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  // Starts `exe` (full path) with `args` in `workdir`. On failure the result
  // is not started() and `error` (when given) says why. With `output`, the
  // program's standard output and error go to that (inheritable) handle.
  static Process Start(const std::string& exe, const std::string& args, const std::string& workdir,
                       std::string* error = nullptr, HANDLE output = nullptr);

  bool started() const { return process_ != nullptr; }
  DWORD pid() const { return pid_; }
  HANDLE handle() const { return process_; }
  bool Running() const;

  // True when the process ended within `timeout`; its exit code in `code`.
  bool WaitExit(Millis timeout, DWORD* code = nullptr) const;
  void Kill();

 private:
  void Release();

  HANDLE process_ = nullptr;
  HANDLE job_ = nullptr;
  DWORD pid_ = 0;
};

// Ends every process of that executable name (case-insensitive), waiting up
// to a second for each. Returns how many were found.
int KillAllNamed(const std::string& exe_name);

// ---- windows -------------------------------------------------------------

struct WindowInfo {
  HWND hwnd = nullptr;
  std::string cls;
  std::string caption;
  bool visible = false;
  bool enabled = false;
};

std::string ClassName(HWND hwnd);
std::string Text(HWND hwnd);  // WM_GETTEXT, wide, as UTF-8
bool Visible(HWND hwnd);      // the window's own visible style
bool Enabled(HWND hwnd);
DWORD Style(HWND hwnd);

// Top-level windows of a process, in Z order, hidden ones included.
std::vector<WindowInfo> TopLevelWindows(DWORD pid);
// One line per window: class, caption, visible/hidden, and with `children`
// each descendant with its ID.
std::string Describe(DWORD pid, bool children = false);

struct WindowQuery {
  std::string cls;                     // empty: any class
  std::optional<std::string> caption;  // unset: any caption
  bool visible_only = true;
};

// Polls about every 20 ms until a matching top-level window of `pid` exists.
HWND FindWindowOf(DWORD pid, const WindowQuery& q);
HWND WaitWindow(DWORD pid, const WindowQuery& q, Millis timeout);
// Waits until no matching window exists any more (closed or hidden).
bool WaitWindowGone(DWORD pid, const WindowQuery& q, Millis timeout);

// Searches all descendants, not only direct children (controls may sit
// inside group boxes).
HWND Control(HWND top, int id);

// Geometry of a child relative to its parent's client area.
RECT RectInParent(HWND child);
SIZE ClientSize(HWND hwnd);

// Posts BM_CLICK to the button, as a mouse click would. Returns false (and
// clicks nothing) when the button is missing, hidden or disabled.
bool Click(HWND button);
// Posts WM_CLOSE, as the close box does.
bool Close(HWND hwnd);

// Types the key (with Shift held) into `top`, brought to the foreground,
// through SendInput as a user would; false when that failed.
bool PressKey(HWND top, WORD vk, bool shift = false);
// The control with the keyboard focus in the thread that owns `top`.
HWND Focus(HWND top);

// ---- combo boxes and progress bars ---------------------------------------

// Items via the wide CB_GETLBTEXT (the ANSI form returns unconverted text
// across processes in Wine).
std::vector<std::string> ComboItems(HWND combo);
std::string ComboText(HWND combo);
int ProgressPos(HWND bar);
int ProgressMax(HWND bar);

// ---- message boxes -------------------------------------------------------

struct MessageBoxInfo {
  HWND hwnd = nullptr;
  std::string title;
  std::string text;
  std::vector<int> buttons;  // IDs of the visible buttons, sorted
  // Whether it shows an icon. Which icon cannot be told from outside: the
  // icon handle belongs to the other process.
  bool icon = false;
};

std::optional<MessageBoxInfo> ReadMessageBox(HWND box);
// A visible standard message box (#32770) among the process's top-level
// windows, waited for up to `timeout`.
std::optional<MessageBoxInfo> WaitMessageBox(DWORD pid, Millis timeout);
// True when no message box shows up within `within`.
bool NoMessageBox(DWORD pid, Millis within);
// Presses the button with `id` and waits until the box is gone.
bool Answer(const MessageBoxInfo& box, int id, Millis timeout = Millis(5000));

// A printable form of a text: line breaks as \n, quotes escaped.
std::string Escape(const std::string& s);

}  // namespace kv::driver
