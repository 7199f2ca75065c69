// The real portwatch.exe loading a big log: the window answers while the view
// fills in steps, and the view ends with the file whatever happens meanwhile:
// lines appended, "Очистить лог", the file replaced, the window closed.
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

// Waits until the view holds more than `from` and fewer than `below` characters.
bool WaitLength(HWND window, LONG_PTR from, LONG_PTR below) {
    return WaitFor([&] {
        const LONG_PTR length = ViewLength(window);
        return length > from && length < below;
    }, 120000);
}

TEST(ConsoleLogView, ABigLogLoadsInStepsWhileTheWindowAnswersAndLinesAreAppended) {
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

    // As after a load in one piece: the last line in sight, nothing selected.
    HWND memo = ui::FindControl(console.Window(), ids::Memo1);
    const LRESULT lines = SendMessageW(memo, EM_GETLINECOUNT, 0, 0);
    const LRESULT first = SendMessageW(memo, EM_GETFIRSTVISIBLELINE, 0, 0);
    EXPECT_LE(first, lines - 1);
    EXPECT_GT(first, lines - 100) << "lines " << lines;
}

TEST(ConsoleLogView, ALoadRestartsCleanlyAfterClearingOrReplacingAndTheWindowClosesDuringOne) {
    ConsoleInstall console;
    const std::string log = BigLog(4u << 20, "старый файл");
    ASSERT_TRUE(WriteAll(console.TodayLog(), log));
    ASSERT_TRUE(console.Start());
    const LONG_PTR total = static_cast<LONG_PTR>(log.size());
    // Start-up does not wait for the load: the window answers while it runs.
    EXPECT_TRUE(Answers(console.Window()));

    // "Очистить лог" twice during a load: the view ends with the file once,
    // not twice or in part. Each time the view first empties, then fills again.
    constexpr LONG_PTR kPart = 300000;
    ASSERT_TRUE(WaitLength(console.Window(), kPart, total));
    ui::InvokeCommand(console.Window(), ids::N1);
    ASSERT_TRUE(WaitLength(console.Window(), -1, kPart));
    ASSERT_TRUE(WaitLength(console.Window(), kPart, total));
    ui::InvokeCommand(console.Window(), ids::N1);
    ASSERT_TRUE(WaitLength(console.Window(), -1, kPart));
    EXPECT_TRUE(console.WaitText(ids::Memo1, Wide1251(log), 300000));

    // Replaced while it loads, as at midnight a new file takes the old one's place.
    ui::InvokeCommand(console.Window(), ids::N1);
    ASSERT_TRUE(WaitLength(console.Window(), -1, kPart));
    ASSERT_TRUE(WaitLength(console.Window(), kPart, total));
    const std::string other = BigLog(1u << 20, "новый файл");
    ASSERT_TRUE(WriteAll(console.TodayLog(), other));
    EXPECT_TRUE(console.WaitText(ids::Memo1, Wide1251(other), 300000));
    EXPECT_TRUE(Answers(console.Window()));

    // Closed half way through a load: the program ends cleanly.
    ASSERT_TRUE(WriteAll(console.TodayLog(), log));
    ASSERT_TRUE(WaitLength(console.Window(), 0, kPart));
    ASSERT_TRUE(WaitLength(console.Window(), static_cast<LONG_PTR>(other.size()), total));
    EXPECT_TRUE(console.Close(20000));
    EXPECT_EQ(console.ExitCode(), 0u);
}

}  // namespace
