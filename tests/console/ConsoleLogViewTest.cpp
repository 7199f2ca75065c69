// The real portwatch.exe reading a big log: the window answers while the view
// reads it in steps, and the view ends with the file and the lines appended
// meanwhile, the last one on top.
#include <gtest/gtest.h>

#include "ConsoleFixture.h"
#include "Ids.h"
#include "UiDriver.h"
#include "Win32Files.h"

namespace {

// How long the window may take to answer before the test calls it stuck: a
// bound that catches a load held in one message, not a speed.
constexpr DWORD kAnswerMs = 2000;

std::string BigLog(size_t bytes, const char* word) {
    std::string log;
    int i = 0;
    while (log.size() < bytes)
        log += "[" + TodayShortDate() + "] : [21:40:00] - " + word + " " + std::to_string(i++) + "\r\n";
    return log;
}

void AppendToFile(const std::string& path, const std::string& line) {
    UniqueHandle file(CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_ALWAYS, 0, nullptr));
    DWORD written = 0;
    WriteFile(file.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

// The view's text length; -1 when the window does not answer within the bound.
LONG_PTR ViewLength(HWND window) {
    DWORD_PTR length = 0;
    HWND memo = ui::FindControl(window, ids::Memo1);
    if (!memo || !SendMessageTimeoutW(memo, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, kAnswerMs, &length)) return -1;
    return static_cast<LONG_PTR>(length);
}

bool Answers(HWND window) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, kAnswerMs, &result) != 0;
}

TEST(ConsoleLogView, ABigLogIsReadWhileTheWindowAnswersAndLinesAreAppended) {
    ConsoleInstall console;
    ASSERT_TRUE(console.Start());
    // Appears while the console runs: the next refresh loads it.
    std::string log = BigLog(6u << 20, "Принято новое подключение");
    ASSERT_TRUE(WriteAll(console.TodayLog(), log));

    // Every 20 ms a WM_NULL; now and then the plug-in appends a line.
    int probes = 0, unanswered = 0;
    const ULONGLONG until = GetTickCount64() + 300000;
    LONG_PTR length = 0;
    while ((length = ViewLength(console.Window())) != static_cast<LONG_PTR>(log.size()) && GetTickCount64() < until) {
        ASSERT_GE(length, 0) << "the view did not answer";
        unanswered += !Answers(console.Window());
        if (++probes % 25 == 0) {
            const std::string line = "[" + TodayShortDate() + "] : [21:40:01] - Подключен интерфейс " +
                                     std::to_string(probes) + "\r\n";
            AppendToFile(console.TodayLog(), line);
            log += line;
        }
        Sleep(20);
    }
    EXPECT_EQ(unanswered, 0) << "of " << probes << " WM_NULL sent during the load";
    EXPECT_TRUE(console.WaitText(ids::Memo1, Wide1251(log), 20000));

    // The last line on top: a log that ends in a line end has an empty line after it.
    HWND view = ui::FindControl(console.Window(), ids::Memo1);
    const LRESULT lines = SendMessageW(view, EM_GETLINECOUNT, 0, 0);
    EXPECT_EQ(SendMessageW(view, EM_GETFIRSTVISIBLELINE, 0, 0), lines - 2);
}

}  // namespace
