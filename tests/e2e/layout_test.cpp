// The main window's frame and controls as the user sees them (96 DPI).
#include <sstream>

#include "e2e_fixture.h"
#include "forms/control_ids.h"

namespace kv::e2e {
namespace {

namespace id = kv::ids::mainform;

enum class Kind { Label, Group, Flat };
enum class In { Window, Group1, Group2 };

struct Expected {
  const char* name;
  int id;
  Kind kind;
  In in;
  int left, top, width, height;  // width/height 0: sized by its text
  std::string caption;           // unset for the value labels
  bool check_caption = true;
};

std::string Blanks(int n) { return std::string(static_cast<size_t>(n), ' '); }

std::vector<Expected> MainControls() {
  return {
      {"GroupBox1", id::GroupBox1, Kind::Group, In::Window, 18, 16, 407, 105, "Current System Information"},
      {"Label1", id::Label1, Kind::Label, In::Group1, 17, 24, 0, 0, "Product Name:"},
      {"Label2", id::Label2, Kind::Label, In::Group1, 17, 51, 0, 0, "BIOS  Manufacture:"},
      {"Label3", id::Label3, Kind::Label, In::Group1, 17, 78, 0, 0, "BIOS Version:"},
      {"Label4", id::Label4, Kind::Label, In::Group1, 241, 78, 0, 0, "BIOS Date:"},
      {"labPrdName", id::labPrdName, Kind::Label, In::Group1, 138, 24, 0, 0, "", false},
      {"labManufacture", id::labManufacture, Kind::Label, In::Group1, 138, 53, 0, 0, "", false},
      {"labBIOSVersion", id::labBIOSVersion, Kind::Label, In::Group1, 138, 81, 0, 0, "", false},
      {"labBIOSDate", id::labBIOSDate, Kind::Label, In::Group1, 322, 79, 0, 0, "", false},
      {"labWarning", id::labWarning, Kind::Label, In::Window, 32, 136, 0, 0,
       " Warning!! The new BIOS is not suitable for this system!  "},
      {"GroupBox2", id::GroupBox2, Kind::Group, In::Window, 20, 159, 405, 175, "BIOS Flash"},
      {"OnFloppy", id::OnFloppy, Kind::Flat, In::Group2, 16, 21, 377, 41,
       Blanks(39) + "Create  BIOS Flash  Diskette" + Blanks(12)},
      {"OnUSB", id::OnUSB, Kind::Flat, In::Group2, 16, 71, 377, 41,
       Blanks(39) + "Create  BIOS Flash  Penlet" + Blanks(9)},
      {"OnWinFlash", id::OnWinFlash, Kind::Flat, In::Group2, 16, 122, 377, 41,
       Blanks(40) + "Flash System BIOS Now" + Blanks(19)},
      {"OnLogo", id::OnLogo, Kind::Flat, In::Window, 24, 344, 73, 57, ""},
      {"SpeedButton1", id::SpeedButton1, Kind::Flat, In::Window, 328, 357, 41, 33, "About"},
      {"OnExit", id::OnExit, Kind::Flat, In::Window, 384, 357, 41, 33, "Exit"},
  };
}

class MainLayout : public KaveltonTest {};

TEST_F(MainLayout, FrameHasFixedSizeCloseBoxOnlyAndDesignedPlace) {
  ASSERT_NO_FATAL_FAILURE(UseBiosDouble({}));
  ASSERT_NO_FATAL_FAILURE(WriteInstallFile("System.txt", "SystemID:ABC12\r\n"));
  HWND main = StartToMainWindow();
  ASSERT_TRUE(main);

  SIZE client = drv::ClientSize(main);
  EXPECT_EQ(client.cx, 451);
  EXPECT_EQ(client.cy, 408);
  RECT r{};
  GetWindowRect(main, &r);
  EXPECT_EQ(r.left, 271);
  EXPECT_EQ(r.top, 119);
  DWORD style = drv::Style(main);
  EXPECT_TRUE(style & WS_SYSMENU) << std::hex << style;
  EXPECT_FALSE(style & WS_MINIMIZEBOX) << std::hex << style;
  EXPECT_FALSE(style & WS_MAXIMIZEBOX) << std::hex << style;
  EXPECT_FALSE(style & WS_THICKFRAME) << "the frame must not be sizeable; style " << std::hex << style;
}

// Keyboard alone: the first focus on the first task button, Tab through
// every button and round, Shift+Tab back; a disabled flash button is skipped.
TEST_F(MainLayout, TabWalksTheButtonsInOrderAndSkipsADisabledFlashButton) {
  ASSERT_NO_FATAL_FAILURE(UseBiosDouble({}));
  const struct { const char* system; std::vector<int> order; } cases[] = {
      {"ABC12", {id::OnFloppy, id::OnUSB, id::OnWinFlash, id::OnLogo, id::SpeedButton1, id::OnExit}},
      {"OTHER", {id::OnFloppy, id::OnUSB, id::OnLogo, id::SpeedButton1, id::OnExit}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.system);
    ASSERT_NO_FATAL_FAILURE(WriteInstallFile("System.txt", std::string("SystemID:") + c.system + "\r\n"));
    HWND main = StartToMainWindow();
    ASSERT_TRUE(main);
    std::vector<int> seen, expected = c.order;
    expected.insert(expected.end(), {c.order.front(), c.order.back()});
    for (size_t i = 0; i < expected.size(); ++i) {
      if (i > 0) ASSERT_TRUE(drv::PressKey(main, VK_TAB, i + 1 == expected.size()));
      seen.push_back(GetDlgCtrlID(drv::Focus(main)));
    }
    EXPECT_EQ(seen, expected);
    app_.Kill();
  }
}

TEST_F(MainLayout, ControlsSitWhereDesignedWithTheirCaptions) {
  ASSERT_NO_FATAL_FAILURE(UseBiosDouble({}));
  ASSERT_NO_FATAL_FAILURE(WriteInstallFile("System.txt", "SystemID:ABC12\r\n"));
  HWND main = StartToMainWindow();
  ASSERT_TRUE(main);
  HWND group1 = Ctl(main, id::GroupBox1);
  HWND group2 = Ctl(main, id::GroupBox2);
  ASSERT_TRUE(group1 && group2);

  for (const Expected& e : MainControls()) {
    SCOPED_TRACE(e.name);
    HWND h = Ctl(main, e.id);
    if (!h) continue;
    HWND parent = e.in == In::Window ? main : e.in == In::Group1 ? group1 : group2;
    EXPECT_EQ(GetAncestor(h, GA_PARENT), parent) << "in the wrong container";

    std::string cls = drv::ClassName(h);
    DWORD type = drv::Style(h) & BS_TYPEMASK;
    switch (e.kind) {
      case Kind::Label: EXPECT_STRCASEEQ(cls.c_str(), "STATIC"); break;
      case Kind::Group:
        EXPECT_STRCASEEQ(cls.c_str(), "BUTTON");
        EXPECT_EQ(type, static_cast<DWORD>(BS_GROUPBOX));
        break;
      case Kind::Flat:
        EXPECT_STRCASEEQ(cls.c_str(), "BUTTON");
        EXPECT_EQ(type, static_cast<DWORD>(BS_OWNERDRAW)) << "a flat button is owner-drawn";
        break;
    }

    RECT r = drv::RectInParent(h);
    EXPECT_EQ(r.left, e.left);
    EXPECT_EQ(r.top, e.top);
    if (e.width) {
      EXPECT_EQ(r.right - r.left, e.width);
      EXPECT_EQ(r.bottom - r.top, e.height);
    }
    if (e.check_caption) {
      std::string text = drv::Text(h);
      EXPECT_EQ(text, e.caption) << "got \"" << text << "\" (" << text.size() << " chars)";
    }
    if (e.id != id::labWarning) {
      EXPECT_TRUE(drv::Visible(h));
    }
  }
  // Only the flash button depends on the check; the other tasks are always on.
  for (int b : {id::OnFloppy, id::OnUSB, id::OnLogo, id::SpeedButton1, id::OnExit})
    EXPECT_TRUE(drv::Enabled(Ctl(main, b))) << "control " << b;
}

}  // namespace
}  // namespace kv::e2e
