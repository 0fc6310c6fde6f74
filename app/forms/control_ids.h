// Stable control IDs: each control of each form keeps one ID for its whole
// life, so accessibility tools and our test driver can find it. Window class
// names equal the form class names (TMainForm, TFloppy, TUSB, TWindow,
// TAboutForm).
#pragma once

namespace kv::ids {

namespace mainform {
constexpr int GroupBox1 = 101, Label1 = 102, Label2 = 103, Label3 = 104, Label4 = 105,
              labPrdName = 106, labManufacture = 107, labBIOSVersion = 108, labBIOSDate = 109,
              GroupBox2 = 110, OnFloppy = 111, OnUSB = 112, OnWinFlash = 113, OnLogo = 114,
              OnExit = 115, labWarning = 116, SpeedButton1 = 117;
}
namespace about {
constexpr int Image1 = 201, Label2 = 202, Button1 = 203;
}
namespace floppy {
constexpr int OnCreateDisk = 301, OnExit = 302, ComboBox1 = 303, Label1 = 304, Label2 = 305,
              Label3 = 306, ProgressBar1 = 307;
}
namespace usb {
constexpr int Label1 = 401, Label2 = 402, Button1 = 403, ComboBox1 = 404, Button2 = 405,
              ProgressBar1 = 406, ComboBox2 = 407;
}
namespace window {
constexpr int ComboBox1 = 501, Button1 = 502, Button2 = 503, Label1 = 504, Label2 = 505;
}

}  // namespace kv::ids
