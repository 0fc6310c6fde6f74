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
const std::string kAsk = "Restart asking " + std::to_string(kPlanned);

TEST(RestartSystem, AsksForAPlannedRebootUnderThePrivilegeAndTurnsItOffAgain) {
    test::ScopedFake scoped;
    EXPECT_EQ(RestartSystem(), static_cast<DWORD>(ERROR_SUCCESS));
    const std::vector<std::string> expected = {"EnablePrivilege SeShutdownPrivilege", kAsk,
                                               "DisablePrivilege SeShutdownPrivilege"};
    EXPECT_EQ(scoped.fake.calls, expected);
    EXPECT_TRUE(scoped.fake.messages.empty());
    EXPECT_EQ(scoped.fake.openHandles(), 0);
}

// Without the privilege Windows refuses: told, never "started"; Yes again asks again.
TEST(RestartSystem, ARefusedRebootIsToldAndNotCalledStarted) {
    for (const bool tokenFails : {true, false}) {
        SCOPED_TRACE(tokenFails ? "the token cannot be opened" : "the token lacks the privilege");
        test::ScopedFake scoped;
        scoped.fake.openTokenFails = tokenFails;
        scoped.fake.privilegesNotHeld = {"SeShutdownPrivilege"};
        for (int attempt = 1; attempt <= 2; ++attempt) {
            scoped.fake.messages.clear();
            EXPECT_EQ(RestartForUpdate("KV1.107", Boxes(), RestartBy::Gui), RestartOutcome::Failed);
            EXPECT_EQ(scoped.fake.CallCount(kAsk), attempt) << "asked all the same";
            ASSERT_EQ(scoped.fake.messages.size(), tokenFails ? 2u : 1u);
            EXPECT_EQ(scoped.fake.messages[0].title, tokenFails ? "OpenProcessToken" : "Restart system");
            EXPECT_EQ(scoped.fake.messages.back().text, "Windows did not start the restart (error 1314).\nRestart the "
                                                        "system yourself to finish the BIOS update.");
            EXPECT_EQ(scoped.fake.messages.back().style, static_cast<UINT>(MB_OK | MB_ICONERROR | MB_TOPMOST));
        }
        const std::string log = scoped.fake.RunLog();
        EXPECT_TRUE(test::Has(log, "Restart could not be started, error 1314") &&
                    test::Has(log, "SeShutdownPrivilege cannot be enabled")) << log;
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
        EXPECT_EQ(scoped.fake.restartKind, RestartKind::Forcing);
        EXPECT_EQ(scoped.fake.restartSeconds, 45u);
        EXPECT_EQ(scoped.fake.restartMessage, L"Kavelton restarts this computer to finish a BIOS update.");
        EXPECT_TRUE(scoped.fake.enabledPrivileges.empty()) << "the privilege outlives the request";
    }
}

// A privilege already on before a step stays on after it; one the token does
// not hold is no success.
TEST(EnablePrivilege, OnOnlyWhileTheStepRunsAndFalseWhenNotHeld) {
    test::ScopedFake scoped;
    scoped.fake.privilegesNotHeld = {"SeTakeOwnershipPrivilege"};
    {
        EXPECT_FALSE(EnablePrivilege("SeTakeOwnershipPrivilege").Enabled());
        const auto restore = EnablePrivilege("SeRestorePrivilege");
        EXPECT_TRUE(restore.Enabled() && EnablePrivilege("SeRestorePrivilege").Enabled());
        EXPECT_EQ(scoped.fake.enabledPrivileges, std::vector<std::string>{"SeRestorePrivilege"})
            << "the inner step turned off the outer's";
    }
    EXPECT_TRUE(scoped.fake.enabledPrivileges.empty());
    EXPECT_EQ(scoped.fake.openHandles(), 0);
}

TEST(RestartSwitch, TakesZeroToSixHundredSecondsAndNothingElse) {
    const std::pair<const char*, long> cases[] = {
        {"/restart", 60}, {"/RESTART", 60}, {"/restart:0", 0}, {"/restart:600", 600}, {"/restart:045", 45},
        {"/restart:601", -1}, {"/restart:", -1}, {"/restart:-1", -1}, {"/restart:+5", -1}, {"/restart:1e2", -1},
        {"/restart:4294967356", -1}, {"/restart 5", -1}, {"/restarts", -1}, {"/restart=5", -1}};
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
