// The real portwatch.exe under Wine and Xvfb: what the operator sees, and
// what the console does with the shared files and its configuration.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include "ConsoleFixture.h"
#include "Ids.h"
#include "UiDriver.h"
#include "Win32Files.h"

namespace {

const std::wstring kCountdown = L"До отключения осталось: ";

DWORD ProcessOf(HWND window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return pid;
}

bool MenuOpen(HWND window) {
    HWND menu = ui::FindProcessWindow(ProcessOf(window), L"#32768");
    return menu && IsWindowVisible(menu);
}

TEST(Console, StartsHiddenWithEveryFieldFilledAndTheTrayClickShowsIt) {
    ConsoleInstall console;
    ASSERT_TRUE(console.Start());
    EXPECT_FALSE(IsWindowVisible(console.Window()));
    EXPECT_EQ(ui::WindowText(console.Window()), L"GUI для LINKWARD.DLL");
    RECT r;
    GetWindowRect(console.Window(), &r);
    EXPECT_EQ(r.right - r.left, 717);
    EXPECT_EQ(r.bottom - r.top, 492);

    EXPECT_EQ(console.Text(ids::Label1), L"Юзеры отключены");
    EXPECT_EQ(console.Text(ids::StaticText1), L"НИК:");
    EXPECT_EQ(console.Text(ids::StaticText2), L"ПАРОЛЬ:");
    EXPECT_EQ(console.Text(ids::TLIMIT), L"ЛИМИТ:");
    EXPECT_EQ(console.Text(ids::Memo1), L"Не удается открыть лог-файл");
    EXPECT_EQ(console.Text(ids::Label2), L"Текущее состояние");
    EXPECT_EQ(console.Text(ids::RAS).rfind(L"RAS сервер: ", 0), 0u) << ui::ToUtf8(console.Text(ids::RAS));
    EXPECT_EQ(console.Text(ids::FTP).rfind(L"FTP сервер: ", 0), 0u) << ui::ToUtf8(console.Text(ids::FTP));
    // The watch is off in this configuration: no check, no text.
    EXPECT_EQ(console.Text(ids::WorkTime), L"");

    // A left click on the tray icon brings the window up.
    PostMessageW(console.Window(), kTrayMessage, 1, WM_LBUTTONUP);
    EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(console.Window()) != FALSE; }, 3000));
    // Minimising leaves only the icon; a double click restores the window.
    PostMessageW(console.Window(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_TRUE(WaitFor([&] { return !IsWindowVisible(console.Window()); }, 3000));
    PostMessageW(console.Window(), kTrayMessage, 1, WM_LBUTTONDBLCLK);
    EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(console.Window()) && !IsIconic(console.Window()); }, 3000));

    // Releasing the right button over the icon opens the tray menu; the
    // fields stay live while it is open.
    PostMessageW(console.Window(), kTrayMessage, 1, WM_RBUTTONUP);
    EXPECT_TRUE(WaitFor([&] { return MenuOpen(console.Window()); }, 3000));
    WriteAll(console.timeFile, "77\r\n\r\n");
    EXPECT_TRUE(console.WaitText(ids::Label1, kCountdown + L"77"));
    PostMessageW(console.Window(), WM_CANCELMODE, 0, 0);
    EXPECT_TRUE(WaitFor([&] { return !MenuOpen(console.Window()); }, 3000));
    DeleteFileA(console.timeFile.c_str());
    EXPECT_TRUE(console.WaitText(ids::Label1, L"Юзеры отключены"));

    // The command-line driver prints the same texts, as UTF-8.
    std::string printed;
    EXPECT_EQ(RunTool("uidriver.exe\" text " + std::to_string(ids::Label1), &printed), 0);
    EXPECT_EQ(printed, ui::ToUtf8(L"Юзеры отключены") + "\n");

    EXPECT_TRUE(console.Close());
}

// Whether the shell holds the console's tray icon: only an icon it holds can
// be modified. Wine's tray says so as Windows' does.
bool TrayHoldsIcon(HWND console) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = console;
    data.uID = 1;
    return Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

// Takes the icon out of the tray as a restarted shell would have lost it.
// The console's tick may put it back at any moment, so this tries until the
// icon was seen gone.
bool DropTrayIcon(HWND console) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = console;
    data.uID = 1;
    return WaitFor([&] { return Shell_NotifyIconW(NIM_DELETE, &data), !TrayHoldsIcon(console); }, 10000);
}

TEST(Console, TheTrayIconComesBackWhenTheShellLosesIt) {
    ConsoleInstall console;
    ASSERT_TRUE(console.Start());
    ASSERT_TRUE(WaitFor([&] { return TrayHoldsIcon(console.Window()); }, 5000)) << "no tray icon after start-up";

    // Explorer restarted: its new tray knows no icons and it announces itself.
    // The handler adds the icon before the message returns.
    const UINT taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    ASSERT_TRUE(DropTrayIcon(console.Window()));
    DWORD_PTR ignored = 0;
    ASSERT_TRUE(SendMessageTimeoutW(console.Window(), taskbarCreated, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored));
    EXPECT_TRUE(TrayHoldsIcon(console.Window())) << "not back after TaskbarCreated";

    // The shell lost the icon and said nothing (on Windows, a broadcast that
    // did not reach the window): the next tick finds it gone and adds it.
    ASSERT_TRUE(DropTrayIcon(console.Window()));
    EXPECT_TRUE(WaitFor([&] { return TrayHoldsIcon(console.Window()); }, 4000)) << "not back after a tick";
    EXPECT_TRUE(console.Close());
}

TEST(Console, CountdownAndUserFieldsFollowTheFiles) {
    ConsoleInstall console;
    ASSERT_TRUE(console.Start());

    WriteAll(console.timeFile, "300\r\n\r\n");
    EXPECT_TRUE(console.WaitText(ids::Label1, kCountdown + L"300"));
    WriteAll(console.timeFile, "1234567890123\r\n");
    EXPECT_TRUE(console.WaitText(ids::Label1, kCountdown + L"123456789"));
    // Caught between the plug-in's truncation and its write.
    WriteAll(console.timeFile, "");
    EXPECT_TRUE(console.WaitText(ids::Label1, kCountdown));

    WriteAll(console.CurrentUser(), "иван\r\nпароль\r\n60\r\nИван\r\nПетров\r\n20\r\nМГУ\r\n555\r\na@b\r\n42\r\n");
    EXPECT_TRUE(console.WaitText(ids::StaticText1, L"НИК: иван"));
    EXPECT_EQ(console.Text(ids::StaticText2), L"ПАРОЛЬ: пароль");
    EXPECT_EQ(console.Text(ids::TLIMIT), L"ЛИМИТ: 60");
    // LF line ends and a record short of lines.
    WriteAll(console.CurrentUser(), "petr\n pw\n");
    EXPECT_TRUE(console.WaitText(ids::StaticText1, L"НИК: petr"));
    EXPECT_EQ(console.Text(ids::StaticText2), L"ПАРОЛЬ:  pw");
    EXPECT_EQ(console.Text(ids::TLIMIT), L"ЛИМИТ: ");

    // A time file held by its writer with no sharing: the countdown shows no
    // value, and the rest of the refresh still runs.
    WriteAll(console.timeFile, "200\r\n\r\n");
    EXPECT_TRUE(console.WaitText(ids::Label1, kCountdown + L"200"));
    {
        UniqueHandle held(CreateFileA(console.timeFile.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    0, nullptr));
        ASSERT_TRUE(held.Valid());
        EXPECT_TRUE(console.WaitText(ids::Label1, kCountdown));
        WriteAll(console.CurrentUser(), "olga\r\nx\r\n5\r\n");
        EXPECT_TRUE(console.WaitText(ids::StaticText1, L"НИК: olga"));
    }
    EXPECT_TRUE(console.WaitText(ids::Label1, kCountdown + L"200"));

    // The connection ends: the plug-in deletes both files.
    DeleteFileA(console.timeFile.c_str());
    DeleteFileA(console.CurrentUser().c_str());
    EXPECT_TRUE(console.WaitText(ids::Label1, L"Юзеры отключены"));
    EXPECT_TRUE(console.WaitText(ids::StaticText1, L"НИК:"));
    EXPECT_EQ(console.Text(ids::StaticText2), L"ПАРОЛЬ:");
    EXPECT_EQ(console.Text(ids::TLIMIT), L"ЛИМИТ:");
}

TEST(Console, LogViewShowsTodaysFileWholeAndComesBackAfterClearing) {
    ConsoleInstall console;
    ASSERT_TRUE(console.Start());
    std::string log;
    for (int i = 0; i < 2000; ++i)
        log += "[" + TodayShortDate() + "] : [21:40:00] - Принято новое подключение " + std::to_string(i) + "\r\n";
    WriteAll(console.TodayLog(), log);
    EXPECT_TRUE(console.WaitText(ids::Memo1, Wide1251(log)));

    // A line appended by the plug-in shows within a second or two.
    const std::string line = "[" + TodayShortDate() + "] : [21:40:01] - Подключен интерфейс\r\n";
    log += line;
    {
        UniqueHandle appender(CreateFileA(console.TodayLog().c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_ALWAYS, 0, nullptr));
        ASSERT_TRUE(appender.Valid());
        DWORD written = 0;
        WriteFile(appender.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    }
    EXPECT_TRUE(console.WaitText(ids::Memo1, Wide1251(log)));

    // Rewritten by someone else, longer than before: loaded whole again.
    std::string other = log;
    other.replace(0, 5, "XXXXX");
    other += "Последняя строка\r\n";
    WriteAll(console.TodayLog(), other);
    EXPECT_TRUE(console.WaitText(ids::Memo1, Wide1251(other)));
    log = other;

    // "Очистить лог" blanks the view; the next refresh fills it again.
    ui::InvokeCommand(console.Window(), ids::N1);
    EXPECT_TRUE(console.WaitText(ids::Memo1, Wide1251(log), 3000));

    // While the console reads, the plug-in can always append: the read denies nobody.
    const ULONGLONG until = GetTickCount64() + 2500;
    int refused = 0;
    while (GetTickCount64() < until) {
        UniqueHandle appender(CreateFileA(console.TodayLog().c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_ALWAYS, 0, nullptr));
        refused += !appender.Valid();
        Sleep(2);
    }
    EXPECT_EQ(refused, 0);

    DeleteFileA(console.TodayLog().c_str());
    EXPECT_TRUE(console.WaitText(ids::Memo1, L"Не удается открыть лог-файл"));
}

TEST(Console, UserInformationWithNobodyConnectedSaysSoWhileTheFieldsStayLive) {
    ConsoleInstall console;
    ASSERT_TRUE(console.Start());
    ui::InvokeCommand(console.Window(), ids::N7);
    HWND box = ui::WaitOwnedDialog(console.Window(), 5000);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(ui::WindowText(box), L"RA DIVAD IROR v0.1");
    EXPECT_EQ(ui::MessageBoxText(box), L"Пользователи отключены");
    // The timers run inside the message box's loop.
    WriteAll(console.timeFile, "42\r\n\r\n");
    EXPECT_TRUE(console.WaitText(ids::Label1, kCountdown + L"42"));
    ui::AnswerDialog(box, IDOK);
    EXPECT_TRUE(WaitFor([&] { return !IsWindow(box); }, 3000));

    // The tool button does the same.
    ui::ClickToolButton(console.Window(), ids::ToolBar1, ids::ToolButton4, false);
    box = ui::WaitOwnedDialog(console.Window(), 5000);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(ui::MessageBoxText(box), L"Пользователи отключены");
    ui::AnswerDialog(box, IDOK);
    EXPECT_TRUE(WaitFor([&] { return !IsWindow(box); }, 3000));

    // With a record the user information dialog comes instead of the message box.
    WriteAll(console.CurrentUser(), "ivan\r\npw\r\n30\r\n");
    ui::InvokeCommand(console.Window(), ids::N7);
    box = ui::WaitOwnedDialog(console.Window(), 5000);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(ui::WindowText(box), L"Информация о пользователе ...");
    ui::CloseWindow(box);
}

TEST(Console, ClosingWhenTheConfigurationCannotBeWrittenReportsItAndStillEnds) {
    ConsoleInstall console;
    ASSERT_TRUE(console.Start());
    // A folder in the file's place: no write can succeed, not even as administrator.
    ASSERT_TRUE(DeleteFileA(console.ConfigPath().c_str()));
    ASSERT_TRUE(CreateDirectoryA(console.ConfigPath().c_str(), nullptr));
    ui::InvokeCommand(console.Window(), ids::N16);
    HWND box = ui::WaitOwnedDialog(console.Window(), 5000);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(ui::MessageBoxText(box), Wide1251("Unable to write to " + console.ConfigPath()));
    ui::AnswerDialog(box, IDOK);
    EXPECT_TRUE(console.Ended(5000));
}

}  // namespace
