// Common ground of the end-to-end tests: a clean C:\KAVELTON per test, the
// scripted libraries swapped in on demand, and Kavelton.exe started there.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "kv_driver.h"

namespace kv::e2e {

namespace drv = kv::driver;
using namespace std::chrono_literals;

inline constexpr const char* kInstallDir = "C:\\KAVELTON";

// Values the scripted BIOS.dll hands out; std::nullopt writes KEY=<null>.
struct BiosValues {
  std::optional<std::string> manufacturer = "Kav Maker Inc.";
  std::optional<std::string> version = "KVB.105";
  std::optional<std::string> release_date = "20080215123456.000000+000";
  std::optional<std::string> product = "abc12";
  std::optional<std::string> model = "KV-7 Desktop";
};

class KaveltonTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Files in the install folder (name relative to C:\KAVELTON).
  static std::string InstallPath(const std::string& name);
  static void WriteInstallFile(const std::string& name, const std::string& bytes);
  static void RemoveInstallFile(const std::string& name);
  static bool InstallFileExists(const std::string& name);
  static std::vector<std::string> ReadLines(const std::string& name);
  // For a start that failed: the error, what the group's Wine processes
  // wrote to their standard error last (the loader's messages land there),
  // and which processes run.
  static std::string StartFailure(const std::string& error);

  void UseBiosDouble(const BiosValues& values);
  // Copies the recording stand-in for WinFlash64.exe (KV_E2E_FLASHER) in.
  // The test flasher, or the one of its refused copies that variable names.
  static void InstallFlasher(const char* variable = "KV_E2E_FLASHER");
  void UseUsbScanDouble(const std::vector<std::string>& scans);

  // Starts C:\KAVELTON\Kavelton.exe with that folder as working directory.
  void StartApp();
  // Waits for the visible main window; fails the test with the windows found.
  HWND WaitMainWindow(drv::Millis timeout = 20s);
  // Starts the program and waits for its main window, expecting no message
  // box on the way.
  HWND StartToMainWindow();

  enum class Icon { None, Shown };
  // Waits for a message box and checks its title, text, buttons and whether
  // it shows an icon.
  std::optional<drv::MessageBoxInfo> ExpectBox(const std::string& title, const std::string& text,
                                               const std::vector<int>& buttons, Icon icon,
                                               drv::Millis timeout = 10s);
  void AnswerBox(const std::optional<drv::MessageBoxInfo>& box, int id);
  void ExpectNoBox(drv::Millis within = 1500ms);

  HWND Ctl(HWND top, int id);
  std::string Windows() const;

  drv::Process app_;
};

}  // namespace kv::e2e
