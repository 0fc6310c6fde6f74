// The run log: one line an event, kept under its limit.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "checks/power.h"
#include "common/run_log.h"
#include "fake_platform.h"

namespace kv {
namespace {

using test::ScopedFake;

using test::Has;

// --- the run log ----------------------------------------------------------------

TEST(RunLog, StampsEachEventOnOneLineAndDropsTheOlderHalf) {
    ScopedFake s;
    Log("Box: first\nsecond");
    EXPECT_EQ(s.fake.RunLog(), "2026-12-08 09:30:05 Box: first | second\r\n");

    std::string old;
    for (int i = 0; old.size() < kRunLogLimit; ++i) old += "event " + std::to_string(i) + "\r\n";
    s.fake.files[kRunLogPath].bytes = old;
    Log("newest");
    const std::string log = s.fake.RunLog();
    EXPECT_LT(log.size(), kRunLogLimit / 2 + 64);
    EXPECT_GT(log.size(), kRunLogLimit / 2 - 64);
    EXPECT_EQ(log.rfind("event ", 0), 0u);  // starts at a whole line
    EXPECT_TRUE(Has(log, old.substr(old.size() - 40)));
    EXPECT_EQ(log.substr(log.size() - 28), "2026-12-08 09:30:05 newest\r\n");
    EXPECT_EQ(s.fake.openHandles(), 0);

    s.fake.appendFails = true;
    s.fake.answers.push_back(IDYES);
    s.fake.power.BatteryFlag = 1;
    s.fake.power.BatteryLifePercent = 5;
    EXPECT_TRUE(CheckPower(Boxes()));  // a log that cannot be written changes nothing
}

}  // namespace
}  // namespace kv
