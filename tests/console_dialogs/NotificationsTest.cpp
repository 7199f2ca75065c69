// The balloons of the tray icon, through the main window's seams: a main
// window of this process whose Shell_NotifyIconW calls are noted and whose
// Application log is the test's, its refresh called by the test.
#include <gtest/gtest.h>

#include "DialgateEvents.h"
#include "Ids.h"
#include "LogTexts.h"
#include "TestSupport.h"
#include "Unit1.h"
#include "logic/PluginState.h"

namespace {

const wchar_t kSetting[] = L"Software\\dialgate\\portwatch";

TEST(Notifications, TheHiddenConsoleTellsCallersAndAnUnwritableLogUntilSwitchedOff) {
    // The numbers the console knows the plug-in's events by are the plug-in's.
    EXPECT_EQ(PluginEventKindOf(MSG_PLUGIN_LOADED), PluginEventKind::Loaded);
    EXPECT_EQ(PluginEventKindOf(MSG_LOG_UNWRITABLE), PluginEventKind::LogUnwritable);
    EXPECT_EQ(PluginEventKindOf(MSG_LOG_WRITABLE_AGAIN), PluginEventKind::LogWritableAgain);
    EXPECT_EQ(PluginEventKindOf(MSG_WORKER_NOT_ENDED), PluginEventKind::WorkerNotEnded);

    RegDeleteKeyW(HKEY_CURRENT_USER, kSetting);  // as a user who never chose: on
    TempDir dir("notice");
    const std::string logs = dir / "logs\\", log = logs + TodayShortDate() + "_log.txt";
    CreateDirectoryA(logs.c_str(), nullptr);
    WriteAll(dir / "qv_config.ini", "[LOG]\r\nLOG_PATH=" + logs + "\r\n[GUI]\r\nDISABLE_CHECK_WORK_TIME=1\r\n");
    std::vector<std::wstring> balloons;  // title, text, level
    std::vector<PluginEventRecord> events;
    ConsoleSeams seams{[&](DWORD message, NOTIFYICONDATAW* data) {
                           if (message == NIM_MODIFY && (data->uFlags & NIF_INFO))
                               balloons.push_back(std::wstring(data->szInfoTitle) + L"|" + data->szInfo + L"|" +
                                                  std::to_wstring(data->dwInfoFlags));
                           return TRUE;
                       },
                       [&] {
                           std::vector<PluginEventRecord> given;
                           given.swap(events);
                           return given;
                       }};
    TForm1* form = TForm1::Create(GetModuleHandleW(nullptr), dir.Path(), seams);
    ASSERT_NE(form, nullptr);
    HWND hwnd = form->Handle();
    KillTimer(hwnd, 1);  // the refresh is the test's to call
    KillTimer(hwnd, 2);
    auto tick = [&] { form->Timer1Timer(), form->Timer2Timer(); };
    auto dated = [](const std::string& message) { return "[" + TodayShortDate() + "] : [21:40:00] - " + message + "\r\n"; };

    // A caller came: his login and limit, never his password. The log cannot be written (what the
    // state field makes of it depends on other tests' RemoteAccess: tested natively).
    AppendAll(log, dated(log_text::kUserArrived) + dated(">USER: ivan") + dated(">PASS: secret") + dated(">LIMIT: 60"));
    events.push_back({MSG_LOG_UNWRITABLE, 0, "08.12.2026 21:41:00", ""});
    tick();
    ASSERT_EQ(balloons.size(), 2u);
    EXPECT_EQ(balloons[0], L"Пришел пользователь|НИК: ivan, ЛИМИТ: 60|" + std::to_wstring(NIIF_INFO));
    EXPECT_EQ(balloons[1].rfind(L"Модуль не может записать журнал|С 08.12.2026 21:41:00. ", 0), 0u);
    EXPECT_EQ(balloons[1].back(), L'0' + NIIF_ERROR);

    // The open window tells nothing by balloon; nor, switched off, the hidden one.
    ShowWindow(hwnd, SW_SHOW);
    AppendAll(log, dated(log_text::kDisconnected));
    tick();
    ShowWindow(hwnd, SW_HIDE);
    SendMessageW(hwnd, WM_COMMAND, ids::NNotices, 0);
    AppendAll(log, dated(log_text::kDisconnected));
    tick();
    EXPECT_EQ(balloons.size(), 2u);
    // The choice is the user's, kept for the next start.
    DWORD stored = 2, size = sizeof stored;
    RegGetValueW(HKEY_CURRENT_USER, kSetting, L"Notifications", RRF_RT_REG_DWORD, nullptr, &stored, &size);
    EXPECT_EQ(stored, 0u);
    EXPECT_EQ(GetMenuState(GetMenu(hwnd), ids::NNotices, MF_BYCOMMAND) & MF_CHECKED, 0u);
    DestroyWindow(hwnd);
    RegDeleteKeyW(HKEY_CURRENT_USER, kSetting);
    // The main window ends the program's loop when it goes: not for the tests after this one.
    for (MSG quit; PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);) {
    }
}

}  // namespace
