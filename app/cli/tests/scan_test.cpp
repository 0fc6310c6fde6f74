// /scan's outcomes that the end-to-end tests cannot reach under Wine: an open
// folder, a damaged list, an image others can change, an empty ROM folder,
// and a report that cannot be put in place.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <functional>
#include <string>

#include "cli/unattended.h"
#include "common/run_log.h"
#include "fake_platform.h"

namespace kv {
namespace {

const char kReport[] = "C:\\Reports\\scan.json";
// The fake clock stands still, so the temporary name is known.
const char kTemporary[] = "C:\\Reports\\scan.json.1000000.tmp";

TEST(Scan, ReportsWhatWouldStopAFlash) {
    struct Case {
        const char* what;
        std::function<void(test::FakePlatform&)> setup;
        int code;
        const char* candidate;  // nullptr: null
    };
    const Case cases[] = {
        {"the folder is open",
         [](test::FakePlatform& f) { f.security["C:\\KAVELTON\\ROM"] = "O:BAD:(A;;FA;;;BU)"; }, kExitFolderOpen,
         nullptr},
        {"the list is damaged, though nothing is newer",
         [](test::FakePlatform& f) {
             f.folders["C:\\KAVELTON\\ROM\\*.*"] = {{"KVD.099", 0}};
             f.folders["C:\\KAVELTON\\SHA256SUMS"] = {{"SHA256SUMS", 0}};
             f.files["C:\\KAVELTON\\SHA256SUMS"].bytes = "not a checksum line\n";
         },
         kExitImageRefused, "KVD.099"},
        {"others can change the newer candidate: the walk at start finds it",
         [](test::FakePlatform& f) { f.security["C:\\KAVELTON\\ROM\\KVD.101"] = "O:BAD:(A;;FA;;;AU)"; },
         kExitFolderOpen, nullptr},
        {"no image", [](test::FakePlatform& f) { f.folders["C:\\KAVELTON\\ROM\\*.*"] = {}; }, kExitSuccess, nullptr},
        {"the report cannot be put in place",
         [](test::FakePlatform& f) { f.files[kTemporary].bytes = "someone else's"; }, kExitReportNotWritten,
         "KVD.101"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::ScopedFake s;
        s.fake.ScriptBiosLibrary();
        s.fake.files["C:\\KAVELTON\\System.txt"].bytes = "SystemID:ABC12\r\n";
        s.fake.folders["C:\\KAVELTON\\ROM\\*.*"] = {{"KVD.101", 0}};
        c.setup(s.fake);
        EXPECT_EQ(RunUnattended(std::string("/scan /report ") + kReport), c.code) << s.fake.output;
        const nlohmann::json report = nlohmann::json::parse(s.fake.output, nullptr, false);
        ASSERT_TRUE(report.is_object()) << s.fake.output;
        EXPECT_EQ(report.value("exitCode", -1), c.code);
        // Only the last case's machine has an update waiting.
        EXPECT_EQ(report.value("updateAvailable", false), c.code == kExitReportNotWritten);
        if (c.code == kExitFolderOpen) {
            EXPECT_EQ(report.size(), 3u) << "more than the folder's findings: " << report.dump();
            EXPECT_EQ(report["openEntries"][0].value("path", "").rfind("C:\\KAVELTON\\ROM", 0), 0u);
            EXPECT_EQ(s.fake.CallCount("LoadLibrary"), 0);
        } else {
            EXPECT_EQ(report["candidate"], c.candidate ? nlohmann::json(c.candidate) : nlohmann::json());
        }
        const test::FakeFile* written = s.fake.File(kReport);
        if (c.code == kExitReportNotWritten) {
            EXPECT_TRUE(report.contains("reportError"));
            EXPECT_EQ(written, nullptr);
            EXPECT_EQ(s.fake.File(kTemporary)->bytes, "someone else's") << "a file not its own was touched";
        } else {
            ASSERT_NE(written, nullptr);
            EXPECT_EQ(nlohmann::json::parse(written->bytes, nullptr, false), report);
            EXPECT_EQ(s.fake.File(kTemporary), nullptr);
        }
        EXPECT_TRUE(s.fake.messages.empty()) << s.fake.messages[0].text;
        EXPECT_EQ(s.fake.openHandles(), 0);
        EXPECT_EQ(s.fake.loadedLibraries(), 0);
        ReleaseRunLog();
    }
}

// However the report's path or where its file really lies names the install
// folder, nothing is written there.
TEST(Scan, NeverWritesTheReportIntoTheInstallFolder) {
    const std::string temporary = ".1000000.tmp";
    const struct {
        std::string report, lies;  // where the temporary file really lies; empty: as named
        bool written;
    } cases[] = {
        {"c:/kavelton/rom/scan.json", "", false}, {"C:\\KAVELTON", "", false}, {"C:\\KAVELTON:scan.json", "", false},
        {"\\\\?\\C:\\Kavelton\\scan.json", "", false}, {"\\\\localhost\\c$\\KAVELTON\\x", "", false},
        {"C:\\Reports\\scan.json", "\\\\?\\UNC\\localhost\\C$\\Kavelton\\scan.json" + temporary, false},
        {"C:\\KAVELTONS\\scan.json", "", true},
        {"C:\\Reports\\scan.json", "\\\\?\\D:\\Reports\\scan.json" + temporary, true},  // a mapped drive
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.report + " lying in " + c.lies);
        test::ScopedFake s;
        s.fake.ScriptBiosLibrary();
        s.fake.files["C:\\KAVELTON\\System.txt"].bytes = "SystemID:ABC12\r\n";
        if (!c.lies.empty()) s.fake.finalPaths[c.report + temporary] = c.lies;
        EXPECT_EQ(RunUnattended("/scan /report \"" + c.report + "\""), c.written ? kExitSuccess : kExitReportNotWritten);
        EXPECT_EQ(s.fake.writeLog.size(), c.written ? 1u : 0u) << "written into the folder";
        EXPECT_TRUE(!s.fake.File(c.report + temporary) && (s.fake.File(c.report) != nullptr) == c.written);
        EXPECT_EQ(s.fake.openHandles(), 0);
        ReleaseRunLog();
    }
}

}  // namespace
}  // namespace kv
