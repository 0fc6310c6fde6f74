// Kavelton.exe with arguments, as a deployment tool runs it: no window, the
// whole exit code (read here with GetExitCodeProcess: a Linux shell would see
// only its low 8 bits), the output on an inherited handle. Not reachable
// under Wine: 5 (Wine reports AC power and no battery), 6 (no drive
// encryption namespace) and 1641 (a restart ends the whole Wine session).
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include <nlohmann/json.hpp>

#include "e2e_fixture.h"
#include "events.h"

namespace kv::e2e {
namespace {

const std::string kAbcDigest = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

class Unattended : public KaveltonTest {
 protected:
  void SetUp() override {
    KaveltonTest::SetUp();
    if (HasFatalFailure()) return;
    drv::KillAllNamed("WinFlash64.exe");
    ASSERT_NO_FATAL_FAILURE(UseBiosDouble({.version = "KVD.100"}));
    ASSERT_NO_FATAL_FAILURE(WriteInstallFile("System.txt", "SystemID:ABC12\r\n"));
    for (const char* f : {"WinFlash64.exe", "flasher.log", "LastUpdate.txt", "SHA256SUMS"})
      RemoveInstallFile(f);
  }
  void TearDown() override {
    drv::KillAllNamed("WinFlash64.exe");
    KaveltonTest::TearDown();
  }

  // Runs Kavelton.exe with the arguments; its exit code, and what it wrote
  // to its standard output in *output. No window may open meanwhile.
  DWORD Run(const std::string& args, std::string* output = nullptr, const char* workDir = kInstallDir) {
    // Outside the install folder: a file there that something holds open
    // for writing is one the walk at start refuses.
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string outPath = std::string(temp) + "kv-unattended-out.txt";
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE out = CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             &inherit, CREATE_ALWAYS, 0, nullptr);
    EXPECT_NE(out, INVALID_HANDLE_VALUE);
    std::string error;
    app_ = drv::Process::Start(InstallPath("Kavelton.exe"), args, workDir, &error, out);
    CloseHandle(out);
    EXPECT_TRUE(app_.started()) << StartFailure(error);
    DWORD code = 0xDEAD;
    const bool ended = app_.WaitExit(60s, &code);
    EXPECT_TRUE(ended) << args << ": still running; found:\n" << Windows();
    std::ifstream in(outPath, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (output) *output = text;
    return ended ? code : 0xDEAD;
  }
};

TEST_F(Unattended, BadArgumentsGiveOneAndStartNothing) {
  ASSERT_NO_FATAL_FAILURE(InstallFlasher());
  WriteInstallFile("ROM\\KVD.101", "BIOS image\r\n");
  for (const char* args : {"/bogus", "/flash", "/flash /force", "/check now", "/flash KVD.101 /later",
                           "check"}) {
    SCOPED_TRACE(args);
    std::string out;
    EXPECT_EQ(Run(args, &out), 1u);
    EXPECT_NE(out.find("Usage: Kavelton.exe /check"), std::string::npos) << out;
  }
  std::string usage;
  EXPECT_EQ(Run("/?", &usage), 0u);
  EXPECT_NE(usage.find("/flash IMAGE [/force] [/reflash] [/suspendencryption[:RESTARTS]] [/restart[:SECONDS]]"), std::string::npos);
  EXPECT_TRUE(ReadLines("flasher.log").empty()) << "a flasher was started";
}

TEST_F(Unattended, CheckReportsTheBoardByItsExitCode) {
  std::string out;
  EXPECT_EQ(Run("/check", &out), 0u);
  EXPECT_NE(out.find("BIOS version: KVD.100\r\n"), std::string::npos) << out;
  EXPECT_NE(out.find("The board matches System.txt."), std::string::npos) << out;

  WriteInstallFile("System.txt", "SystemID:XYZ99\r\n");
  EXPECT_EQ(Run("/CHECK"), 2u);
  RemoveInstallFile("System.txt");
  EXPECT_EQ(Run("/check"), 3u);
  EXPECT_NE(ReadLines("Kavelton.log").size(), 0u) << "the runs are logged";
}

TEST_F(Unattended, FlashEndsWithTheCodeOfItsFirstRefusalOrTheFlashersResult) {
  struct Case {
    const char* name;
    std::string image, content, sums;
    bool flasher;
    const char* args;
    DWORD code;
    bool started;
    bool squatted = false;  // an event holds the flash lock's global name (Wine has no namespaces)
  };
  const Case cases[] = {
      {"image missing", "KVD.101", "", "", true, "/flash KVD.102", 4, false},
      {"checksum mismatch", "KVD.101", "abc", std::string(64, '1') + "  ./ROM/KVD.101\n", true,
       "/flash KVD.101", 4, false},
      {"not listed", "KVD.101", "abc", kAbcDigest + "  ROM/KVD.100\n", true, "/flash KVD.101", 4, false},
      {"older image", "KVD.099", "abc", "", true, "/flash KVD.099", 9, false},
      {"unreadable version", "KVD.1.2", "abc", "", true, "/flash KVD.1.2", 9, false},
      {"flasher missing", "KVD.101", "abc", "", false, "/flash KVD.101", 7, false},
      {"flasher fails", "KVD.101", "exit=5\r\n", "", true, "/flash KVD.101", 8, true},
      {"flashed", "KVD.101", "abc", kAbcDigest + " *./ROM/KVD.101\r\n", true, "/flash KVD.101", 3010, true},
      {"older image forced", "KVD.099", "abc", "", true, "/flash kvd.099 /FORCE", 3010, true},
      {"lock name squatted", "KVD.101", "abc", "", true, "/flash KVD.101", 7, false, true},
  };
  RemoveInstallFile("ROM\\KAVT.107");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteInstallFile("ROM\\" + c.image, c.content);
    RemoveInstallFile("SHA256SUMS");
    if (!c.sums.empty()) WriteInstallFile("SHA256SUMS", c.sums);
    RemoveInstallFile("WinFlash64.exe");
    RemoveInstallFile("flasher.log");
    RemoveInstallFile("LastUpdate.txt");  // a flashed case would wait for its restart
    if (c.flasher) ASSERT_NO_FATAL_FAILURE(InstallFlasher());
    std::string out;
    HANDLE squat = c.squatted ? CreateEventA(nullptr, TRUE, FALSE, "Global\\Kavelton.Flash") : nullptr;
    EXPECT_EQ(Run(c.args, &out), c.code) << out;
    if (squat) CloseHandle(squat);
    EXPECT_EQ(out.find("Another program has taken the name of the flash lock") != std::string::npos, c.squatted);
    EXPECT_EQ(ReadLines("flasher.log").size(), c.started ? 1u : 0u) << out;
    EXPECT_EQ(InstallFileExists("LastUpdate.txt"), c.code == 3010) << "recorded once flashed, whoever restarts";
    RemoveInstallFile("ROM\\" + c.image);
  }
}

// The build's test CA listed as the only publisher: the flasher it signed
// runs; one not signed, one changed after signing and one signed by another
// CA are refused before anything starts.
TEST_F(Unattended, OnlyAFlasherOfAListedPublisherRuns) {
  const char* ca = std::getenv("KV_E2E_TEST_CA_SHA256");
  if (!ca || !*ca) GTEST_SKIP() << "signed with a maker's certificate: there is no test CA to list";
  WriteInstallFile("Signers.txt", std::string("cert ") + ca + " Kavelton Throwaway Test CA\r\n");
  RemoveInstallFile("ROM\\KAVT.107");
  RemoveInstallFile("SHA256SUMS");
  WriteInstallFile("ROM\\KVD.101", "abc");
  const struct {
    const char* flasher;
    DWORD code;
  } cases[] = {{"KV_E2E_FLASHER", 3010},
               {"KV_E2E_FLASHER_UNSIGNED", 14},
               {"KV_E2E_FLASHER_CHANGED", 14},
               {"KV_E2E_FLASHER_OTHER_CA", 14}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.flasher);
    RemoveInstallFile("WinFlash64.exe");
    RemoveInstallFile("flasher.log");
    RemoveInstallFile("LastUpdate.txt");  // the signed one's flash waits for its restart
    ASSERT_NO_FATAL_FAILURE(InstallFlasher(c.flasher));
    std::string out;
    EXPECT_EQ(Run("/flash KVD.101", &out), c.code) << out;
    EXPECT_EQ(ReadLines("flasher.log").size(), c.code == 3010 ? 1u : 0u) << out;
  }
  RemoveInstallFile("Signers.txt");
}

// A flash without /restart waits for the restart: the detection run says so
// with 3010, and a second /flash starts no flasher.
TEST_F(Unattended, AFlashWaitsForItsRestart) {
  WriteInstallFile("ROM\\KVD.101", "abc");
  ASSERT_NO_FATAL_FAILURE(InstallFlasher());
  EXPECT_EQ(Run("/flash KVD.101"), 3010u);
  std::string out;
  EXPECT_EQ(Run("/scan", &out), 3010u);
  const auto scan = nlohmann::json::parse(out, nullptr, false);
  ASSERT_TRUE(scan.is_object()) << out;
  EXPECT_EQ(scan["pendingRestart"]["image"], "KVD.101") << out;
  EXPECT_EQ(scan["exitCode"], 3010) << out;
  EXPECT_EQ(Run("/flash KVD.101 /force"), 3010u);
  EXPECT_EQ(ReadLines("flasher.log").size(), 1u) << "a second flasher was started";
  RemoveInstallFile("ROM\\KVD.101");
}

// Event Viewer shows whole sentences: every ID the program writes has its
// message in Kavelton.exe, the file the MSI registers for the source.
TEST_F(Unattended, EveryEventHasItsMessageInKaveltonExe) {
  HMODULE exe = LoadLibraryExA(InstallPath("Kavelton.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_TRUE(exe) << "error " << GetLastError();
  for (DWORD id : {KV_EVENT_COMMAND_LINE, KV_EVENT_SCAN, KV_EVENT_FLASHED, KV_EVENT_FLASHED_RESTARTING,
                   KV_EVENT_WRITTEN, KV_EVENT_REFUSED, KV_EVENT_FAILED, KV_EVENT_NOT_STARTED,
                   KV_EVENT_UPDATE_RESULT, KV_EVENT_FOLDER_SECURED, KV_EVENT_FOLDER_OPEN, KV_EVENT_RESTART_REFUSED}) {
    SCOPED_TRACE(id);
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   exe, id, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                   reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    EXPECT_GT(n, 0u) << "no message, error " << GetLastError();
    EXPECT_TRUE(text && std::wstring(text).find(L"%1") != std::wstring::npos) << "no inserts";
    if (id == KV_EVENT_COMMAND_LINE && text)
      EXPECT_EQ(std::wstring(text).rfind(L"Kavelton was started with the command line: %1", 0), 0u);
    LocalFree(text);
  }
  FreeLibrary(exe);
}

// /scan prints its JSON alone: parsing the whole output proves that.
nlohmann::json ParseScan(const std::string& out) {
  nlohmann::json report = nlohmann::json::parse(out, nullptr, false);
  EXPECT_FALSE(report.is_discarded()) << "not one JSON object:\n" << out;
  return report;
}

TEST_F(Unattended, ScanTellsWhetherAnUpdateIsWaitingAndWhyNot) {
  struct Case {
    const char* name;
    std::vector<std::string> images;  // each holds "abc"
    std::string sums, systemId;
    DWORD code;
    const char* candidate;
    const char* flasher = "KV_E2E_FLASHER";
  };
  const Case cases[] = {
      {"up to date", {"KVD.099", "KVD.100"}, "", "ABC12", 0, "KVD.100"},
      {"update available", {"KVD.099", "KVD.101"}, kAbcDigest + "  ROM/KVD.101\n", "ABC12", 11, "KVD.101"},
      {"board mismatch", {"KVD.101"}, "", "XYZ99", 2, "KVD.101"},
      {"candidate fails its checksum", {"KVD.099", "KVD.101"}, std::string(64, '1') + "  ROM/KVD.101\n", "ABC12",
       4, "KVD.101"},
      {"flasher not signed", {"KVD.101"}, "", "ABC12", 4, "KVD.101", "KV_E2E_FLASHER_UNSIGNED"},
  };
  RemoveInstallFile("ROM\\KAVT.107");
  RemoveInstallFile("Kavelton.log");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const std::string& image : c.images) WriteInstallFile("ROM\\" + image, "abc");
    RemoveInstallFile("SHA256SUMS");
    if (!c.sums.empty()) WriteInstallFile("SHA256SUMS", c.sums);
    WriteInstallFile("System.txt", "SystemID:" + c.systemId + "\r\n");
    RemoveInstallFile("WinFlash64.exe");
    ASSERT_NO_FATAL_FAILURE(InstallFlasher(c.flasher));
    std::string out;
    EXPECT_EQ(Run("/scan", &out), c.code) << out;
    nlohmann::json report = ParseScan(out);
    const nlohmann::json flasher = report["flasher"];
    EXPECT_EQ(flasher.value("signature", ""), c.code == 4 && c.sums.empty() ? "notSigned" : "signed") << out;
    EXPECT_EQ(flasher.value("sha256", "").size(), 64u) << out;
    if (flasher.value("signature", "") == "signed") {
      EXPECT_EQ(flasher.value("signer", "").empty(), false) << out;
      ASSERT_FALSE(flasher["chainSha256"].empty()) << out;
      EXPECT_EQ(flasher.value("certificateSha256", ""), flasher["chainSha256"][0]) << out;
    }
    report.erase("flasher");
    EXPECT_EQ(report.value("exitCode", -1), static_cast<int>(c.code));
    EXPECT_EQ(report.value("candidate", ""), c.candidate);
    EXPECT_EQ(report["images"].size(), c.images.size());
    EXPECT_EQ(report.value("updateAvailable", false), c.code == 11);
    if (c.code == 11) {
      const nlohmann::json expected = {
          {"folder", "secure"},
          {"board", "match"},
          {"systemId", "ABC12"},
          {"boardProduct", "abc12"},
          {"bios", {{"maker", "Kav Maker Inc."}, {"version", "KVD.100"}, {"date", "02/15/2008"},
                    {"product", "KV-7 Desktop"}}},
          {"checksumList", "ok"},
          {"images", {{{"name", "KVD.099"}, {"order", "older"}, {"checksum", "notListed"}, {"secure", true}},
                      {{"name", "KVD.101"}, {"order", "newer"}, {"checksum", "ok"}, {"secure", true}}}},
          {"candidate", "KVD.101"},
          {"updateAvailable", true},
          {"pendingRestart", nullptr},
          {"lastUpdate", nullptr},
          {"exitCode", 11}};
      EXPECT_EQ(report, expected) << "got " << report.dump(2) << "\nwanted " << expected.dump(2);
    }
    for (const std::string& image : c.images) RemoveInstallFile("ROM\\" + image);
  }
  std::string log;
  for (const std::string& line : ReadLines("Kavelton.log")) log += line + "\n";
  EXPECT_NE(log.find("Unattended: The board matches System.txt."), std::string::npos) << "not logged:\n" << log;
}

TEST_F(Unattended, ScanGivesValidJsonForAnyBiosText) {
  const std::string maker = "Kav \"Maker\" C:\\BIOS\tInc. \xCE\xA9";  // a quote, a backslash, a tab, Omega
  const std::string product = "KV-7 \"\xE2\x80\x9Cpro\xE2\x80\x9D\"\\\t";
  ASSERT_NO_FATAL_FAILURE(UseBiosDouble({.manufacturer = maker, .version = "KVD.100", .product = "abc12",
                                         .model = product}));
  std::string out;
  Run("/scan", &out);
  const nlohmann::json report = ParseScan(out);
  ASSERT_TRUE(report.contains("bios") && report["bios"].is_object()) << out;
  EXPECT_EQ(report["bios"].value("maker", ""), maker);
  EXPECT_EQ(report["bios"].value("product", ""), product);
}

// The report lies where the script that started Kavelton stands, and takes
// the place of an earlier one whole.
TEST_F(Unattended, ScanWritesTheReportIntoTheWorkingFolder) {
  const std::string folder = "C:\\KVSCAN";
  CreateDirectoryA(folder.c_str(), nullptr);
  const std::string path = folder + "\\scan.json";
  std::ofstream(path, std::ios::binary) << "an earlier report";
  std::string out;
  EXPECT_EQ(Run("/scan /report scan.json", &out, folder.c_str()), 11u) << out;
  std::ifstream in(path, std::ios::binary);
  const std::string written((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(ParseScan(written), ParseScan(out));
  WIN32_FIND_DATAA found{};
  HANDLE find = FindFirstFileA((folder + "\\*.tmp").c_str(), &found);
  EXPECT_EQ(find, INVALID_HANDLE_VALUE) << "left behind: " << found.cFileName;
  if (find != INVALID_HANDLE_VALUE) FindClose(find);
  in.close();
  DeleteFileA(path.c_str());
  RemoveDirectoryA(folder.c_str());
}

// A script's wrong variable, and the same through Wine's drive Z: (the Unix
// root), which only where the new file really lies shows to be the folder.
TEST_F(Unattended, ScanRefusesAReportInTheInstallFolder) {
  const std::vector<std::string> before = ReadLines("BIOS.dll");
  const char* prefix = std::getenv("WINEPREFIX");
  ASSERT_TRUE(prefix) << "not under Wine";
  std::string z = "Z:" + std::string(prefix) + "/drive_c/KAVELTON/BIOS.dll";
  std::replace(z.begin(), z.end(), '/', '\\');
  for (const std::string& report : {InstallPath("BIOS.dll"), z}) {
    std::string out;
    EXPECT_EQ(Run("/scan /report \"" + report + "\"", &out), 12u) << report << "\n" << out;
    EXPECT_NE(ParseScan(out).value("reportError", "").find("it would lie in C:\\KAVELTON"), std::string::npos) << out;
    EXPECT_TRUE(ReadLines("BIOS.dll") == before) << report << ": BIOS.dll was changed";
  }
}

// A second name for a file elsewhere, made while the folder was open: the
// walk at start refuses it, nothing writes through it, and /secure leaves
// it for an administrator to remove.
TEST_F(Unattended, AHardLinkInTheFolderIsRefused) {
  WriteInstallFile("elsewhere.txt", "another file\r\n");
  RemoveInstallFile("Kavelton.log");
  ASSERT_TRUE(CreateHardLinkA(InstallPath("Kavelton.log").c_str(), InstallPath("elsewhere.txt").c_str(), nullptr))
      << "error " << GetLastError();
  std::string out;
  EXPECT_EQ(Run("/check", &out), 10u);
  EXPECT_NE(out.find("C:\\KAVELTON\\Kavelton.log: it has a second name (hard link)"), std::string::npos) << out;
  EXPECT_EQ(Run("/secure", &out), 10u);
  EXPECT_NE(out.find("an administrator must remove them"), std::string::npos) << out;
  EXPECT_EQ(ReadLines("elsewhere.txt"), std::vector<std::string>{"another file"});
  RemoveInstallFile("Kavelton.log");
  RemoveInstallFile("elsewhere.txt");
}

// BIOS.dll is held from its check until it is unloaded: while the program
// uses it, nobody can write it.
TEST_F(Unattended, AHeldLibraryCannotBeWrittenWhileInUse) {
  WriteInstallFile("bios-double.txt", "SMBIOSBIOSVersion=KVD.100\r\nProduct=abc12\r\nPauseMs=3000\r\n");
  RemoveInstallFile("bios-double.log");
  std::string error;
  app_ = drv::Process::Start(InstallPath("Kavelton.exe"), "/check", kInstallDir, &error);
  ASSERT_TRUE(app_.started()) << error;
  for (int i = 0; i < 100 && ReadLines("bios-double.log").empty(); ++i) Sleep(50);
  ASSERT_FALSE(ReadLines("bios-double.log").empty()) << "BIOS.dll was not loaded";
  HANDLE h = CreateFileA(InstallPath("BIOS.dll").c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  const DWORD refused = h == INVALID_HANDLE_VALUE ? GetLastError() : 0;
  if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  EXPECT_EQ(refused, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  DWORD code = 0;
  EXPECT_TRUE(app_.WaitExit(30s, &code));
  EXPECT_EQ(code, 0u);
}

// run.sh makes ROM a Unix link to a scratch folder of the test's own, which
// Wine shows as a reparse point when listed and resolves when opened.
using LinkedRom = Unattended;

TEST_F(LinkedRom, AFolderLinkAtRomIsRefused) {
  std::string out;
  EXPECT_EQ(Run("/check", &out), 10u);
  EXPECT_NE(out.find("C:\\KAVELTON\\ROM: it is a link (reparse point)"), std::string::npos) << out;
  EXPECT_FALSE(InstallFileExists("bios-double.log")) << "BIOS.dll was loaded";
  EXPECT_EQ(Run("/secure", &out), 10u);
  EXPECT_NE(out.find("an administrator must remove them"), std::string::npos) << out;
}

// run.sh leaves C:\KAVELTON writable by everyone (mode 0777, which Wine reads
// as Everyone: write), as a folder made in C:\ is on Windows.
using OpenFolder = Unattended;

TEST_F(OpenFolder, NothingIsLoadedOrWrittenBeforeTheFolderIsSecure) {
  std::string out;
  EXPECT_EQ(Run("/check", &out), 10u);
  EXPECT_NE(out.find("\r\nC:\\KAVELTON: Everyone can change it\r\n"), std::string::npos) << out;
  EXPECT_EQ(Run("/?"), 0u) << "the usage is no reason to look at the folder";
  StartApp();
  AnswerBox(ExpectBox("Kavelton",
                      "Users other than administrators can change the folder of Kavelton, or files that it uses "
                      "with administrator rights:\n\nC:\\KAVELTON: Everyone can change it\n\nAny of them could run "
                      "programs of their own with administrator rights through Kavelton, or put an altered BIOS "
                      "image or flasher in place.\n\nDo you want Kavelton to secure C:\\KAVELTON now? Afterwards "
                      "only administrators can change the folder and its files; users can still read them.\nYes "
                      "secures it and ends Kavelton: restore its files, then start it again. No ends Kavelton.",
                      {IDYES, IDNO}, Icon::Shown),
            IDNO);
  EXPECT_TRUE(app_.WaitExit(10s)) << "No ends the program; found:\n" << Windows();
  EXPECT_FALSE(InstallFileExists("bios-double.log")) << "BIOS.dll was loaded";
  EXPECT_FALSE(InstallFileExists("Kavelton.log")) << "the log was written into the open folder";
  // Set by handle, Wine keeps the lock as mode bits.
  EXPECT_EQ(Run("/secure", &out), 13u) << out;
  EXPECT_NE(out.find("C:\\KAVELTON secured now; restore these files"), std::string::npos) << out;
  EXPECT_FALSE(InstallFileExists("bios-double.log")) << "BIOS.dll was loaded";
}

}  // namespace
}  // namespace kv::e2e
