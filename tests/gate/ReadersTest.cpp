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
        config.usersFolder = dir.Path();
        config.currentUser = dir / "current.user";
        config.currentUserOp = dir / "current.userop";
        config.timeFile = dir / "time.txt";
    }
    TempDir dir{"users"};
    GatewayConfigRecord config;
    RecordWatch watch;
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
    ASSERT_TRUE(WriteUserTimeFile(config, 300));
    EXPECT_EQ(ReadAll(config.timeFile), "300\r\n\r\n");
    // A reader that keeps the file open does not stop the next write.
    HANDLE reader = CreateFileA(config.timeFile.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(WriteUserTimeFile(config, 7));
    CloseHandle(reader);
    EXPECT_EQ(ReadAll(config.timeFile), "7\r\n\r\n");
    std::string head;
    ASSERT_TRUE(ReadFileStart(config.timeFile, kTimeFileHeadBytes, head));
    EXPECT_EQ(TimeFileHead(head), "7");
}

TEST_F(UserFilesTest, TimeFileHeldWithoutSharingIsSkipped) {
    WriteUserTimeFile(config, 5);
    HANDLE held = CreateFileA(config.timeFile.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(WriteUserTimeFile(config, 4));
    CloseHandle(held);
    EXPECT_EQ(ReadAll(config.timeFile), "5\r\n\r\n");
}

TEST_F(UserFilesTest, BoundedReadOfTheRecord) {
    UserRecord record;
    EXPECT_FALSE(ReadCurrentUserRecord(config, watch, 0, record));  // missing

    WriteAll(config.currentUser, "student\r\nsecret\r\n45\r\nИван\r\n");
    ASSERT_TRUE(ReadCurrentUserRecord(config, watch, 0, record));
    EXPECT_EQ(record.head.user, "student");
    EXPECT_EQ(record.head.password, "secret");
    EXPECT_EQ(record.head.limitText, "45");
    EXPECT_EQ(record.lines, (std::vector<std::string>{"student", "secret"}));

    // Created, or being written by the site: not yet the record.
    for (const char* piece : {"", "stud", "student\r\nsec"}) {
        WriteAll(config.currentUser, piece);
        EXPECT_FALSE(ReadCurrentUserRecord(config, watch, 0, record)) << piece;
    }
    // A whole first line alone is a record, with an empty limit, once it stays so.
    WriteAll(config.currentUser, "ivan\r\n");
    EXPECT_FALSE(ReadCurrentUserRecord(config, watch, 0, record));
    ASSERT_TRUE(ReadCurrentUserRecord(config, watch, kRecordSettleMs, record));
    EXPECT_EQ(record.head.user, "ivan");
    EXPECT_EQ(record.head.limitText, "");
}

TEST_F(UserFilesTest, LockedRecordIsReportedSoTheWorkerTriesAgain) {
    WriteAll(config.currentUser, "ivan\r\npw\r\n5\r\n");
    HANDLE held = CreateFileA(config.currentUser.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    UserRecord record;
    EXPECT_FALSE(ReadCurrentUserRecord(config, watch, 0, record));
    std::vector<std::string> lines;
    EXPECT_FALSE(ReadFileLines(config.currentUser, 10, 4096, lines));
    EXPECT_TRUE(lines.empty());
    CloseHandle(held);
    EXPECT_TRUE(ReadCurrentUserRecord(config, watch, 0, record));
    EXPECT_EQ(record.head.user, "ivan");
}

TEST_F(UserFilesTest, HugeAndBinaryFilesCostNoMoreThanTheirCaps) {
    const std::string path = dir / "huge.user";
    WriteHuge(path, 100u << 20);
    const SIZE_T before = PrivateBytes();
    const ULONGLONG start = GetTickCount64();

    UserRecord record;
    config.currentUser = path;
    ASSERT_TRUE(ReadCurrentUserRecord(config, watch, 0, record));
    EXPECT_EQ(record.head.user, std::string(29, 'Z'));
    EXPECT_EQ(record.head.limitText, "");  // one line: the login only

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
    ASSERT_TRUE(ReadCurrentUserRecord(config, watch, 0, record));
}

TEST_F(UserFilesTest, ListReaderTakesEveryLineEnd) {
    WriteAll(config.currentUser, "a\r\nb\nc\rd\r\ne\r\nf\r\ng\r\nh\r\ni\r\nj\r\nk\r\n");
    std::vector<std::string> lines;
    ASSERT_TRUE(ReadFileLines(config.currentUser, 10, 4096, lines));
    EXPECT_EQ(lines, (std::vector<std::string>{"a", "b", "c", "d", "e", "f", "g", "h", "i", "j"}));
}

TEST_F(UserFilesTest, ClearRemovesTheThreeSharedFilesOnly) {
    for (const std::string& f : {config.currentUser, config.currentUserOp, config.timeFile})
        WriteAll(f, "x");
    WriteAll(dir / "_ivan.txt", "profile");
    ClearUserFiles(config);
    EXPECT_FALSE(Exists(config.currentUser));
    EXPECT_FALSE(Exists(config.currentUserOp));
    EXPECT_FALSE(Exists(config.timeFile));
    EXPECT_TRUE(Exists(dir / "_ivan.txt"));
    ClearUserFiles(config);  // nothing there: nothing happens

    // A folder of that name is not a file and stays.
    CreateDirectoryA(config.currentUser.c_str(), nullptr);
    ClearUserFiles(config);
    EXPECT_TRUE(Exists(config.currentUser));
}

// A read that fails (on Windows: a region its writer holds locked) is no empty
// file: the reader says so, so that the worker tries again next cycle instead
// of taking a limit of 0. A handle without read access makes ReadFile fail
// here, since Wine does not enforce byte-range locks.
TEST_F(UserFilesTest, AFailedReadIsNoEmptyRecord) {
    WriteAll(config.currentUser, "ivan\r\npw\r\n5\r\n");
    HANDLE writeOnly = CreateFileA(config.currentUser.c_str(), FILE_WRITE_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writeOnly, INVALID_HANDLE_VALUE);
    std::string bytes = "left over";
    EXPECT_FALSE(ReadOpenFileStart(writeOnly, kTimeFileHeadBytes, bytes));
    EXPECT_TRUE(bytes.empty());
    CloseHandle(writeOnly);

    HANDLE readable = CreateFileA(config.currentUser.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(readable, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(ReadOpenFileStart(readable, kTimeFileHeadBytes, bytes));
    EXPECT_EQ(bytes, "ivan\r\npw\r\n5\r\n");
    CloseHandle(readable);
}
