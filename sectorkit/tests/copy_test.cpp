// Drives the four exports the way an outside caller copies fdd.imz onto
// drive A:. Each suite expects a prepared Wine prefix (run_copy_test.sh sets
// up drive A: and C:\KAVELTON before running it with a --gtest_filter); the
// bytes that land on the diskette image are checked by that script.
#include "sectorkit_library.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

using sectorkit_test::Export;
using sectorkit_test::Library;
using sectorkit_test::ProgramFolder;

constexpr int kDisketteSectors = 750;

class Sectorkit : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(dll_.get(), nullptr) << "LoadLibrary failed, error " << GetLastError();
        for (Export* e : {&getDiskHandle_, &readDisk_, &writeDisk_, &closeHdel_})
            ASSERT_NE(*e, nullptr);
    }

    // Calls one export and returns its result; what it printed lands in *out.
    static std::int32_t Call(Export fn, std::string* out)
    {
        ::testing::internal::CaptureStdout();
        const std::int32_t result = fn();
        *out = ::testing::internal::GetCapturedStdout();
        return result;
    }

    Library dll_{ProgramFolder() + "Sectorkit.dll"};
    Export getDiskHandle_ = dll_.Get("GetDiskHandle");
    Export readDisk_ = dll_.Get("ReadDisk");
    Export writeDisk_ = dll_.Get("WriteDisk");
    Export closeHdel_ = dll_.Get("CloseHdel");
};

// Runs `pairs` read/write pairs; stops at the first failure.
void CopySectors(Export readDisk, Export writeDisk, int pairs)
{
    for (int k = 0; k < pairs; ++k) {
        SCOPED_TRACE("sector " + std::to_string(k));
        ::testing::internal::CaptureStdout();
        const std::int32_t read = readDisk();
        const std::int32_t written = read ? writeDisk() : 0;
        const std::string out = ::testing::internal::GetCapturedStdout();
        ASSERT_NE(read, 0) << "printed: " << out;
        ASSERT_NE(written, 0) << "printed: " << out;
        ASSERT_EQ(out, "");
    }
}

// No a:: device in the prefix, or one that is no 1.44 MB diskette.
using SectorkitWithoutDrive = Sectorkit;

TEST_F(SectorkitWithoutDrive, EveryCallFailsWithItsOwnMessage)
{
    std::string out;
    // Fresh library: nothing is open yet.
    EXPECT_EQ(Call(readDisk_, &out), 0);
    EXPECT_EQ(out, "Read File Failed!\n");
    EXPECT_EQ(Call(writeDisk_, &out), 0);
    EXPECT_EQ(out, "Write Disk Failed!\n");
    EXPECT_EQ(Call(closeHdel_, &out), 0);
    EXPECT_EQ(out, "Close Handle Failed!\n");

    EXPECT_EQ(Call(getDiskHandle_, &out), 0);
    EXPECT_EQ(out, "") << "a refused drive is reported by the result alone";
    EXPECT_EQ(Call(writeDisk_, &out), 0);
    EXPECT_EQ(out, "Write Disk Failed!\n");
    EXPECT_EQ(Call(closeHdel_, &out), 0);
    EXPECT_EQ(out, "Close Handle Failed!\n");
}

// Drive A: present, C:\KAVELTON\fdd.imz missing.
using SectorkitWithoutImage = Sectorkit;

TEST_F(SectorkitWithoutImage, OpenFailsSilentlyAndReleasesTheDrive)
{
    std::string out;
    EXPECT_EQ(Call(getDiskHandle_, &out), 0);
    EXPECT_EQ(out, "");
    // The drive must not stay open behind the failed call: a write now has
    // nowhere to go, and the diskette keeps its bytes.
    EXPECT_EQ(Call(writeDisk_, &out), 0);
    EXPECT_EQ(out, "Write Disk Failed!\n");
    EXPECT_EQ(Call(readDisk_, &out), 0);
    EXPECT_EQ(out, "Read File Failed!\n");
}

// Drive A: and a full-size fdd.imz.
using SectorkitCopy = Sectorkit;

TEST_F(SectorkitCopy, CopiesTheFirst750SectorsAndClosesBothEnds)
{
    std::string out;
    ASSERT_EQ(Call(getDiskHandle_, &out), 1);
    EXPECT_EQ(out, "");
    CopySectors(readDisk_, writeDisk_, kDisketteSectors);
    EXPECT_EQ(Call(closeHdel_, &out), 1);
    EXPECT_EQ(out, "");

    // Closed means closed: nothing reaches the stale handles.
    EXPECT_EQ(Call(readDisk_, &out), 0);
    EXPECT_EQ(out, "Read File Failed!\n");
    EXPECT_EQ(Call(writeDisk_, &out), 0);
    EXPECT_EQ(out, "Write Disk Failed!\n");
    EXPECT_EQ(Call(closeHdel_, &out), 0);
    EXPECT_EQ(out, "Close Handle Failed!\n");
}

TEST_F(SectorkitCopy, OpeningTwiceWithoutCloseStillGivesAWorkingPair)
{
    std::string out;
    ASSERT_EQ(Call(getDiskHandle_, &out), 1);
    ASSERT_EQ(Call(getDiskHandle_, &out), 1) << "printed: " << out;
    EXPECT_EQ(out, "");
    EXPECT_EQ(Call(closeHdel_, &out), 1) << "printed: " << out;
    EXPECT_EQ(Call(closeHdel_, &out), 0);
    EXPECT_EQ(out, "Close Handle Failed!\n");
}

// Drive A: and an fdd.imz of only 3 sectors.
using SectorkitShortImage = Sectorkit;

TEST_F(SectorkitShortImage, ReadingPastTheImageEndFailsInsteadOfRepeatingASector)
{
    std::string out;
    ASSERT_EQ(Call(getDiskHandle_, &out), 1);
    CopySectors(readDisk_, writeDisk_, 3);
    EXPECT_EQ(Call(readDisk_, &out), 0);
    EXPECT_EQ(out, "Read File Failed!\n");
    EXPECT_EQ(Call(closeHdel_, &out), 1);
    EXPECT_EQ(out, "");
}

} // namespace
