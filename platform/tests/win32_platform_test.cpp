// The real platform under Wine: whole-file reads, hashing and file writes,
// on files in the temporary folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "checksums.h"
#include "platform.h"

namespace kv {
namespace {

class WholeFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char folder[MAX_PATH];
        ASSERT_NE(GetTempPathA(MAX_PATH, folder), 0u);
        path = std::string(folder) + "kv_whole_file_test.txt";
    }
    void TearDown() override { DeleteFileA(path.c_str()); }
    void Write(const std::string& bytes) {
        HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        DWORD done = 0;
        ASSERT_TRUE(WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr));
        CloseHandle(h);
    }
    std::string path;
};

TEST_F(WholeFileTest, ReadsUpToTheLimitAndRefusesMore) {
    const std::size_t limit = static_cast<std::size_t>(kMaxWholeFileBytes);
    for (const std::size_t size : {std::size_t{0}, std::size_t{5000}, limit, limit + 1}) {
        SCOPED_TRACE(size);
        std::string content(size, 'x');
        for (std::size_t i = 0; i < size; i += 97) content[i] = static_cast<char>(i);
        Write(content);
        std::string bytes = "stale";
        const bool read = Win32Os().ReadWholeFile(path, bytes);
        EXPECT_EQ(read, size <= limit);
        EXPECT_EQ(bytes, read ? content : std::string());
    }
}

// --- the real platform's new calls, under Wine ----------------------------------

TEST(RealPlatform, HashesWithBCryptAndAppendsReplacesAndDeletesFiles) {
    Platform& os = Win32Os();
    Sha256Hash* hash = os.HashBegin();
    ASSERT_TRUE(hash);
    unsigned char digest[32] = {};
    EXPECT_TRUE(os.HashData(hash, "a", 1));
    EXPECT_TRUE(os.HashData(hash, "bc", 2));
    EXPECT_TRUE(os.HashFinish(hash, digest));
    os.HashEnd(hash);
    core::Sha256Digest bytes{};
    std::copy(std::begin(digest), std::end(digest), bytes.begin());
    EXPECT_EQ(core::DigestText(bytes), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");

    char folder[MAX_PATH] = {};
    ASSERT_GT(::GetTempPathA(MAX_PATH, folder), 0u);
    const std::string path = std::string(folder) + "kv_checks_test.txt";
    os.DeleteFile(path);
    std::string read;
    ASSERT_TRUE(os.AppendToFile(path, "one\r\n"));
    ASSERT_TRUE(os.AppendToFile(path, "two\r\n"));
    ASSERT_TRUE(os.ReadWholeFile(path, read));
    EXPECT_EQ(read, "one\r\ntwo\r\n");
    ASSERT_TRUE(os.WriteWholeFile(path, "three"));
    ASSERT_TRUE(os.ReadWholeFile(path, read));
    EXPECT_EQ(read, "three");
    EXPECT_TRUE(os.DeleteFile(path));
    EXPECT_FALSE(os.ReadWholeFile(path, read));
    EXPECT_EQ(_stricmp(os.WindowsFolder().substr(1).c_str(), ":\\windows"), 0) << os.WindowsFolder();
}

}  // namespace
}  // namespace kv
