// LogWrite against the real file system: exact bytes, whole lines from many
// threads, a file held by another program, a folder that cannot be made.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "Config.h"
#include "DateText.h"
#include "Log.h"
#include "TestSupport.h"

namespace {

// LogWrite writes where the latest load's configuration says.
void UseLogFolder(const std::string& folder) {
    GatewayConfigRecord c;
    c.logFolder = folder;
    PublishGatewayConfig(c);
}

class LogWriteTest : public ::testing::Test {
protected:
    void SetUp() override { UseLogFolder(dir / "LOGS\\"); }
    std::string LogPath() const { return CurrentGatewayConfig()->logFolder + TodayShortDate() + "_log.txt"; }
    std::string Log() const { return ReadAll(LogPath()); }
    TempDir dir{"log"};
};

}  // namespace

TEST_F(LogWriteTest, CreatesTheFolderAndAppendsExactBytes) {
    LogWrite("Принято новое подключение", true);
    LogWrite("\n", false);
    LogWrite(">LIMIT: 60\n", true);
    LogWrite("100% %s %n %d", true);
    LogWrite("plain", false);
    EXPECT_EQ(MaskTimes(Log()), DatedLine("Принято новое подключение") + "\r\n\r\n" +
                                    DatedLine(">LIMIT: 60\n") + DatedLine("100% %s %n %d") + "plain\r\n");
    // The time is the locale's long time format.
    SYSTEMTIME now;
    GetLocalTime(&now);
    EXPECT_NE(Log().find("[" + ShortDateText(now) + "] : ["), std::string::npos);
}

TEST_F(LogWriteTest, LongLinesAreNeverCut) {
    const std::string message(100000, 'q');
    LogWrite(message, true);
    LogWrite("после", true);
    EXPECT_EQ(MaskTimes(Log()), DatedLine(message) + DatedLine("после"));
}

TEST_F(LogWriteTest, LinesFromManyThreadsStayWholeAndCounted) {
    constexpr int kThreads = 8;
    constexpr int kLines = 300;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i)
                LogWrite("thread " + std::to_string(t) + " line " + std::to_string(i) + " " + std::string(60, 'x'),
                         i % 2 == 0);
        });
    }
    for (auto& th : threads) th.join();

    const std::string log = MaskTimes(Log());
    std::vector<int> next(kThreads, 0);
    size_t pos = 0;
    int count = 0;
    while (pos < log.size()) {
        const size_t end = log.find("\r\n", pos);
        ASSERT_NE(end, std::string::npos) << "unterminated tail: " << log.substr(pos);
        std::string line = log.substr(pos, end - pos);
        pos = end + 2;
        const std::string prefix = "[" + TodayShortDate() + "] : [T] - ";
        if (line.compare(0, prefix.size(), prefix) == 0) line = line.substr(prefix.size());
        int t = -1, i = -1;
        char tail[128] = {};
        ASSERT_EQ(sscanf(line.c_str(), "thread %d line %d %127s", &t, &i, tail), 3) << line;
        ASSERT_GE(t, 0);
        ASSERT_LT(t, kThreads);
        EXPECT_EQ(i, next[t]) << "thread " << t << " lost or reordered a line";
        EXPECT_EQ(std::string(tail), std::string(60, 'x'));
        next[t] = i + 1;
        ++count;
    }
    EXPECT_EQ(count, kThreads * kLines);
}

TEST_F(LogWriteTest, WaitsBrieflyForAFileHeldWithWritingDenied) {
    LogWrite("first", false);
    HANDLE held = CreateFileA(LogPath().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    // Half a second, as a program that loads the whole file might take.
    std::thread release([held] {
        Sleep(500);
        CloseHandle(held);
    });
    LogWrite("second", false);
    release.join();
    EXPECT_EQ(Log(), "first\r\nsecond\r\n");
}

TEST_F(LogWriteTest, GivesUpOnAFileHeldLongWithinTheBound) {
    LogWrite("first", false);
    HANDLE held = CreateFileA(LogPath().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const ULONGLONG start = GetTickCount64();
    LogWrite("dropped", false);
    const ULONGLONG took = GetTickCount64() - start;
    EXPECT_LT(took, 1000u);
    // The file is still held: the next lines do not wait again.
    const ULONGLONG next = GetTickCount64();
    for (int i = 0; i < 5; ++i) LogWrite("dropped too", false);
    EXPECT_LT(GetTickCount64() - next, 300u);
    CloseHandle(held);
    LogWrite("third", false);
    LogWrite("fourth", false);
    EXPECT_EQ(Log(), "first\r\nthird\r\nfourth\r\n");
    // Once a line got through, a briefly held file is waited for again.
    held = CreateFileA(LogPath().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    std::thread release([held] {
        Sleep(200);
        CloseHandle(held);
    });
    LogWrite("fifth", false);
    release.join();
    EXPECT_EQ(Log(), "first\r\nthird\r\nfourth\r\nfifth\r\n");
}

TEST_F(LogWriteTest, MissingParentFolderDropsTheLineQuietly) {
    UseLogFolder(dir / "no\\such\\LOGS\\");
    const ULONGLONG start = GetTickCount64();
    LogWrite("lost", true);
    EXPECT_LT(GetTickCount64() - start, 1000u);
    EXPECT_FALSE(Exists(dir / "no"));
}

// Run with LANG=C, whose short date is 12/7/2026: the day's file name points
// into folders that do not exist.
TEST(SlashedDate, LineIsDroppedWithoutHarm) {
    if (TodayShortDate().find('/') == std::string::npos) GTEST_SKIP() << "locale date has no slashes";
    TempDir dir("slash");
    UseLogFolder(dir / "LOGS\\");
    const ULONGLONG start = GetTickCount64();
    LogWrite("lost", true);
    EXPECT_LT(GetTickCount64() - start, 1000u);
    EXPECT_TRUE(Exists(dir / "LOGS"));
}
