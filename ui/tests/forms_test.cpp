// The form framework's own promises: handler exceptions end in the standard
// box, modal showing returns on close, timers stop with their form.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <utility>

#include "fake_platform.h"
#include "forms.h"
#include "modal_helpers.h"

namespace kv {
namespace {

class ProbeForm : public ui::TForm {
public:
    explicit ProbeForm(ui::TForm* owner = nullptr)
        : TForm(ui::FormStyle{"KvProbe", "probe", 10, 10, 120, 80}, owner),
          Button(*this, 7, 5, 5, 60, 24, "Go", ui::Font{13}),
          Timer(*this, 1, 10) {}
    ui::TButton Button;
    ui::TTimer Timer;
};

TEST(Framework, HandlerExceptionIsShownInTheStandardBox) {
    test::ScopedFake scoped;
    ProbeForm form;
    form.Button.OnClick = [] { throw std::runtime_error("Range check error"); };
    SendMessageA(form.Button.Handle(), BM_CLICK, 0, 0);
    ASSERT_EQ(scoped.fake.messages.size(), 1u);
    EXPECT_EQ(scoped.fake.messages[0].text, "Range check error");
    EXPECT_EQ(scoped.fake.messages[0].style & MB_ICONERROR, static_cast<UINT>(MB_ICONERROR));
}

TEST(Framework, ModalShowingDisablesTheOwnerUntilClosed) {
    test::ScopedFake scoped;
    ProbeForm owner;
    owner.Show();
    ProbeForm dialog(&owner);
    bool ownerDisabledMeanwhile = false;
    test::WhenShown("KvProbe", [&](HWND) {});  // the owner is the first visible one
    dialog.Timer.OnTimer = [&] {
        ownerDisabledMeanwhile = !IsWindowEnabled(owner.Handle());
        dialog.Timer.SetEnabled(false);
        dialog.Close();
    };
    dialog.Timer.SetEnabled(true);
    EXPECT_EQ(dialog.ShowModal(), ui::mrCancel);
    EXPECT_TRUE(ownerDisabledMeanwhile);
    EXPECT_TRUE(IsWindowEnabled(owner.Handle()));
    EXPECT_FALSE(dialog.Visible());
}

void PumpPending() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

TEST(Framework, WorkAfterTheFirstPaintWaitsForTheFormToBeShownAndDrawnAndRunsOnce) {
    test::ScopedFake scoped;
    ProbeForm form;
    int runs = 0;
    bool drawnByThen = false;
    form.AfterFirstPaint([&] {
        ++runs;
        drawnByThen = IsWindowVisible(form.Handle()) && !GetUpdateRect(form.Handle(), nullptr, FALSE) &&
                      !GetUpdateRect(form.Button.Handle(), nullptr, FALSE);
    });
    PumpPending();
    EXPECT_EQ(runs, 0) << "ran before the form was shown";
    form.Show();
    PumpPending();
    form.Hide();
    form.Show();
    PumpPending();
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(drawnByThen) << "ran while the form or its button still waited to be painted";
}

// The columns in which a flat button, drawn into a bitmap, shows its
// picture: a solid 10 x 10 block of one colour.
std::pair<int, int> PictureColumns(const std::string& caption, int buttonWidth) {
    constexpr COLORREF kInk = RGB(10, 200, 30);
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP picture = CreateCompatibleBitmap(screen, 10, 10);
    HGDIOBJ old = SelectObject(dc, picture);
    HBRUSH ink = CreateSolidBrush(kInk);
    RECT all{0, 0, 10, 10};
    FillRect(dc, &all, ink);
    SelectObject(dc, old);

    ProbeForm form;
    ui::TSpeedButton button(nullptr, form, 9, 0, 0, buttonWidth, 20, caption, ui::Font{13}, picture);
    RECT client{};
    GetClientRect(button.Handle(), &client);
    HBITMAP canvas = CreateCompatibleBitmap(screen, client.right, client.bottom);
    old = SelectObject(dc, canvas);
    SendMessageA(button.Handle(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    int first = -1, last = -1;
    for (int x = 0; x < client.right; ++x) {
        if (GetPixel(dc, x, client.bottom / 2) != kInk) continue;
        if (first < 0) first = x;
        last = x;
    }
    SelectObject(dc, old);
    DeleteObject(canvas);
    DeleteObject(ink);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    DeleteObject(picture);
    return {first, last};
}

TEST(Framework, AFlatButtonCentresItsPictureOnlyWithoutACaption) {
    test::ScopedFake scoped;
    const int width = ui::Scale(10);
    const int button = ui::Scale(13);  // the picture fills all but three columns
    EXPECT_EQ(PictureColumns("", 13), std::make_pair((button - width) / 2, (button - width) / 2 + width - 1));
    EXPECT_EQ(PictureColumns("", 60).first, (ui::Scale(60) - width) / 2);
    EXPECT_EQ(PictureColumns("Go", 60).first, ui::Scale(8)) << "beside a caption: the left margin";
}

// The focus rectangle, drawn through the form's WM_DRAWITEM into a bitmap:
// on the focused button unless the keyboard cues hide it.
TEST(Framework, AFocusedFlatButtonShowsTheFocusRectangleUnlessCuesAreHidden) {
    test::ScopedFake scoped;
    const struct { UINT state; WORD cues; bool shown; } cases[] = {
        {ODS_FOCUS, UIS_CLEAR, true}, {0, UIS_CLEAR, false},
        {ODS_FOCUS | ODS_NOFOCUSRECT, UIS_CLEAR, false}, {ODS_FOCUS, UIS_SET, false}};
    BOOL alwaysCues = FALSE;  // so under Wine: the cue state never hides the rectangle
    SystemParametersInfoA(SPI_GETKEYBOARDCUES, 0, &alwaysCues, 0);
    for (const auto& c : cases) {
        ProbeForm form;
        ui::TSpeedButton button(nullptr, form, 9, 0, 0, 60, 20, "", ui::Font{13});
        SendMessageA(button.Handle(), WM_UPDATEUISTATE, MAKEWPARAM(c.cues, UISF_HIDEFOCUS), 0);
        RECT r{};
        GetClientRect(button.Handle(), &r);
        HDC dc = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(dc, CreateBitmap(r.right, r.bottom, 1, 32, nullptr));
        DRAWITEMSTRUCT item{ODT_BUTTON, 9, 0, ODA_DRAWENTIRE, c.state, button.Handle(), dc, r, 0};
        SendMessageA(form.Handle(), WM_DRAWITEM, 9, reinterpret_cast<LPARAM>(&item));
        int dots = 0;  // along the rectangle's top, inside the button's own edge
        for (int x = 3; x < r.right - 3; ++x) dots += GetPixel(dc, x, 3) != GetSysColor(COLOR_BTNFACE);
        EXPECT_EQ(dots > 0, c.shown || (alwaysCues && c.state == ODS_FOCUS)) << "state " << c.state << ", cues " << c.cues << ": " << dots;
        DeleteObject(SelectObject(dc, old));
        DeleteDC(dc);
    }
}

TEST(Framework, ADestroyedFormGetsNoMoreTicks) {
    test::ScopedFake scoped;
    int ticks = 0;
    {
        ProbeForm form;
        form.Timer.OnTimer = [&] { ++ticks; };
        form.Timer.SetEnabled(true);
    }
    const DWORD until = GetTickCount() + 100;
    MSG msg;
    while (GetTickCount() < until)
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    EXPECT_EQ(ticks, 0);
}

class ComboForm : public ui::TForm {
public:
    ComboForm()
        : TForm(ui::FormStyle{"KvComboProbe", "combo", 10, 10, 200, 80}, nullptr),
          Box(*this, 3, 5, 5, 150, 24, "", ui::Font{13}) {}
    ui::TComboBox Box;
};

void Type(HWND combo, const std::string& keys) {
    HWND edit = FindWindowExA(combo, nullptr, "Edit", nullptr);
    ASSERT_TRUE(edit) << "the combo box has no edit field";
    for (char c : keys) SendMessageA(edit, WM_CHAR, static_cast<WPARAM>(c), 0);
}

TEST(Framework, TypedTextCompletesFromTheItemsButDeletingDoesNotComeBack) {
    test::ScopedFake scoped;
    ComboForm form;
    form.Box.AddItem("KVD.099");
    form.Box.AddItem("KVD.101");
    form.Box.AddItem("OTHER.ROM");
    Type(form.Box.Handle(), "O");
    EXPECT_EQ(form.Box.Text(), "OTHER.ROM");
    DWORD start = 0, end = 0;
    SendMessageA(form.Box.Handle(), CB_GETEDITSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 1u) << "the completed part is selected";
    EXPECT_EQ(end, 9u);

    Type(form.Box.Handle(), "\b");  // deletes the selected completion
    EXPECT_EQ(form.Box.Text(), "O");
    Type(form.Box.Handle(), "X");
    EXPECT_EQ(form.Box.Text(), "OX") << "text matching no item is kept as typed";
}

TEST(Framework, WindowsFitIntoTheWorkArea) {
    const RECT area{0, 0, 1024, 728}, second{1024, -200, 2048, 568};
    struct Case {
        RECT area, window, expected;
    } cases[] = {
        {area, {407, 179, 1090, 825}, {341, 82, 1024, 728}},  // beyond right and bottom: moved just enough
        {area, {100, 100, 400, 300}, {100, 100, 400, 300}},   // fits: the designed place holds
        {area, {-50, -20, 250, 180}, {0, 0, 300, 200}},       // above and left of the area
        {area, {0, 0, 1024, 728}, {0, 0, 1024, 728}},         // exactly the area
        {area, {500, 300, 1700, 1300}, {0, 0, 1200, 1000}},   // larger: the caption stays on screen
        // On a second monitor's area the same rule holds in its coordinates.
        {second, {1900, 500, 2200, 700}, {1748, 368, 2048, 568}},
    };
    for (const Case& c : cases) {
        const RECT got = ui::FitIntoWorkArea(c.window, c.area);
        EXPECT_TRUE(EqualRect(&got, &c.expected))
            << c.window.left << "," << c.window.top << " -> " << got.left << "," << got.top;
    }

    // And a form designed off the screen opens inside its monitor's work area.
    struct FarForm : ui::TForm {
        FarForm() : TForm(ui::FormStyle{"KvFar", "far", 30000, 30000, 120, 80}, nullptr) {}
    } lost;
    lost.Show();
    RECT placed{}, intersection{};
    GetWindowRect(lost.Handle(), &placed);
    MONITORINFO monitor{sizeof monitor};
    GetMonitorInfoA(MonitorFromWindow(lost.Handle(), MONITOR_DEFAULTTONEAREST), &monitor);
    IntersectRect(&intersection, &placed, &monitor.rcWork);
    EXPECT_TRUE(EqualRect(&intersection, &placed)) << placed.left << "," << placed.top;
}

}  // namespace
}  // namespace kv
