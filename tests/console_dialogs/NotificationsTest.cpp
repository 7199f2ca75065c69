// The balloons of the tray icon and the plug-in's events, through the main
// window's seams: a main window of this process whose Shell_NotifyIconW
// calls are noted and whose Application log is the test's, its refresh
// called by the test.
#include <gtest/gtest.h>

#include <vector>

#include "DialgateEvents.h"
#include "Ids.h"
#include "LogTexts.h"
#include "TestSupport.h"
#include "Unit1.h"
#include "Win32Files.h"
#include "logic/PluginState.h"

namespace {

struct Balloon {
    std::wstring title, text;
    DWORD flags;
};

// The switch as the operator left it, put back after the test.
class NoticesSetting {
public:
    NoticesSetting() { RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\dialgate\\portwatch"); }
    ~NoticesSetting() { RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\dialgate\\portwatch"); }
    static DWORD Stored() {
        DWORD value = 2, size = sizeof value;
        RegGetValueW(HKEY_CURRENT_USER, L"Software\\dialgate\\portwatch", L"Notifications", RRF_RT_REG_DWORD, nullptr,
                     &value, &size);
        return value;
    }
};

TEST(Notifications, TheHiddenConsoleTellsCallersAndAnUnwritableLogUntilSwitchedOff) {
    // The numbers the console knows the plug-in's events by are the plug-in's.
    EXPECT_EQ(PluginEventKindOf(MSG_PLUGIN_LOADED), PluginEventKind::Loaded);
    EXPECT_EQ(PluginEventKindOf(MSG_LOG_UNWRITABLE), PluginEventKind::LogUnwritable);
    EXPECT_EQ(PluginEventKindOf(MSG_LOG_WRITABLE_AGAIN), PluginEventKind::LogWritableAgain);
    EXPECT_EQ(PluginEventKindOf(MSG_WORKER_NOT_ENDED), PluginEventKind::WorkerNotEnded);

    NoticesSetting setting;
    TempDir dir("notice");
    const std::string logs = dir / "logs\\", log = logs + TodayShortDate() + "_log.txt";
    CreateDirectoryA(logs.c_str(), nullptr);
    WriteAll(dir / "qv_config.ini", "[LOG]\r\nLOG_PATH=" + logs + "\r\n[GUI]\r\nDISABLE_CHECK_WORK_TIME=1\r\n");
    std::vector<Balloon> balloons;
    std::vector<PluginEventRecord> events;
    ConsoleSeams seams;
    seams.notifyIcon = [&](DWORD message, NOTIFYICONDATAW* data) {
        if (message == NIM_MODIFY && (data->uFlags & NIF_INFO))
            balloons.push_back({data->szInfoTitle, data->szInfo, data->dwInfoFlags});
        return TRUE;
    };
    seams.pluginEvents = [&] {
        std::vector<PluginEventRecord> given;
        given.swap(events);
        return given;
    };
    TForm1* form = TForm1::Create(GetModuleHandleW(nullptr), dir.Path(), seams);
    ASSERT_NE(form, nullptr);
    HWND hwnd = form->Handle();
    // The refresh is the test's to call.
    KillTimer(hwnd, 1);
    KillTimer(hwnd, 2);
    auto tick = [&] {
        form->Timer1Timer();
        form->Timer2Timer();
    };
    auto dated = [](const std::string& message) { return "[" + TodayShortDate() + "] : [21:40:00] - " + message + "\r\n"; };

    // A caller came: his login and limit, never his password.
    AppendAll(log, dated(log_text::kUserArrived) + dated(">USER: ivan") + dated(">PASS: secret") + dated(">LIMIT: 60"));
    tick();
    ASSERT_EQ(balloons.size(), 1u);
    EXPECT_EQ(balloons[0].title, L"Пришел пользователь");
    EXPECT_EQ(balloons[0].text, L"НИК: ivan, ЛИМИТ: 60");
    EXPECT_EQ(balloons[0].flags, static_cast<DWORD>(NIIF_INFO));

    // The plug-in cannot write its log. (What the state field makes of it
    // depends on RemoteAccess, which other tests of this prefix install:
    // that decision is tested on its own.)
    events.push_back({MSG_LOG_UNWRITABLE, 0, "08.12.2026 21:41:00", ""});
    tick();
    ASSERT_EQ(balloons.size(), 2u);
    EXPECT_EQ(balloons[1].title, L"Модуль не может записать журнал");
    EXPECT_EQ(balloons[1].text.rfind(L"С 08.12.2026 21:41:00. ", 0), 0u);
    EXPECT_EQ(balloons[1].flags, static_cast<DWORD>(NIIF_ERROR));

    // The open window tells nothing by balloon.
    ShowWindow(hwnd, SW_SHOW);
    AppendAll(log, dated(log_text::kDisconnected));
    tick();
    EXPECT_EQ(balloons.size(), 2u);

    // Switched off from the menu, hidden again: nothing; the choice is the user's, kept.
    ShowWindow(hwnd, SW_HIDE);
    SendMessageW(hwnd, WM_COMMAND, ids::NNotices, 0);
    EXPECT_EQ(GetMenuState(GetMenu(hwnd), ids::NNotices, MF_BYCOMMAND) & MF_CHECKED, 0u);
    EXPECT_EQ(NoticesSetting::Stored(), 0u);
    AppendAll(log, dated(log_text::kDisconnected));
    tick();
    EXPECT_EQ(balloons.size(), 2u);
    DestroyWindow(hwnd);
    TForm1* again = TForm1::Create(GetModuleHandleW(nullptr), dir.Path(), seams);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(GetMenuState(GetMenu(again->Handle()), ids::NNotices, MF_BYCOMMAND) & MF_CHECKED, 0u);
    DestroyWindow(again->Handle());
    // The main window ends the program's loop when it goes: not for the tests after this one.
    MSG quit;
    while (PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
}

}  // namespace
