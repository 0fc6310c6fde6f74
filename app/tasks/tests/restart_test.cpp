// The restart request: its platform calls in order, and the one failure box.
#include <gtest/gtest.h>

#include "fake_platform.h"
#include "tasks/restart.h"

namespace kv {
namespace {

std::vector<std::string> RestartCalls(const test::FakePlatform& fake) {
    std::vector<std::string> out;
    for (const std::string& c : fake.calls)
        if (c.rfind("SetCurrentDir", 0) != 0) out.push_back(c);
    return out;
}

TEST(RestartSystem, EnablesTheShutdownPrivilegeThenAsksForAPlainReboot) {
    test::ScopedFake scoped;
    RestartSystem();
    const std::vector<std::string> expected = {
        "GetCurrentProcess",
        "OpenProcessToken 0xffffffffffffffff 40",  // TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY
        "LookupPrivilegeValue <null> SeShutdownPrivilege",
        "AdjustTokenPrivileges token 0 1 19 2",
        "CloseHandle token",
        "ExitWindowsEx 2 0",  // EWX_REBOOT without EWX_FORCE
    };
    EXPECT_EQ(RestartCalls(scoped.fake), expected);
    EXPECT_TRUE(scoped.fake.messages.empty());
    EXPECT_EQ(scoped.fake.openHandles(), 0);
}

TEST(RestartSystem, TokenThatCannotBeOpenedGivesOneBoxAndStillAsks) {
    test::ScopedFake scoped;
    scoped.fake.openTokenFails = true;
    RestartSystem();
    ASSERT_EQ(scoped.fake.messages.size(), 1u);
    EXPECT_EQ(scoped.fake.messages[0].text, "Open Process Token Failed!");
    EXPECT_EQ(scoped.fake.messages[0].title, "OpenProcessToken");
    EXPECT_EQ(scoped.fake.messages[0].style, static_cast<UINT>(MB_OK | MB_TOPMOST));
    const auto calls = RestartCalls(scoped.fake);
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls[2], "MessageBox OpenProcessToken") << "the box comes right after the failure";
    EXPECT_EQ(calls.back(), "ExitWindowsEx 2 0");
    EXPECT_EQ(scoped.fake.CallCount("AdjustTokenPrivileges <null>"), 1);
    EXPECT_EQ(scoped.fake.CallCount("CloseHandle"), 0);
}

TEST(RestartSystem, ASecondRequestRunsTheWholeSequenceAgain) {
    test::ScopedFake scoped;
    RestartSystem();
    RestartSystem();
    EXPECT_EQ(scoped.fake.CallCount("OpenProcessToken"), 2);
    EXPECT_EQ(scoped.fake.CallCount("ExitWindowsEx"), 2);
}

}  // namespace
}  // namespace kv
