// The readers and writers of the users' files against real files: missing,
// empty, locked, enormous and binary files never make them fail.
#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>

#include "Config.h"
#include "TestSupport.h"
#include "UserFiles.h"
#include "Win32Files.h"

namespace {

class UserFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        GatewayConfig.usersFolder = dir.Path();
        GatewayConfig.currentUser = dir / "current.user";
        GatewayConfig.currentUserOp = dir / "current.userop";
        GatewayConfig.timeFile = dir / "time.txt";
    }
    TempDir dir{"users"};
};

SIZE_T PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                         sizeof counters);
    return counters.PrivateUsage;
}

// A file far outside any format: `size` bytes without a single line end.
void WriteHuge(const std::string& path, size_t size) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    std::string block(1 << 20, 'Z');
    DWORD written = 0;
    for (size_t done = 0; done < size; done += block.size())
        WriteFile(file, block.data(), static_cast<DWORD>(block.size()), &written, nullptr);
    CloseHandle(file);
}

}  // namespace

TEST_F(UserFilesTest, TimeFileIsRewrittenWholeAndSharedWithReaders) {
    ASSERT_TRUE(WriteUserTimeFile(300));
    EXPECT_EQ(ReadAll(GatewayConfig.timeFile), "300\r\n\r\n");
    // A reader that keeps the file open does not stop the next write.
    HANDLE reader = CreateFileA(GatewayConfig.timeFile.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(WriteUserTimeFile(7));
    CloseHandle(reader);
    EXPECT_EQ(ReadAll(GatewayConfig.timeFile), "7\r\n\r\n");
    std::string head;
    ASSERT_TRUE(ReadFileStart(GatewayConfig.timeFile, kTimeFileHeadBytes, head));
    EXPECT_EQ(TimeFileHead(head), "7");
}

TEST_F(UserFilesTest, TimeFileHeldWithoutSharingIsSkipped) {
    WriteUserTimeFile(5);
    HANDLE held = CreateFileA(GatewayConfig.timeFile.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(WriteUserTimeFile(4));
    CloseHandle(held);
    EXPECT_EQ(ReadAll(GatewayConfig.timeFile), "5\r\n\r\n");
}

TEST_F(UserFilesTest, BoundedReadOfTheRecord) {
    UserRecordHead head;
    EXPECT_FALSE(ReadCurrentUserHead(head));  // missing

    WriteAll(GatewayConfig.currentUser, "");
    ASSERT_TRUE(ReadCurrentUserHead(head));
    EXPECT_EQ(head.user, "");
    EXPECT_EQ(head.limitText, "");

    WriteAll(GatewayConfig.currentUser, "student\r\nsecret\r\n45\r\nИван\r\n");
    ASSERT_TRUE(ReadCurrentUserHead(head));
    EXPECT_EQ(head.user, "student");
    EXPECT_EQ(head.password, "secret");
    EXPECT_EQ(head.limitText, "45");

    // Being written by the site: what is there so far.
    WriteAll(GatewayConfig.currentUser, "stud");
    ASSERT_TRUE(ReadCurrentUserHead(head));
    EXPECT_EQ(head.user, "stud");
    EXPECT_EQ(head.password, "");
}

TEST_F(UserFilesTest, LockedRecordIsReportedSoTheWorkerTriesAgain) {
    WriteAll(GatewayConfig.currentUser, "ivan\r\npw\r\n5\r\n");
    HANDLE held = CreateFileA(GatewayConfig.currentUser.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    UserRecordHead head;
    EXPECT_FALSE(ReadCurrentUserHead(head));
    std::vector<std::string> lines;
    EXPECT_FALSE(ReadFileLines(GatewayConfig.currentUser, 10, 4096, lines));
    EXPECT_TRUE(lines.empty());
    CloseHandle(held);
    EXPECT_TRUE(ReadCurrentUserHead(head));
    EXPECT_EQ(head.user, "ivan");
}

TEST_F(UserFilesTest, HugeAndBinaryFilesCostNoMoreThanTheirCaps) {
    const std::string path = dir / "huge.user";
    WriteHuge(path, 100u << 20);
    const SIZE_T before = PrivateBytes();
    const ULONGLONG start = GetTickCount64();

    UserRecordHead head;
    GatewayConfig.currentUser = path;
    ASSERT_TRUE(ReadCurrentUserHead(head));
    EXPECT_EQ(head.user, std::string(29, 'Z'));
    EXPECT_EQ(head.limitText, "ZZZZ");

    std::vector<std::string> lines;
    ASSERT_TRUE(ReadFileLines(path, 10, 4096, lines));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], std::string(4096, 'Z'));
    std::string start9;
    ASSERT_TRUE(ReadFileStart(path, kTimeFileHeadBytes, start9));
    EXPECT_EQ(TimeFileHead(start9), "ZZZZZZZZZ");

    EXPECT_LT(GetTickCount64() - start, 5000u);  // not read to its end
    EXPECT_LT(PrivateBytes(), before + (8u << 20));

    std::string binary;
    for (int i = 0; i < 70000; ++i) binary += static_cast<char>((i * 131 + 7) & 0xff);
    WriteAll(path, binary);
    ASSERT_TRUE(ReadFileLines(path, 10, 4096, lines));
    EXPECT_LE(lines.size(), 10u);
    for (const auto& l : lines) EXPECT_LE(l.size(), 4096u);
    ASSERT_TRUE(ReadCurrentUserHead(head));
}

TEST_F(UserFilesTest, ListReaderTakesEveryLineEnd) {
    WriteAll(GatewayConfig.currentUser, "a\r\nb\nc\rd\r\ne\r\nf\r\ng\r\nh\r\ni\r\nj\r\nk\r\n");
    std::vector<std::string> lines;
    ASSERT_TRUE(ReadFileLines(GatewayConfig.currentUser, 10, 4096, lines));
    EXPECT_EQ(lines, (std::vector<std::string>{"a", "b", "c", "d", "e", "f", "g", "h", "i", "j"}));
}

TEST_F(UserFilesTest, ClearRemovesTheThreeSharedFilesOnly) {
    for (const std::string& f : {GatewayConfig.currentUser, GatewayConfig.currentUserOp, GatewayConfig.timeFile})
        WriteAll(f, "x");
    WriteAll(dir / "_ivan.txt", "profile");
    ClearUserFiles();
    EXPECT_FALSE(Exists(GatewayConfig.currentUser));
    EXPECT_FALSE(Exists(GatewayConfig.currentUserOp));
    EXPECT_FALSE(Exists(GatewayConfig.timeFile));
    EXPECT_TRUE(Exists(dir / "_ivan.txt"));
    ClearUserFiles();  // nothing there: nothing happens

    // A folder of that name is not a file and stays.
    CreateDirectoryA(GatewayConfig.currentUser.c_str(), nullptr);
    ClearUserFiles();
    EXPECT_TRUE(Exists(GatewayConfig.currentUser));
}
