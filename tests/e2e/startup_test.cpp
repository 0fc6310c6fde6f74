// Start-up: system information from BIOS.dll and the system ID check.
#include "e2e_fixture.h"
#include "forms/control_ids.h"

namespace kv::e2e {
namespace {

namespace id = kv::ids::mainform;

const char* const kWarning = " Warning!! The new BIOS is not suitable for this system!  ";

class Startup : public KaveltonTest {};

TEST_F(Startup, MatchingSystemIdShowsValuesAndEnablesFlash) {
  ASSERT_NO_FATAL_FAILURE(UseBiosDouble({}));  // product "abc12"
  ASSERT_NO_FATAL_FAILURE(WriteInstallFile("System.txt", "SystemID:ABC12\r\nOther:thing\r\n"));
  HWND main = StartToMainWindow();
  ASSERT_TRUE(main);

  EXPECT_EQ(drv::Text(Ctl(main, id::labManufacture)), "Kav Maker Inc.");
  EXPECT_EQ(drv::Text(Ctl(main, id::labBIOSVersion)), "KVB.105");
  EXPECT_EQ(drv::Text(Ctl(main, id::labBIOSDate)), "02/15/2008");
  EXPECT_EQ(drv::Text(Ctl(main, id::labPrdName)), "KV-7 Desktop");

  HWND flash = Ctl(main, id::OnWinFlash);
  EXPECT_TRUE(flash && drv::Enabled(flash)) << "the flash button is disabled on a matching ID";
  HWND warning = Ctl(main, id::labWarning);
  EXPECT_FALSE(drv::Visible(warning)) << "warning shown on a matching ID";
  EXPECT_EQ(drv::Text(warning), kWarning) << "the warning text is set at creation even when hidden";

  const std::vector<std::string> calls = {"InitNameSpace 0", "BIOS 0", "BIOS 1", "BIOS 2",
                                          "InitNameSpace 2", "BIOS 4", "InitNameSpace 1",
                                          "BIOS 3", "UnInitNameSpace"};
  EXPECT_EQ(ReadLines("bios-double.log"), calls);
}

TEST_F(Startup, MismatchingSystemIdShowsWarningAndDisablesFlash) {
  BiosValues v;
  v.product = "ABC12X";
  ASSERT_NO_FATAL_FAILURE(UseBiosDouble(v));
  // The ID ends at the end of the file: no line end needed.
  ASSERT_NO_FATAL_FAILURE(WriteInstallFile("System.txt", "SystemID:ABC12"));
  HWND main = StartToMainWindow();
  ASSERT_TRUE(main);

  HWND warning = Ctl(main, id::labWarning);
  EXPECT_TRUE(drv::Visible(warning)) << "no warning on a mismatching ID";
  EXPECT_EQ(drv::Text(warning), kWarning);
  EXPECT_FALSE(drv::Enabled(Ctl(main, id::OnWinFlash))) << "flash enabled on a mismatching ID";
  // The values are shown whatever the check says.
  EXPECT_EQ(drv::Text(Ctl(main, id::labBIOSVersion)), "KVB.105");
}

TEST_F(Startup, MissingSystemTxtWarnsBeforeTheWindowOpens) {
  ASSERT_NO_FATAL_FAILURE(UseBiosDouble({}));
  ASSERT_NO_FATAL_FAILURE(StartApp());
  auto box = ExpectBox("Get MotherBoard systemID", "Can't get systemID from \nC:\\KAVELTON\\system.txt!",
                       {IDOK}, Icon::Shown, 20s);
  ASSERT_TRUE(box);
  EXPECT_FALSE(drv::FindWindowOf(app_.pid(), {"TMainForm", std::nullopt, true}))
      << "the main window is visible before the box is answered";
  AnswerBox(box, IDOK);

  HWND main = WaitMainWindow();
  ASSERT_TRUE(main);
  ExpectNoBox();
  EXPECT_FALSE(drv::Enabled(Ctl(main, id::OnWinFlash))) << "flash enabled without a system ID";
  EXPECT_FALSE(drv::Visible(Ctl(main, id::labWarning))) << "warning shown without a system ID";
  EXPECT_EQ(drv::Text(Ctl(main, id::labBIOSVersion)), "KVB.105");
}

TEST_F(Startup, RecordedUpdateIsReportedOnceBeforeTheWindowOpensAndTheStartIsLogged) {
  ASSERT_NO_FATAL_FAILURE(UseBiosDouble({}));  // running "KVB.105"
  ASSERT_NO_FATAL_FAILURE(WriteInstallFile("System.txt", "SystemID:ABC12\r\n"));
  ASSERT_NO_FATAL_FAILURE(WriteInstallFile("LastUpdate.txt", "KVB.106\r\n"));
  ASSERT_NO_FATAL_FAILURE(StartApp());
  auto box = ExpectBox("BIOS update result",
                       "The BIOS update did not take.\n\nBIOS image: KVB.106\nRunning BIOS version: KVB.105"
                       "\n\nPlease try again, or flash the BIOS from a diskette or a USB key.",
                       {IDOK}, Icon::Shown, 20s);
  ASSERT_TRUE(box);
  EXPECT_FALSE(drv::FindWindowOf(app_.pid(), {"TMainForm", std::nullopt, true}))
      << "the main window is visible before the box is answered";
  EXPECT_FALSE(InstallFileExists("LastUpdate.txt")) << "the record is kept after it was reported";
  AnswerBox(box, IDOK);
  ASSERT_TRUE(WaitMainWindow());
  ExpectNoBox();

  const auto log = ReadLines("Kavelton.log");
  auto logged = [&](const std::string& part) {
    for (const auto& line : log)
      if (line.find(part) != std::string::npos) return true;
    return false;
  };
  EXPECT_TRUE(logged("Start: maker \"Kav Maker Inc.\", version \"KVB.105\", date \"02/15/2008\""));
  EXPECT_TRUE(logged("Start: board matches system ID \"ABC12\""));
  EXPECT_TRUE(logged("BIOS update result: The BIOS update did not take."));
}

TEST_F(Startup, MissingBiosDllIsReportedAndTheWindowStillOpens) {
  RemoveInstallFile("BIOS.dll");
  ASSERT_NO_FATAL_FAILURE(WriteInstallFile("System.txt", "SystemID:ABC12\r\n"));
  ASSERT_NO_FATAL_FAILURE(StartApp());
  auto box = ExpectBox("Welcome to use Pravolin", "Load BIOS DLL Failed!", {IDOK}, Icon::None, 20s);
  ASSERT_TRUE(box);
  EXPECT_FALSE(drv::FindWindowOf(app_.pid(), {"TMainForm", std::nullopt, true}))
      << "the main window is visible before the box is answered";
  AnswerBox(box, IDOK);

  HWND main = WaitMainWindow();
  ASSERT_TRUE(main);
  ExpectNoBox();
  EXPECT_TRUE(app_.Running());
}

TEST_F(Startup, NullValuesShowAsEmptyTextAndEmptyIdMatchesEmptyProduct) {
  BiosValues v;
  v.manufacturer = std::nullopt;
  v.version = std::nullopt;
  v.model = std::nullopt;
  v.product = std::nullopt;
  ASSERT_NO_FATAL_FAILURE(UseBiosDouble(v));
  // A blank right after the colon gives an empty ID, equal to the empty product.
  ASSERT_NO_FATAL_FAILURE(WriteInstallFile("System.txt", "SystemID: ABC12\r\n"));
  HWND main = StartToMainWindow();
  ASSERT_TRUE(main);

  EXPECT_EQ(drv::Text(Ctl(main, id::labManufacture)), "");
  EXPECT_EQ(drv::Text(Ctl(main, id::labBIOSVersion)), "");
  EXPECT_EQ(drv::Text(Ctl(main, id::labPrdName)), "");
  EXPECT_EQ(drv::Text(Ctl(main, id::labBIOSDate)), "02/15/2008");
  EXPECT_TRUE(drv::Enabled(Ctl(main, id::OnWinFlash))) << "empty ID vs empty product is a match";
  EXPECT_FALSE(drv::Visible(Ctl(main, id::labWarning)));
}

TEST_F(Startup, RealBiosDllShowsWhatWmiReports) {
  // Wine's WMI gives its own fixed values only where the host has no SMBIOS.
  if (GetFileAttributesA("Z:\\sys\\class\\dmi\\id\\bios_vendor") != INVALID_FILE_ATTRIBUTES)
    GTEST_SKIP() << "the host's SMBIOS data replaces Wine's fixed values";
  ASSERT_NO_FATAL_FAILURE(WriteInstallFile("System.txt", "SystemID:NotThisBoard\r\n"));
  ASSERT_NO_FATAL_FAILURE(StartApp());
  HWND main = WaitMainWindow(40s);  // the first WMI use starts Wine's services
  ASSERT_TRUE(main);
  ExpectNoBox(500ms);
  EXPECT_EQ(drv::Text(Ctl(main, id::labManufacture)), "The Wine Project");
  EXPECT_EQ(drv::Text(Ctl(main, id::labBIOSVersion)), "Wine");
  EXPECT_EQ(drv::Text(Ctl(main, id::labBIOSDate)), "06/08/2012");
  EXPECT_EQ(drv::Text(Ctl(main, id::labPrdName)), "Wine");
  // The board reports "Base Board", which is not this ID.
  EXPECT_TRUE(drv::Visible(Ctl(main, id::labWarning)));
  EXPECT_FALSE(drv::Enabled(Ctl(main, id::OnWinFlash)));
}

}  // namespace
}  // namespace kv::e2e
