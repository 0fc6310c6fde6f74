// The command table: each command takes only its own arguments, in any case
// of letters, and anything else is the one usage error, before anything is
// read, loaded or started.
#include <gtest/gtest.h>

#include "cli/unattended.h"
#include "common/run_log.h"
#include "fake_platform.h"

namespace kv {
namespace {

TEST(CommandLine, ACommandWithWordsNotItsOwnIsTheUsageError) {
    for (const char* args :
         {"/? x", "-? /check", "/secure now", "/check /scan", "/scan /report", "/scan /report /x", "/scan x",
          "/scan /report a b", "/flash", "/flash /force KVD.101", "/flash KVD.101 /force /later", "/flashx KVD.101",
          "check", "\"\""}) {
        SCOPED_TRACE(args);
        test::ScopedFake scoped;
        EXPECT_EQ(RunUnattended(args), kExitBadArguments);
        ReleaseRunLog();
        EXPECT_NE(scoped.fake.output.find("Unknown or missing arguments: " + std::string(args) + "\r\nUsage: "),
                  std::string::npos)
            << scoped.fake.output;
        EXPECT_EQ(scoped.fake.CallCount("LoadLibrary"), 0);
        EXPECT_EQ(scoped.fake.CallCount("InspectEntry"), 0) << "the folder was walked";
        EXPECT_TRUE(scoped.fake.started.empty());
    }
    test::ScopedFake scoped;
    EXPECT_EQ(RunUnattended("-?"), kExitSuccess);
    ReleaseRunLog();
    EXPECT_EQ(scoped.fake.output.find("Unknown"), std::string::npos);
}

}  // namespace
}  // namespace kv
