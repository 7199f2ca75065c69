// The console's service commands and its working-hours watch against test
// services installed as RemoteAccess and Apache2 (removed again at the end).
#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "ConsoleFixture.h"
#include "DateText.h"
#include "Ids.h"
#include "LogFormat.h"
#include "LogTexts.h"
#include "UiDriver.h"

namespace {

// A testsvc.exe service under a fixed name, whose events file tells which
// requests reached it.
class NamedService {
public:
    explicit NamedService(const std::string& name) : name_(name) {
        RunTool("testsvc.exe\" remove " + name_);  // left over from an aborted run
        installed_ = RunTool("testsvc.exe\" install " + name_ + " \"" + events_ + "\"") == 0;
    }
    ~NamedService() { RunTool("testsvc.exe\" remove " + name_); }
    NamedService(const NamedService&) = delete;
    NamedService& operator=(const NamedService&) = delete;
    bool Installed() const { return installed_; }

    std::vector<std::string> Events() const {
        std::vector<std::string> names;
        std::istringstream in(ReadAll(events_));
        unsigned long long ms;
        std::string name;
        while (in >> ms >> name) names.push_back(name);
        return names;
    }
    size_t Count(const std::string& event) const {
        size_t n = 0;
        for (const std::string& e : Events()) n += e == event;
        return n;
    }
    bool WaitCount(const std::string& event, size_t n, DWORD timeoutMs = 15000) const {
        return WaitFor([&] { return Count(event) >= n; }, timeoutMs);
    }

private:
    std::string name_;
    TempDir dir_{"svcev"};
    std::string events_ = dir_ / "events.txt";
    bool installed_ = false;
};

TEST(ConsoleServices, CommandsReachTheServicesAndTheStateLinesFollow) {
    NamedService ras("RemoteAccess");
    NamedService web("Apache2");
    ASSERT_TRUE(ras.Installed());
    ASSERT_TRUE(web.Installed());
    ConsoleInstall console;  // watch off
    ASSERT_TRUE(console.Start());
    EXPECT_TRUE(console.WaitText(ids::RAS, L"RAS сервер: выключен"));

    ui::InvokeCommand(console.Window(), ids::N13);
    EXPECT_TRUE(ras.WaitCount("running", 1));
    EXPECT_TRUE(console.WaitText(ids::RAS, L"RAS сервер: включен"));
    ui::ClickToolButton(console.Window(), ids::ToolBar1, ids::ToolButton3, false);
    EXPECT_TRUE(ras.WaitCount("stopped", 1));
    EXPECT_TRUE(console.WaitText(ids::RAS, L"RAS сервер: выключен"));
    ui::ClickToolButton(console.Window(), ids::ToolBar1, ids::ToolButton1, false);
    EXPECT_TRUE(ras.WaitCount("running", 2));
    EXPECT_TRUE(console.WaitText(ids::RAS, L"RAS сервер: включен"));
    ui::InvokeCommand(console.Window(), ids::N14);
    EXPECT_TRUE(ras.WaitCount("stopped", 2));

    ui::InvokeCommand(console.Window(), ids::N9);
    EXPECT_TRUE(web.WaitCount("running", 1));
    ui::InvokeCommand(console.Window(), ids::N10);
    EXPECT_TRUE(web.WaitCount("stopped", 1));
    // The web commands never touch the remote-access service, nor the other way round.
    EXPECT_EQ(ras.Count("start"), 2u);
    EXPECT_EQ(web.Count("start"), 1u);
    EXPECT_TRUE(console.Close());
}

TEST(ConsoleServices, WatchStopsAndStartsRemoteAccessAndLeavesItAloneWhenSwitchedOff) {
    const int hour = SteadyHour();
    NamedService ras("RemoteAccess");
    ASSERT_TRUE(ras.Installed());
    {
        // Working now: the start-up check starts the service.
        ConsoleInstall console("TIME_BEGIN=" + std::to_string(hour) + "\r\nTIME_END=" + std::to_string(hour) + "\r\n");
        ASSERT_TRUE(console.Start());
        EXPECT_TRUE(ras.WaitCount("running", 1, 10000));
        EXPECT_EQ(console.Text(ids::WorkTime), L"ВРЕМЯ: РАБОЧЕЕ");
        EXPECT_TRUE(console.WaitText(ids::RAS, L"RAS сервер: включен"));
        // A stop by hand is undone within five seconds.
        ui::InvokeCommand(console.Window(), ids::N14);
        EXPECT_TRUE(ras.WaitCount("stopped", 1));
        EXPECT_TRUE(ras.WaitCount("running", 2, 9000));
    }
    // Not working now: the running service is stopped at start-up.
    ConsoleInstall console("TIME_BEGIN=" + std::to_string(hour + 1) + "\r\nTIME_END=" + std::to_string(hour) + "\r\n");
    ASSERT_TRUE(console.Start());
    EXPECT_TRUE(ras.WaitCount("stopped", 2, 10000));
    EXPECT_EQ(console.Text(ids::WorkTime), L"ВРЕМЯ: НЕ РАБОЧЕЕ");
    // A start by hand is undone within five seconds.
    ui::InvokeCommand(console.Window(), ids::N13);
    EXPECT_TRUE(ras.WaitCount("running", 3));
    EXPECT_TRUE(ras.WaitCount("stopped", 3, 9000));

    // Switched off: a start by hand stays.
    ui::ClickToolButton(console.Window(), ids::ToolBar1, ids::ToolButton2, true);
    ui::InvokeCommand(console.Window(), ids::N13);
    EXPECT_TRUE(ras.WaitCount("running", 4));
    Sleep(7000);
    EXPECT_EQ(ras.Count("stop-requested"), 3u);
    EXPECT_TRUE(console.WaitText(ids::RAS, L"RAS сервер: включен"));
    EXPECT_EQ(console.Text(ids::WorkTime), L"ВРЕМЯ: НЕ РАБОЧЕЕ");  // the last check's text stays
    EXPECT_TRUE(console.Close());
}

// The watch stops and starts the prefix's RemoteAccess, as every test of
// this group may: the group runs alone among the tests that install one.
TEST(ConsoleServices, WatchShowsTheWorkingTimeAndItsSwitchSurvivesARestart) {
    const int hour = SteadyHour();
    {
        // Every hour from the next one on, and none before this one: not working now.
        ConsoleInstall console("TIME_BEGIN=" + std::to_string(hour + 1) + "\r\nTIME_END=" + std::to_string(hour) + "\r\n");
        ASSERT_TRUE(console.Start());
        EXPECT_EQ(console.Text(ids::WorkTime), L"ВРЕМЯ: НЕ РАБОЧЕЕ");
        EXPECT_FALSE(ui::ToolButtonChecked(console.Window(), ids::ToolBar1, ids::ToolButton2));
    }
    ConsoleInstall console("TIME_BEGIN=" + std::to_string(hour) + "\r\nTIME_END=" + std::to_string(hour) + "\r\n");
    ASSERT_TRUE(console.Start());
    EXPECT_EQ(console.Text(ids::WorkTime), L"ВРЕМЯ: РАБОЧЕЕ");

    // Switched off and closed: stored, and the next start makes no check.
    ui::ClickToolButton(console.Window(), ids::ToolBar1, ids::ToolButton2, true);
    EXPECT_TRUE(ui::ToolButtonChecked(console.Window(), ids::ToolBar1, ids::ToolButton2));
    ASSERT_TRUE(console.Close());
    char value[16] = {};
    GetPrivateProfileStringA("GUI", "DISABLE_CHECK_WORK_TIME", "", value, sizeof value, console.ConfigPath().c_str());
    EXPECT_STREQ(value, "1");

    ASSERT_TRUE(console.Start());
    EXPECT_TRUE(ui::ToolButtonChecked(console.Window(), ids::ToolBar1, ids::ToolButton2));
    Sleep(6000);
    EXPECT_EQ(console.Text(ids::WorkTime), L"");

    // Released again: stored as off.
    ui::ClickToolButton(console.Window(), ids::ToolBar1, ids::ToolButton2, true);
    EXPECT_TRUE(console.WaitText(ids::WorkTime, L"ВРЕМЯ: РАБОЧЕЕ", 7000));
    ASSERT_TRUE(console.Close());
    GetPrivateProfileStringA("GUI", "DISABLE_CHECK_WORK_TIME", "", value, sizeof value, console.ConfigPath().c_str());
    EXPECT_STREQ(value, "0");
}

// The state field: loaded by yesterday's log while RemoteAccess is not there;
// a problem while it runs with no start-up line since its process started;
// loaded once the plug-in writes one.
TEST(ConsoleServices, ThePluginsStateFollowsItsLogAndTheServicesProcess) {
    ConsoleInstall console;  // watch off
    SYSTEMTIME day;
    GetLocalTime(&day);
    FILETIME t;
    SystemTimeToFileTime(&day, &t);
    ULARGE_INTEGER ticks{{t.dwLowDateTime, t.dwHighDateTime}};
    ticks.QuadPart -= 86400ull * 10000000;
    t = FILETIME{ticks.LowPart, ticks.HighPart};
    FileTimeToSystemTime(&t, &day);
    const std::string yesterday = ShortDateText(day);
    auto start = [](const std::string& date, const std::string& time, const std::string& banner) {
        return "[" + date + "] : [" + time + "] - " + banner + "\r\n[" + date + "] : [" + time + "] - " +
               log_text::kInitialized + "\r\n";
    };
    WriteAll(LogFileName(console.logs, yesterday),
             start(yesterday, "23:59:58", "dialgate.dll версии 1.0.0: модуль учёта дозвона запускается"));
    RunTool("testsvc.exe\" remove RemoteAccess");  // left over from an aborted run
    ASSERT_TRUE(console.Start());
    EXPECT_TRUE(console.WaitText(ids::PluginState, Wide1251("МОДУЛЬ: загружен, версия 1.0.0, с " + yesterday +
                                                            " 23:59:58 (по журналу; состояние службы RemoteAccess неизвестно)")));

    NamedService ras("RemoteAccess");
    ASSERT_TRUE(ras.Installed());
    ui::InvokeCommand(console.Window(), ids::N13);
    EXPECT_TRUE(WaitFor([&] { return console.Text(ids::PluginState).rfind(L"МОДУЛЬ НЕ ЗАГРУЖЕН: служба RemoteAccess работает с ", 0) == 0; },
                        10000))
        << ui::ToUtf8(console.Text(ids::PluginState));

    GetLocalTime(&day);
    AppendAll(console.TodayLog(), start(TodayShortDate(), LongTimeText(day), LogBanner("1.0.1")));
    EXPECT_TRUE(console.WaitText(ids::PluginState,
                                 Wide1251("МОДУЛЬ: загружен, версия 1.0.1, с " + TodayShortDate() + " " + LongTimeText(day))));
    EXPECT_TRUE(console.Close());
}

}  // namespace
