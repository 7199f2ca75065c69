// The dialogs as the operator reaches them in the real portwatch.exe: from
// the menus, the tool bar and the tray menu, with the settings' working hours
// reaching the running watch.
#include <gtest/gtest.h>

#include "ConsoleFixture.h"
#include "Addinfo.h"
#include "Ids.h"
#include "Options.h"
#include "UiDriver.h"
#include "logic/Monitor.h"

namespace {

constexpr int kSettingsCheckWorkTime = form3::checkworktime;
constexpr int kSettingsEdit1 = form3::Edit1;  // TIME_BEGIN
constexpr int kSettingsEdit2 = form3::Edit2;  // TIME_END
constexpr int kUserStaticText1 = form2::StaticText1;

HWND WaitDialogTitled(HWND owner, const std::wstring& title) {
    HWND found = nullptr;
    WaitFor(
        [&] {
            found = ui::FindOwnedDialog(owner);
            return found && ui::WindowText(found) == title;
        },
        8000);
    return found && ui::WindowText(found) == title ? found : nullptr;
}

void SetControlText(HWND dialog, int id, const std::wstring& text) {
    SendMessageW(ui::FindControl(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

}  // namespace

TEST(ConsoleDialogs, AboutFromTheMenuAndFromTheTray) {
    ConsoleInstall console;
    ASSERT_TRUE(console.Start());
    const std::wstring about = L"О программе \"RA DIVAD IROR\" v0.1";
    for (int command : {ids::N17, ids::N3}) {
        ui::InvokeCommand(console.Window(), command);
        HWND box = WaitDialogTitled(console.Window(), about);
        ASSERT_NE(box, nullptr) << "command " << command;
        ui::CloseWindow(box);
        EXPECT_TRUE(WaitFor([&] { return !IsWindowVisible(box); }, 8000));
    }
    EXPECT_TRUE(console.Close());
}

TEST(ConsoleDialogs, UserInformationShowsTheRecord) {
    ConsoleInstall console;
    WriteAll(console.CurrentUser(), "ivan\r\nsecret\r\n45\r\nИван\r\n");
    ASSERT_TRUE(console.Start());
    ui::InvokeCommand(console.Window(), ids::N7);
    HWND dialog = WaitDialogTitled(console.Window(), L"Информация о пользователе ...");
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(WaitFor([&] { return ui::ControlText(dialog, kUserStaticText1) == L"НИК: ivan"; }, 4000))
        << ui::ToUtf8(ui::ControlText(dialog, kUserStaticText1));
    ui::CloseWindow(dialog);
    EXPECT_TRUE(console.Close());
}

// Working hours typed into the settings reach the watch at once, and its
// switch reaches the tool button.
TEST(ConsoleDialogs, SettingsHandTheWorkingHoursToTheWatch) {
    ConsoleInstall console("DISABLE_CHECK_WORK_TIME=0\r\nTIME_BEGIN=0\r\nTIME_END=24\r\n");
    ASSERT_TRUE(console.Start());
    ASSERT_TRUE(console.WaitText(ids::WorkTime, L"ВРЕМЯ: РАБОЧЕЕ", 8000));

    ui::InvokeCommand(console.Window(), ids::N6);
    HWND settings = WaitDialogTitled(console.Window(), L"Настройки");
    ASSERT_NE(settings, nullptr);
    SetControlText(settings, kSettingsEdit1, L"25");
    SetControlText(settings, kSettingsEdit2, L"0");
    ui::AnswerDialog(settings, IDOK);
    EXPECT_TRUE(WaitFor([&] { return !IsWindowVisible(settings); }, 8000)) << "the dialog stayed open";
    // No hour is working time from now on; the next check comes within five seconds.
    EXPECT_TRUE(console.WaitText(ids::WorkTime, L"ВРЕМЯ: НЕ РАБОЧЕЕ", 8000));
    EXPECT_NE(ReadAll(console.ConfigPath()).find("TIME_BEGIN=25\r\n"), std::string::npos);
    EXPECT_FALSE(ui::ToolButtonChecked(console.Window(), ids::ToolBar1, ids::ToolButton2));

    ui::InvokeCommand(console.Window(), ids::ToolButton6);
    settings = WaitDialogTitled(console.Window(), L"Настройки");
    ASSERT_NE(settings, nullptr);
    SendMessageW(ui::FindControl(settings, kSettingsCheckWorkTime), BM_SETCHECK, BST_CHECKED, 0);
    ui::AnswerDialog(settings, IDOK);
    EXPECT_TRUE(WaitFor([&] { return ui::ToolButtonChecked(console.Window(), ids::ToolBar1, ids::ToolButton2); },
                        4000));
    EXPECT_NE(ReadAll(console.ConfigPath()).find("DISABLE_CHECK_WORK_TIME=1\r\n"), std::string::npos);
    EXPECT_TRUE(console.Close());
}
