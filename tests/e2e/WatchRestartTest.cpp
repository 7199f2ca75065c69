// The console's working-hours watch stops and starts the remote-access
// service, which unloads and loads the plug-in; a value changed in the
// settings dialog reaches the plug-in at that next start and times the next
// caller.
#include <gtest/gtest.h>

#include <cstdio>

#include "Expected.h"
#include "Gateway.h"
#include "Ids.h"
#include "Options.h"
#include "UiDriver.h"

namespace {

// The hour of the local clock; near the end of an hour it waits for the next
// one, so that the test's working hours stay right while it runs.
int SteadyHour() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    if (now.wMinute >= 58) {
        Sleep(((59 - now.wMinute) * 60 + (61 - now.wSecond)) * 1000);
        GetLocalTime(&now);
    }
    return now.wHour;
}

HWND WaitSettings(HWND owner) {
    HWND found = nullptr;
    WaitFor(
        [&] {
            found = ui::FindOwnedDialog(owner);
            return found && ui::WindowText(found) == L"Настройки";
        },
        10000);
    return found && ui::WindowText(found) == L"Настройки" ? found : nullptr;
}

void SetText(HWND dialog, int id, const std::wstring& text) {
    SendMessageW(ui::FindControl(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

}  // namespace

TEST(WatchRestart, TheWatchRestartsTheServiceAndTheSettingsReachThePlugin) {
    const int hour = SteadyHour();
    // Not working time now: from the next hour until this one.
    const std::string gui = "DISABLE_CHECK_WORK_TIME=1\r\nTIME_BEGIN=" + std::to_string(hour + 1) +
                            "\r\nTIME_END=" + std::to_string(hour) + "\r\n";
    Gateway g("TIME_FOR_REG=2\r\n", gui);
    ASSERT_TRUE(g.Installed()) << g.ServicesProblem();
    ASSERT_TRUE(g.StartRas());
    const std::string loaded = DatedLine("MprAdminInitializeDll - библиотека загружена");
    ASSERT_TRUE(g.WaitLog(loaded, 10000)) << g.Log();

    // The watch is off: the running service outside working time is left alone.
    ASSERT_TRUE(g.StartConsole());
    EXPECT_TRUE(g.WaitText(ids::RAS, L"RAS сервер: включен"));
    EXPECT_TRUE(ui::ToolButtonChecked(g.Window(), ids::ToolBar1, ids::ToolButton2));
    Sleep(6000);  // longer than the watch's five seconds
    EXPECT_EQ(g.Text(ids::WorkTime), L"");
    EXPECT_EQ(g.Text(ids::RAS), L"RAS сервер: включен");

    // Switched on, the watch stops the service, which unloads the plug-in.
    ui::ClickToolButton(g.Window(), ids::ToolBar1, ids::ToolButton2, true);
    EXPECT_FALSE(ui::ToolButtonChecked(g.Window(), ids::ToolBar1, ids::ToolButton2));
    EXPECT_TRUE(g.WaitText(ids::WorkTime, L"ВРЕМЯ: НЕ РАБОЧЕЕ", 10000)) << ui::ToUtf8(g.Text(ids::WorkTime));
    EXPECT_TRUE(g.WaitText(ids::RAS, L"RAS сервер: выключен", 20000)) << ui::ToUtf8(g.Text(ids::RAS));
    EXPECT_TRUE(g.WaitLog(UnloadLines(), 10000)) << g.Log();

    // The settings: another registration window, and working hours around this
    // hour with the watch left on.
    ui::InvokeCommand(g.Window(), ids::N6);
    HWND settings = WaitSettings(g.Window());
    ASSERT_NE(settings, nullptr);
    EXPECT_EQ(ui::ControlText(settings, form3::TIME_FOR_REG), L"2");
    SetText(settings, form3::TIME_FOR_REG, L"5");
    SendMessageW(ui::FindControl(settings, form3::checkworktime), BM_SETCHECK, BST_UNCHECKED, 0);
    SetText(settings, form3::Edit1, std::to_wstring(hour));
    SetText(settings, form3::Edit2, std::to_wstring(hour + 1));
    ui::AnswerDialog(settings, IDOK);
    EXPECT_TRUE(WaitFor([&] { return !IsWindowVisible(settings); }, 8000)) << "the settings stayed open";
    const std::string config = ReadAll(g.config);
    EXPECT_NE(config.find("TIME_FOR_REG=5\r\n"), std::string::npos) << config;
    EXPECT_NE(config.find("TIME_BEGIN=" + std::to_string(hour) + "\r\n"), std::string::npos) << config;

    // Working time now: the watch starts the service, which loads the plug-in
    // with the new value.
    EXPECT_TRUE(g.WaitText(ids::WorkTime, L"ВРЕМЯ: РАБОЧЕЕ", 10000)) << ui::ToUtf8(g.Text(ids::WorkTime));
    EXPECT_TRUE(g.WaitText(ids::RAS, L"RAS сервер: включен", 20000)) << ui::ToUtf8(g.Text(ids::RAS));
    ASSERT_TRUE(g.WaitLog(loaded, 10000, 2)) << g.Log();
    ASSERT_TRUE(WaitFor([] { return RunCaptured("rasstandin.exe", "state").code == 0; }, 20000));
    EXPECT_FALSE(ui::ToolButtonChecked(g.Window(), ids::ToolBar1, ids::ToolButton2));

    EXPECT_EQ(MaskBanners(g.Log()),
              "<banner>\r\n" + LoadLines(g, 2) + UnloadLines() + "<banner>\r\n" + LoadLines(g, 5));

    // The next caller gets the new registration window of 5 minutes (300
    // cycles): the console's first countdown lies above the old 120.
    const ToolRun dial = RunCaptured("rasstandin.exe", "dial");
    ASSERT_EQ(dial.code, 0) << dial.out;
    unsigned id = 0;
    const size_t at = dial.out.find("connection ");
    ASSERT_NE(at, std::string::npos) << dial.out;
    ASSERT_EQ(sscanf(dial.out.c_str() + at, "connection %u", &id), 1) << dial.out;
    int first = -1;
    ASSERT_TRUE(WaitFor([&] { return (first = CountdownValue(g.Text(ids::Label1))) > 0; }, 5000))
        << ui::ToUtf8(g.Text(ids::Label1));
    EXPECT_GT(first, 120);
    EXPECT_LE(first, 300);

    // The caller hangs up first: the worker ends, the console goes bare.
    const ToolRun hangup = RunCaptured("rasstandin.exe", "hangup " + std::to_string(id));
    EXPECT_EQ(hangup.code, 0) << hangup.out;
    EXPECT_TRUE(g.WaitText(ids::Label1, L"Юзеры отключены", 5000)) << ui::ToUtf8(g.Text(ids::Label1));
    ASSERT_TRUE(g.WaitLog(DatedLine("Произошло отключение пользователя от интерфейса"), 5000)) << g.Log();
    const std::string log = g.Log();
    const std::string tail = log.substr(log.rfind(loaded) + loaded.size());
    const size_t duration = tail.find("Продолжительность соединения: ");
    ASSERT_NE(duration, std::string::npos) << log;
    EXPECT_EQ(tail.substr(0, tail.rfind("\r\n", duration) + 2),
              DatedLine("Принято новое подключение") + DatedLine("***Поток таймера запущен***") +
                  DatedLine("Подключен интерфейс") + DatedLine("Отключен интерфейс") +
                  DatedLine("Поток успешно завершен"));
}
