// The hold against sleep and the end of the session, through the fake
// platform.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/run_log.h"
#include "fake_platform.h"
#include "flash/flash_hold.h"
#include "flash/flash_procedure.h"
#include "forms/Main.h"

namespace kv {
namespace {

using test::ScopedFake;

using test::Has;

// --- the flash hold ------------------------------------------------------------

struct HoldingForm : ui::TForm {
    HoldingForm() : TForm(ui::FormStyle{"KvHoldingForm", "", 0, 0, 100, 100}, nullptr) {}
};

LRESULT QueryEndSession(const ui::TForm& form) {
    return ::SendMessageA(form.Handle(), WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP);
}

// A flash without a handle of ours (not started here) is held while listed.
TEST(FlashHold, HoldsUntilReleasedAndMovesToTheMainWindow) {
    ScopedFake s;
    HoldingForm dialog;
    TMainForm main;
    s.fake.processes = {{"explorer.exe", 4}, {"WINFLASH64.EXE", 8}};
    auto hold = std::make_unique<RunningFlash>(dialog, nullptr, nullptr);
    EXPECT_EQ(s.fake.executionStates,
              std::vector<EXECUTION_STATE>{ES_CONTINUOUS | ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED});
    ASSERT_EQ(s.fake.blockReasons.count(dialog.Handle()), 1u);
    EXPECT_NE(s.fake.blockReasons[dialog.Handle()].find(L"BIOS update"), std::wstring::npos);
    EXPECT_EQ(QueryEndSession(dialog), FALSE);
    EXPECT_EQ(QueryEndSession(main), TRUE);

    main.TakeOverFlash(std::move(hold));
    EXPECT_EQ(s.fake.blockReasons.count(dialog.Handle()), 0u);
    EXPECT_EQ(s.fake.blockReasons.count(main.Handle()), 1u);
    EXPECT_EQ(QueryEndSession(dialog), TRUE);
    EXPECT_EQ(QueryEndSession(main), FALSE);

    main.HoldTimerTimer();  // the flasher still runs
    EXPECT_TRUE(main.HoldsFlash());
    s.fake.processes.pop_back();
    main.HoldTimerTimer();
    EXPECT_FALSE(main.HoldsFlash());
    EXPECT_TRUE(s.fake.blockReasons.empty());
    EXPECT_EQ(s.fake.executionStates.back(), ES_CONTINUOUS);
    EXPECT_EQ(QueryEndSession(main), TRUE);
    EXPECT_EQ(s.fake.openHandles(), 0);
}

TEST(FlashHold, ARefusedBlockReasonIsLoggedAndTheRestHolds) {
    ScopedFake s;
    HoldingForm dialog;
    s.fake.blockReasonError = ERROR_INVALID_WINDOW_HANDLE;
    {
        FlashHold hold(dialog);
        EXPECT_EQ(QueryEndSession(dialog), FALSE);
        EXPECT_EQ(s.fake.executionStates.size(), 1u);
    }
    EXPECT_EQ(s.fake.CallCount("ShutdownBlockReasonDestroy"), 0);
    EXPECT_EQ(s.fake.executionStates.back(), ES_CONTINUOUS);
    EXPECT_TRUE(Has(s.fake.RunLog(), "shutdown block reason refused, error 1400"));
}

}  // namespace
}  // namespace kv
