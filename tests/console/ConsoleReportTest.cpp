// The day's connections window of the real portwatch.exe under Wine and Xvfb:
// opened from the menu and the tray menu, the rows of a known log, the rows
// the plug-in appends while it is open, the day picker, a day without a log,
// and the CSV saved through the save dialog.
#include <gtest/gtest.h>

#include <vector>

#include "ConsoleFixture.h"
#include "Ids.h"
#include "Report.h"
#include "UiDriver.h"

namespace {

DWORD ProcessOf(HWND window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return pid;
}

// A dated line as the plug-in writes it, today.
std::string Line(const std::string& time, const std::string& message) {
    return "[" + TodayShortDate() + "] : [" + time + "] - " + message + "\r\n";
}

std::string Connection(const std::string& time, const std::string& user, const std::string& limit) {
    std::string lines = Line(time, "Принято новое подключение") + Line(time, "***Поток таймера запущен***") +
                        Line(time, "Подключен интерфейс");
    if (!user.empty())
        lines += "\r\n\r\n" + Line(time, "Пришел пользователь:") + Line(time, ">USER: " + user) +
                 Line(time, ">PASS: secret_pw") + Line(time, ">LIMIT: " + limit) + "\r\n\r\n\r\n";
    return lines;
}

std::string Disconnect(const std::string& time) {
    return Line(time, "MprAdminServerConnect - ok") + Line(time, "MprAdminPortClearStats - ok") +
           Line(time, "MprAdminPortReset - ok") + Line(time, "MprAdminPortDisconnect - ok") +
           Line(time, "Пользователь отключен по окончании лимита времени") + Line(time, "***ExitThread***");
}

std::string Hangup(const std::string& time, const std::string& seconds, const std::string& rx,
                   const std::string& tx) {
    return Line(time, "Отключен интерфейс") + Line(time, "Поток успешно завершен") +
           Line(time, "Продолжительность соединения: " + seconds) + Line(time, "Байт принято: " + rx) +
           Line(time, "Байт отправлено: " + tx) + Line(time, "Произошло отключение пользователя от интерфейса");
}

// The list as the operator reads it, one line a row, cells joined by " | ".
std::wstring ListText(HWND list) {
    std::wstring all;
    const int rows = ui::ListViewRowCount(list);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < 7; ++c) all += (c ? L" | " : L"") + ui::ListViewCell(list, r, c);
        all += L"\n";
    }
    return all;
}

bool WaitList(HWND list, const std::wstring& expected, DWORD timeoutMs = 5000) {
    return WaitFor([&] { return ListText(list) == expected; }, timeoutMs);
}

// A visible edit control of the save dialog: its file name field.
struct EditSearch {
    HWND found = nullptr;
};
BOOL CALLBACK FindFileNameEdit(HWND child, LPARAM param) {
    wchar_t cls[32];
    if (GetClassNameW(child, cls, 32) && lstrcmpiW(cls, L"Edit") == 0 && IsWindowVisible(child)) {
        reinterpret_cast<EditSearch*>(param)->found = child;
        return FALSE;
    }
    return TRUE;
}

const wchar_t kEarlierDay[] = L"01.01.2020";

TEST(ConsoleReport, ShowsTheDaysConnectionsFollowsTheLogAndSavesTheCsv) {
    ConsoleInstall console;
    const std::string today = console.TodayLog();
    ASSERT_TRUE(WriteAll(today, Connection("08:00:01", "ivan_petrov", "10") + Line("08:00:09", "FTP сервер запускается") +
                                    Disconnect("08:10:01") + Hangup("08:10:01", "600", "10240", "2048") +
                                    Connection("09:00:00", "", "") + Hangup("09:00:40", "40", "100", "50")));
    // An earlier day, as this locale writes dates, with one caller still on at its end.
    ASSERT_TRUE(WriteAll(console.logs + "01.01.2020_log.txt",
                         "[01.01.2020] : [23:59:00] - Принято новое подключение\r\n"));
    ASSERT_TRUE(console.Start());

    ui::InvokeCommand(console.Window(), ids::N19);
    HWND report = ui::WaitProcessWindow(ProcessOf(console.Window()), kReportWindowClass, 10000);
    ASSERT_TRUE(report);
    ASSERT_TRUE(WaitFor([&] { return IsWindowVisible(report) != FALSE; }, 5000));
    EXPECT_EQ(ui::WindowText(report), L"Соединения за день");
    HWND list = ui::FindControl(report, form5::ListView1);
    ASSERT_TRUE(list);

    EXPECT_TRUE(WaitList(list, L"08:00:01 | ivan_petrov | 10 | лимит исчерпан | 0:10:00 | 10240 | 2048\n"
                               L"09:00:00 |  |  | абонент отключился | 0:00:40 | 100 | 50\n"))
        << ui::ToUtf8(ListText(list));
    EXPECT_EQ(ui::ControlText(report, form5::StaticText1),
              L"Соединений: 2, отклонено: 0, время: 0:10:40, принято байт: 10340, отправлено байт: 2098");
    // Today first, by default, then the earlier day.
    HWND days = ui::FindControl(report, form5::ComboBox1);
    const std::vector<std::wstring> offered = ui::ComboBoxItems(days);
    ASSERT_EQ(offered.size(), 2u);
    EXPECT_EQ(offered[0], Wide1251(TodayShortDate()));
    EXPECT_EQ(offered[1], kEarlierDay);
    EXPECT_EQ(ui::WindowText(days), Wide1251(TodayShortDate()));

    // While it is open, what the plug-in appends comes in: a caller on the
    // line, then the same caller's end.
    ASSERT_TRUE(AppendAll(today, Connection("10:00:00", "maria", "60")));
    EXPECT_TRUE(WaitFor([&] { return ui::ListViewRowCount(list) == 3; }, 5000));
    EXPECT_TRUE(WaitFor([&] { return ui::ListViewCell(list, 2, 3) == L"идёт"; }, 5000));
    ASSERT_TRUE(AppendAll(today, Hangup("10:20:00", "1200", "5", "6")));
    EXPECT_TRUE(WaitFor([&] { return ui::ListViewCell(list, 2, 3) == L"абонент отключился"; }, 5000))
        << ui::ToUtf8(ListText(list));
    EXPECT_EQ(ui::ListViewCell(list, 2, 1), L"maria");
    EXPECT_EQ(ui::ListViewCell(list, 2, 4), L"0:20:00");

    // The CSV of the day, through the save dialog.
    const std::string csvPath = console.dir / "day.csv";
    PostMessageW(report, WM_COMMAND, MAKEWPARAM(form5::Button2, BN_CLICKED), 0);
    HWND save = ui::WaitOwnedDialog(report, 10000);
    ASSERT_TRUE(save);
    EditSearch edit;
    ASSERT_TRUE(WaitFor([&] {
        EnumChildWindows(save, FindFileNameEdit, reinterpret_cast<LPARAM>(&edit));
        return edit.found != nullptr;
    }, 5000));
    SendMessageW(edit.found, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Wide1251(csvPath).c_str()));
    ui::AnswerDialog(save, IDOK);
    ASSERT_TRUE(WaitFor([&] { return Exists(csvPath) && ReadAll(csvPath).size() > 100; }, 10000));
    const std::string d = TodayShortDate();
    EXPECT_EQ(ReadAll(csvPath),
              "Дата;Время дозвона;Логин;Лимит, мин;Окончание;Длительность;Байт принято;Байт отправлено\r\n" + d +
                  ";08:00:01;ivan_petrov;10;лимит исчерпан;0:10:00;10240;2048\r\n" + d +
                  ";09:00:00;;;абонент отключился;0:00:40;100;50\r\n" + d +
                  ";10:00:00;maria;60;абонент отключился;0:20:00;5;6\r\n"
                  "Итого;соединений: 3;;;отклонено: 0;0:30:40;10345;2104\r\n");
    EXPECT_EQ(ReadAll(csvPath).find("secret_pw"), std::string::npos);

    // The earlier day, picked in the list of days.
    SendMessageW(days, CB_SETCURSEL, 1, 0);
    PostMessageW(report, WM_COMMAND, MAKEWPARAM(form5::ComboBox1, CBN_SELCHANGE), reinterpret_cast<LPARAM>(days));
    EXPECT_TRUE(WaitList(list, L"23:59:00 |  |  | идёт |  |  | \n")) << ui::ToUtf8(ListText(list));

    // Today's log gone: a day without a log says so and lists nothing.
    SendMessageW(days, CB_SETCURSEL, 0, 0);
    PostMessageW(report, WM_COMMAND, MAKEWPARAM(form5::ComboBox1, CBN_SELCHANGE), reinterpret_cast<LPARAM>(days));
    EXPECT_TRUE(WaitFor([&] { return ui::ListViewRowCount(list) == 3; }, 5000));
    ASSERT_TRUE(DeleteFileA(today.c_str()));
    EXPECT_TRUE(WaitFor([&] { return ui::ControlText(report, form5::StaticText1) == L"За этот день лога нет"; }, 5000))
        << ui::ToUtf8(ui::ControlText(report, form5::StaticText1));
    EXPECT_EQ(ui::ListViewRowCount(list), 0);

    // Closed, it is only hidden; the tray menu's item brings it back.
    ui::CloseWindow(report);
    EXPECT_TRUE(WaitFor([&] { return !IsWindowVisible(report); }, 5000));
    ui::InvokeCommand(console.Window(), ids::N5);
    EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(report) != FALSE; }, 5000));
    EXPECT_TRUE(console.Close());
}

}  // namespace
