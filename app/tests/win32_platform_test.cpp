// The real platform's whole-file read, on files in the temporary folder.
#include <gtest/gtest.h>

#include <string>

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

}  // namespace
}  // namespace kv
