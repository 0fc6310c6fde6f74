// The restart requests and the privilege they need: the platform calls in
// order, what Windows is asked for, what a refusal shows, and the privilege
// turned off again.
#include <gtest/gtest.h>

#include <reason.h>

#include "cli/unattended.h"
#include "common/privileges.h"
#include "common/run_log.h"
#include "fake_platform.h"
#include "tasks/restart.h"

namespace kv {
namespace {

const DWORD kPlanned = SHTDN_REASON_MAJOR_SOFTWARE | SHTDN_REASON_MINOR_UPGRADE | SHTDN_REASON_FLAG_PLANNED;
const std::string kAsk = "ExitWindowsEx 2 " + std::to_string(kPlanned);  // EWX_REBOOT without EWX_FORCE

TEST(RestartSystem, AsksForAPlannedRebootUnderThePrivilegeAndTurnsItOffAgain) {
    test::ScopedFake scoped;
    EXPECT_EQ(RestartSystem(), static_cast<DWORD>(ERROR_SUCCESS));
    const std::vector<std::string> expected = {
        "GetCurrentProcess",
        "OpenProcessToken 0xffffffffffffffff 40",  // TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY
        "LookupPrivilegeValue <null> SeShutdownPrivilege",
        "AdjustTokenPrivileges token 0 1 19 2",
        kAsk,
        "AdjustTokenPrivileges token 0 1 19 0",
        "CloseHandle token",
    };
    EXPECT_EQ(scoped.fake.calls, expected);
    EXPECT_TRUE(scoped.fake.messages.empty());
    EXPECT_TRUE(scoped.fake.enabledPrivileges.empty());
    EXPECT_EQ(scoped.fake.openHandles(), 0);
}

// Windows refuses a reboot without the privilege: the GUI says so instead of
// "started", and a second Yes runs the whole request again.
TEST(RestartSystem, ARefusedRebootIsToldAndNotCalledStarted) {
    struct Case {
        const char* what;
        bool tokenFails;
        DWORD notHeld;
        std::vector<std::string> titles;
    };
    const Case cases[] = {
        {"the token cannot be opened", true, 0, {"OpenProcessToken", "Restart system"}},
        {"the token lacks the privilege", false, 19, {"Restart system"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::ScopedFake scoped;
        scoped.fake.openTokenFails = c.tokenFails;
        if (c.notHeld) scoped.fake.privilegesNotHeld = {c.notHeld};
        for (int attempt = 1; attempt <= 2; ++attempt) {
            scoped.fake.messages.clear();
            EXPECT_EQ(RestartForUpdate("KV1.107", Boxes(), RestartBy::Gui), RestartOutcome::Failed);
            EXPECT_EQ(scoped.fake.CallCount(kAsk), attempt) << "asked all the same";
            ASSERT_EQ(scoped.fake.messages.size(), c.titles.size());
            for (std::size_t i = 0; i < c.titles.size(); ++i) EXPECT_EQ(scoped.fake.messages[i].title, c.titles[i]);
            EXPECT_EQ(scoped.fake.messages.back().text,
                      "Windows did not start the restart (error 1314).\nRestart the system yourself to finish the "
                      "BIOS update.");
            EXPECT_EQ(scoped.fake.messages.back().style, static_cast<UINT>(MB_OK | MB_ICONERROR | MB_TOPMOST));
        }
        EXPECT_TRUE(test::Has(scoped.fake.RunLog(), "Restart could not be started, error 1314"));
        EXPECT_TRUE(test::Has(scoped.fake.RunLog(), "SeShutdownPrivilege cannot be enabled"));
        EXPECT_EQ(scoped.fake.openHandles(), 0);
    }
}

// Deployment tools run it while others are logged on: every session ends
// after a warning that they see.
TEST(RestartForUpdate, TheUnattendedRestartForcesEverySessionAfterItsWarning) {
    for (const DWORD error : {DWORD(ERROR_SUCCESS), DWORD(ERROR_SHUTDOWN_IN_PROGRESS)}) {
        test::ScopedFake scoped;
        scoped.fake.restartError = error;
        EXPECT_EQ(RestartForUpdate("KV1.107", Boxes(), RestartBy::Unattended, 45),
                  error ? RestartOutcome::Failed : RestartOutcome::Started);
        EXPECT_EQ(scoped.fake.restartFlags, static_cast<DWORD>(SHUTDOWN_FORCE_OTHERS | SHUTDOWN_FORCE_SELF | SHUTDOWN_RESTART));
        EXPECT_EQ(scoped.fake.restartReasons, std::vector<DWORD>{kPlanned});
        EXPECT_EQ(scoped.fake.restartSeconds, 45u);
        EXPECT_EQ(scoped.fake.restartMessage, L"Kavelton restarts this computer to finish a BIOS update.");
        EXPECT_TRUE(scoped.fake.messages.empty()) << "no box from the command line";
        EXPECT_TRUE(scoped.fake.enabledPrivileges.empty()) << "the privilege outlives the request";
    }
}

// A privilege already on before a step stays on after it; one the token does
// not hold is no success, although AdjustTokenPrivileges says TRUE.
TEST(EnablePrivilege, OnOnlyWhileTheStepRunsAndFalseWhenNotHeld) {
    test::ScopedFake scoped;
    scoped.fake.privilegesNotHeld = {9};
    {
        const auto notHeld = EnablePrivilege("SeTakeOwnershipPrivilege");
        EXPECT_FALSE(notHeld.Enabled());
        const auto restore = EnablePrivilege("SeRestorePrivilege");
        EXPECT_TRUE(restore.Enabled());
        {
            const auto again = EnablePrivilege("SeRestorePrivilege");
            EXPECT_TRUE(again.Enabled());
        }
        EXPECT_EQ(scoped.fake.enabledPrivileges, std::vector<DWORD>{18}) << "the inner step turned off the outer's";
    }
    EXPECT_TRUE(scoped.fake.enabledPrivileges.empty());
    EXPECT_EQ(scoped.fake.openHandles(), 0);
}

TEST(RestartSwitch, TakesZeroToSixHundredSecondsAndNothingElse) {
    const std::pair<const char*, long> cases[] = {
        {"/restart", 60},    {"/RESTART", 60},    {"/restart:0", 0},   {"/restart:600", 600}, {"/restart:045", 45},
        {"/restart:601", -1}, {"/restart:", -1},  {"/restart:-1", -1}, {"/restart:+5", -1},   {"/restart:1e2", -1},
        {"/restart:4294967356", -1}, {"/restart 5", -1}, {"/restarts", -1}, {"/restart=5", -1},
    };
    for (const auto& [word, expected] : cases) {
        DWORD seconds = 12345;
        EXPECT_EQ(RestartSwitch(word, seconds), expected >= 0) << word;
        EXPECT_EQ(seconds, expected >= 0 ? static_cast<DWORD>(expected) : 12345u) << word;
    }
    test::ScopedFake scoped;
    EXPECT_EQ(RunUnattended("/flash KV1.107 /restart:601"), kExitBadArguments);
    ReleaseRunLog();
    EXPECT_TRUE(scoped.fake.started.empty());
}

}  // namespace
}  // namespace kv
