// Whether the update took, told at the next start.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/run_log.h"
#include "fake_platform.h"
#include "tasks/update_result.h"

namespace kv {
namespace {

using test::ScopedFake;

using test::Has;

// --- whether the update took ------------------------------------------------------

TEST(UpdateResult, TellsWhetherTheRecordedImageRuns) {
    struct Case {
        const char* what;
        const char* image;  // nullptr: no record
        const char* running;
        UINT icon;
        const char* part;
    };
    const Case cases[] = {
        {"no record", nullptr, "A.020", 0, nullptr},
        {"equal", "A.020", "A.020", MB_ICONINFORMATION, "The BIOS update took."},
        {"different", "A.030", "A.020", MB_ICONWARNING, "did not take"},
        {"downgrade that did not take", "A.010", "A.020", MB_ICONWARNING, "diskette or a USB key"},
        {"unknown", "A.020", "Wine", MB_ICONINFORMATION, "cannot be told"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScopedFake s;
        if (c.image) RecordUpdate(c.image);
        ShowLastUpdateResult(c.running);
        EXPECT_EQ(s.fake.File(kLastUpdatePath), nullptr);
        if (!c.image) {
            EXPECT_TRUE(s.fake.messages.empty());
            continue;
        }
        ASSERT_EQ(s.fake.messages.size(), 1u);
        const auto& box = s.fake.messages[0];
        EXPECT_EQ(box.title, "BIOS update result");
        EXPECT_EQ(box.style, MB_OK | MB_TOPMOST | c.icon);
        EXPECT_TRUE(Has(box.text, c.part) && Has(box.text, c.image) && Has(box.text, c.running)) << box.text;
    }
}

}  // namespace
}  // namespace kv
