#include "e2e_fixture.h"

#include <windows.h>
#include <tlhelp32.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>

namespace kv::e2e {
namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

// The image catalogue is part of every dialog's start; one known image keeps
// the empty-folder notices out of tests that are not about them.
constexpr const char* kRomImage = "KAVT.107";

void EmptyFolder(const std::string& dir) {
  WIN32_FIND_DATAA fd{};
  HANDLE find = FindFirstFileA((dir + "\\*").c_str(), &fd);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      std::string path = dir + "\\" + fd.cFileName;
      SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileA(path.c_str());
    }
  } while (FindNextFileA(find, &fd));
  FindClose(find);
}

void CopyOver(const std::string& from, const std::string& to) {
  ASSERT_FALSE(from.empty()) << "no source for " << to << ": run the tests through tests/e2e/run.sh";
  ASSERT_TRUE(CopyFileA(from.c_str(), to.c_str(), FALSE))
      << "copy " << from << " -> " << to << " failed, error " << GetLastError();
}

}  // namespace

std::string KaveltonTest::InstallPath(const std::string& name) {
  return std::string(kInstallDir) + "\\" + name;
}

void KaveltonTest::WriteInstallFile(const std::string& name, const std::string& bytes) {
  std::string path = InstallPath(name);
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << "cannot create " << path << ", error " << GetLastError();
  DWORD written = 0;
  BOOL ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(h);
  ASSERT_TRUE(ok && written == bytes.size()) << "cannot write " << path;
}

void KaveltonTest::RemoveInstallFile(const std::string& name) {
  std::string path = InstallPath(name);
  if (!DeleteFileA(path.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND)
    ADD_FAILURE() << "cannot delete " << path << ", error " << GetLastError();
}

bool KaveltonTest::InstallFileExists(const std::string& name) {
  return GetFileAttributesA(InstallPath(name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::string> KaveltonTest::ReadLines(const std::string& name) {
  std::vector<std::string> lines;
  std::ifstream in(InstallPath(name), std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::string KaveltonTest::StartFailure(const std::string& error) {
  std::ostringstream os;
  os << error << "\n";
  const std::string log = Env("KV_E2E_STDERR");
  std::ifstream in(log, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  os << "the group's standard error (" << log << "), last lines:\n";
  for (size_t i = lines.size() > 20 ? lines.size() - 20 : 0; i < lines.size(); ++i) os << "  " << lines[i] << "\n";
  os << "processes:\n";
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32 e{};
  e.dwSize = sizeof e;
  for (BOOL more = snap != INVALID_HANDLE_VALUE && Process32First(snap, &e); more; more = Process32Next(snap, &e))
    os << "  " << e.th32ProcessID << " (parent " << e.th32ParentProcessID << ") " << e.szExeFile << "\n";
  if (snap != INVALID_HANDLE_VALUE) CloseHandle(snap);
  return os.str();
}

void KaveltonTest::SetUp() {
  drv::KillAllNamed("Kavelton.exe");
  const std::string stage = Env("KV_E2E_STAGE");
  ASSERT_FALSE(stage.empty()) << "KV_E2E_STAGE is not set: run the tests through tests/e2e/run.sh";
  // Undo what an earlier test swapped in or left behind.
  ASSERT_NO_FATAL_FAILURE(CopyOver(stage + "\\BIOS.dll", InstallPath("BIOS.dll")));
  ASSERT_NO_FATAL_FAILURE(CopyOver(stage + "\\UsbScan.dll", InstallPath("UsbScan.dll")));
  for (const char* f : {"System.txt", "bios-double.txt", "bios-double.log", "usbscan-double.txt",
                        "usbscan-double.log"})
    RemoveInstallFile(f);
  CreateDirectoryA(InstallPath("ROM").c_str(), nullptr);
  EmptyFolder(InstallPath("ROM"));
  ASSERT_NO_FATAL_FAILURE(WriteInstallFile(std::string("ROM\\") + kRomImage, std::string(1024, '\xFF')));
}

void KaveltonTest::TearDown() {
  if (HasFailure() && app_.started() && app_.Running())
    std::cout << "Windows at the end of the failed test:\n" << Windows();
  app_.Kill();
  drv::KillAllNamed("Kavelton.exe");
}

void KaveltonTest::UseBiosDouble(const BiosValues& v) {
  ASSERT_NO_FATAL_FAILURE(CopyOver(Env("KV_E2E_BIOS_DOUBLE"), InstallPath("BIOS.dll")));
  std::ostringstream os;
  auto line = [&os](const char* key, const std::optional<std::string>& value) {
    os << key << "=" << (value ? *value : "<null>") << "\r\n";
  };
  line("Manufacturer", v.manufacturer);
  line("SMBIOSBIOSVersion", v.version);
  line("ReleaseDate", v.release_date);
  line("Product", v.product);
  line("Model", v.model);
  WriteInstallFile("bios-double.txt", os.str());
}

void KaveltonTest::UseUsbScanDouble(const std::vector<std::string>& scans) {
  ASSERT_NO_FATAL_FAILURE(CopyOver(Env("KV_E2E_USBSCAN_DOUBLE"), InstallPath("UsbScan.dll")));
  std::string text;
  for (const auto& s : scans) text += s + "\r\n";
  WriteInstallFile("usbscan-double.txt", text);
}

void KaveltonTest::InstallFlasher(const char* variable) {
  const char* flasher = std::getenv(variable);
  ASSERT_TRUE(flasher && *flasher) << variable << " is not set: run through tests/e2e/run.sh";
  ASSERT_TRUE(CopyFileA(flasher, InstallPath("WinFlash64.exe").c_str(), FALSE))
      << "copy of " << flasher << " failed, error " << GetLastError();
}

void KaveltonTest::StartApp() {
  std::string error;
  app_ = drv::Process::Start(InstallPath("Kavelton.exe"), "", kInstallDir, &error);
  ASSERT_TRUE(app_.started()) << StartFailure(error);
}

HWND KaveltonTest::WaitMainWindow(drv::Millis timeout) {
  HWND main = drv::WaitWindow(app_.pid(), {"TMainForm", "Kavelton", true}, timeout);
  if (!main) ADD_FAILURE() << "no visible main window (TMainForm \"Kavelton\"); found:\n" << Windows();
  return main;
}

HWND KaveltonTest::StartToMainWindow() {
  StartApp();
  if (HasFatalFailure()) return nullptr;
  HWND main = WaitMainWindow();
  if (!main) return nullptr;
  ExpectNoBox(500ms);
  return main;
}

std::optional<drv::MessageBoxInfo> KaveltonTest::ExpectBox(const std::string& title,
                                                           const std::string& text,
                                                           const std::vector<int>& buttons,
                                                           Icon icon, drv::Millis timeout) {
  auto box = drv::WaitMessageBox(app_.pid(), timeout);
  if (!box) {
    ADD_FAILURE() << "expected the message box \"" << drv::Escape(text) << "\" (title \""
                  << drv::Escape(title) << "\"), none came; found:\n"
                  << Windows();
    return box;
  }
  EXPECT_EQ(box->title, title) << "text of the box: \"" << drv::Escape(box->text) << "\"";
  EXPECT_EQ(box->text, text) << "got \"" << drv::Escape(box->text) << "\"";
  EXPECT_EQ(box->buttons, buttons) << "box \"" << drv::Escape(box->text) << "\"";
  EXPECT_EQ(box->icon, icon == Icon::Shown)
      << "box \"" << drv::Escape(box->text) << "\" " << (box->icon ? "shows an icon" : "shows no icon");
  return box;
}

void KaveltonTest::AnswerBox(const std::optional<drv::MessageBoxInfo>& box, int id) {
  if (!box) return;
  EXPECT_TRUE(drv::Answer(*box, id)) << "could not press button " << id << " of \""
                                     << drv::Escape(box->text) << "\"; found:\n"
                                     << Windows();
}

void KaveltonTest::ExpectNoBox(drv::Millis within) {
  if (!drv::NoMessageBox(app_.pid(), within)) {
    auto box = drv::ReadMessageBox(drv::FindWindowOf(app_.pid(), {"#32770", std::nullopt, true}));
    ADD_FAILURE() << "unexpected message box: title \"" << (box ? drv::Escape(box->title) : "?")
                  << "\", text \"" << (box ? drv::Escape(box->text) : "?") << "\"";
  }
}

HWND KaveltonTest::Ctl(HWND top, int id) {
  HWND h = drv::Control(top, id);
  if (!h) ADD_FAILURE() << "no control with ID " << id << " in [" << drv::ClassName(top) << "]; found:\n"
                        << Windows();
  return h;
}

std::string KaveltonTest::Windows() const {
  return app_.started() ? drv::Describe(app_.pid(), true) : std::string("(program not started)\n");
}

}  // namespace kv::e2e
