#include "LogFormat.h"

#include <gtest/gtest.h>

TEST(LogLine, DatedAndPlainLayouts) {
    EXPECT_EQ(ComposeLogLine("Принято новое подключение", true, "06.12.2026", "23:35:10"),
              "[06.12.2026] : [23:35:10] - Принято новое подключение\n");
    EXPECT_EQ(ComposeLogLine("TIME_FOR_REG=5", false, "06.12.2026", "23:35:10"), "TIME_FOR_REG=5\n");
}

TEST(LogLine, MessageIsNeverAFormat) {
    EXPECT_EQ(ComposeLogLine(">USER: %s%n%d 100%", true, "d", "t"), "[d] : [t] - >USER: %s%n%d 100%\n");
}

TEST(LogLine, MessageEndsAtItsFirstNul) {
    EXPECT_EQ(ComposeLogLine(std::string(">USER: ab\0cd", 12), true, "d", "t"), "[d] : [t] - >USER: ab\n");
    EXPECT_EQ(ComposeLogLine(std::string("\0rest", 5), false, "d", "t"), "\n");
}

TEST(LogLine, LongMessagesAreKeptWhole) {
    const std::string message(5000, 'z');
    const std::string line = ComposeLogLine(message, true, "06.12.2026", "23:35:10");
    EXPECT_EQ(line.size(), message.size() + 29);
    EXPECT_EQ(line.substr(28, message.size()), message);
}

TEST(LogLine, TextModeTurnsEveryLineFeedIntoCrLf) {
    EXPECT_EQ(ToTextMode(ComposeLogLine("\n", false, "", "")), "\r\n\r\n");
    EXPECT_EQ(ToTextMode(ComposeLogLine(">LIMIT: 60\n", true, "d", "t")), "[d] : [t] - >LIMIT: 60\r\n\r\n");
    EXPECT_EQ(ToTextMode("a\r\nb"), "a\r\r\nb");
    EXPECT_EQ(ToTextMode(""), "");
}

TEST(LogFile, FolderIsAPlainPrefix) {
    EXPECT_EQ(LogFileName("C:\\VE_DA\\LOGS\\", "06.12.2026"), "C:\\VE_DA\\LOGS\\06.12.2026_log.txt");
    EXPECT_EQ(LogFileName("C:\\VE_DA\\LOGS", "06.12.2026"), "C:\\VE_DA\\LOGS06.12.2026_log.txt");
    EXPECT_EQ(LogFileName("", "06.12.2026"), "06.12.2026_log.txt");
}
