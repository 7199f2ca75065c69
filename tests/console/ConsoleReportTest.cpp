// The connections window of the real portwatch.exe under Wine and Xvfb:
// opened from the menu and the tray menu, the rows of a known log, the rows
// the plug-in appends while it is open, the day picker, a day without a log,
// the CSV saved through the save dialog; a month of logs in both views, its
// picture copied and saved, the window answering all the while.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "ConsoleFixture.h"
// After windows.h, which the fixture brings: the save dialog's control numbers, the memory counters.
#include <dlgs.h>
#include <psapi.h>
#include "Ids.h"
#include "Report.h"
#include "UiDriver.h"
#include "logic/LoginTotals.h"
#include "logic/ReportTable.h"

namespace {

DWORD ProcessOf(HWND window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return pid;
}

// The private memory of the window's process, in MB (Wine counts it as PagefileUsage).
double PrivateMb(HWND window) {
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, ProcessOf(window));
    PROCESS_MEMORY_COUNTERS counters{};
    GetProcessMemoryInfo(process, &counters, sizeof counters);
    CloseHandle(process);
    return static_cast<double>(counters.PagefileUsage) / (1 << 20);
}

// The report opened from the menu, once it has read its first view.
HWND OpenReport(ConsoleInstall& console) {
    ui::InvokeCommand(console.Window(), ids::N19);
    HWND report = ui::WaitProcessWindow(ProcessOf(console.Window()), kReportWindowClass, 10000);
    return report && WaitFor([&] {
        const std::wstring status = ui::ControlText(report, form5::StaticText3);
        return IsWindowVisible(report) && !status.empty() && status.find(L"читается") == std::wstring::npos;
    }, 10000) ? report : nullptr;
}

// The control that has the keyboard focus in the window's thread.
HWND Focused(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info);
    return info.hwndFocus;
}

// A key pressed on the control that has the focus, through the program's message loop.
void Press(HWND window, UINT key) { PostMessageW(Focused(window), WM_KEYDOWN, key, 1); }

// What the line under the picture says with the pointer at a point of the
// picture; the pointer itself is put there, so that no leaving ends the hover.
std::wstring PointAt(HWND report, HWND picture, int x, int y) {
    POINT at{x, y};
    ClientToScreen(picture, &at);
    SetCursorPos(at.x, at.y);
    SendMessageW(picture, WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
    return ui::ControlText(report, form5::StaticText2);
}

bool WaitFocus(HWND window, int id) { return WaitFor([&] { return GetDlgCtrlID(Focused(window)) == id; }, 5000); }

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
        for (int c = 1; c < 8; ++c) all += (c > 1 ? L" | " : L"") + ui::ListViewCell(list, r, c);
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

// Presses a button of the window that opens a save dialog, types the file's
// name, picks the file type (0 the first offered) and presses OK; true once
// the file is there.
bool SaveThroughDialog(HWND report, int button, const std::string& path, int fileType = 0) {
    PostMessageW(report, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
    HWND save = ui::WaitOwnedDialog(report, 10000);
    EditSearch edit;
    if (!save || !WaitFor([&] {
            EnumChildWindows(save, FindFileNameEdit, reinterpret_cast<LPARAM>(&edit));
            return edit.found != nullptr;
        }, 5000))
        return false;
    if (fileType) {
        HWND types = GetDlgItem(save, cmb1);
        SendMessageW(types, CB_SETCURSEL, fileType, 0);
        SendMessageW(save, WM_COMMAND, MAKEWPARAM(cmb1, CBN_SELENDOK), reinterpret_cast<LPARAM>(types));
    }
    SendMessageW(edit.found, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Wide1251(path).c_str()));
    ui::AnswerDialog(save, IDOK);
    return WaitFor([&] { return Exists(path) && !ReadAll(path).empty(); }, 10000);
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
    EXPECT_TRUE(WaitFor([&] { return ui::ListViewCell(list, 2, 4) == L"идет"; }, 5000));
    ASSERT_TRUE(AppendAll(today, Hangup("10:20:00", "1200", "5", "6")));
    EXPECT_TRUE(WaitFor([&] { return ui::ListViewCell(list, 2, 4) == L"абонент отключился"; }, 5000))
        << ui::ToUtf8(ListText(list));
    EXPECT_EQ(ui::ListViewCell(list, 2, 2), L"maria");
    EXPECT_EQ(ui::ListViewCell(list, 2, 5), L"0:20:00");

    // The CSV of the day, through the save dialog.
    const std::string csvPath = console.dir / "day.csv";
    ASSERT_TRUE(SaveThroughDialog(report, form5::Button2, csvPath));
    const std::string d = TodayShortDate();
    EXPECT_EQ(ReadAll(csvPath),
              "Дата;Время дозвона;Логин;Лимит, мин;Окончание;Длительность;Байт принято;Байт отправлено;Примечание\r\n" +
                  d + ";08:00:01;ivan_petrov;10;лимит исчерпан;0:10:00;10240;2048;\r\n" + d +
                  ";09:00:00;;;абонент отключился;0:00:40;100;50;\r\n" + d +
                  ";10:00:00;maria;60;абонент отключился;0:20:00;5;6;\r\n"
                  "Итого;соединений: 3;;;отклонено: 0;0:30:40;10345;2104;\r\n");
    EXPECT_EQ(ReadAll(csvPath).find("secret_pw"), std::string::npos);

    // The earlier day, picked in the list of days: its caller's end would be
    // in the next day's log, which there is not.
    SendMessageW(days, CB_SETCURSEL, 1, 0);
    PostMessageW(report, WM_COMMAND, MAKEWPARAM(form5::ComboBox1, CBN_SELCHANGE), reinterpret_cast<LPARAM>(days));
    EXPECT_TRUE(WaitList(list, L"23:59:00 |  |  | конец не записан |  |  | \n")) << ui::ToUtf8(ListText(list));

    // Today's log gone: a day without a log says so and lists nothing.
    SendMessageW(days, CB_SETCURSEL, 0, 0);
    PostMessageW(report, WM_COMMAND, MAKEWPARAM(form5::ComboBox1, CBN_SELCHANGE), reinterpret_cast<LPARAM>(days));
    EXPECT_TRUE(WaitFor([&] { return ui::ListViewRowCount(list) == 3; }, 5000));
    ASSERT_TRUE(DeleteFileA(today.c_str()));
    EXPECT_TRUE(WaitFor([&] { return ui::ControlText(report, form5::StaticText3) == L"За этот день журнала нет"; }, 5000))
        << ui::ToUtf8(ui::ControlText(report, form5::StaticText3));
    EXPECT_EQ(ui::ListViewRowCount(list), 0);

    // Closed, it is only hidden; the tray menu's item brings it back.
    ui::CloseWindow(report);
    EXPECT_TRUE(WaitFor([&] { return !IsWindowVisible(report); }, 5000));
    ui::InvokeCommand(console.Window(), ids::N5);
    EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(report) != FALSE; }, 5000));
    EXPECT_TRUE(console.Close());
}


// The log folder as the window reads it, for what the window must show.
class LogFolder : public DayLogSource {
public:
    explicit LogFolder(std::string folder) : folder_(std::move(folder)) {}
    LogFileStamp Stamp(const std::string& day) override {
        return Exists(folder_ + day + "_log.txt") ? LogFileStamp{true, 0, 0} : LogFileStamp{};
    }
    bool Read(const std::string& day, uint64_t offset, size_t maxBytes, std::string& bytes) override {
        bytes = ReadAll(folder_ + day + "_log.txt").substr(offset, maxBytes);
        return true;
    }

private:
    std::string folder_;
};

// Sends WM_NULL to the window every 50 ms from another thread; the slowest answer.
class AnswerWatch {
public:
    explicit AnswerWatch(HWND window)
        : thread_([this, window] {
              while (!stop_) {
                  const ULONGLONG sent = GetTickCount64();
                  DWORD_PTR result;
                  SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &result);
                  slowest_ = std::max<ULONGLONG>(slowest_, GetTickCount64() - sent);
                  Sleep(50);
              }
          }) {}
    ~AnswerWatch() { Stop(); }
    ULONGLONG Stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        return slowest_;
    }

private:
    std::atomic<bool> stop_{false};
    std::atomic<ULONGLONG> slowest_{0};
    std::thread thread_;
};

// Every column as wide as its heading, as the list view measures the heading's text.
void ExpectHeadingsFit(HWND list) {
    const std::vector<ui::ListViewColumn> columns = ui::ListViewColumns(list);
    ASSERT_FALSE(columns.empty());
    for (const ui::ListViewColumn& column : columns)
        EXPECT_GE(column.width, column.textWidth + 12)
            << ui::ToUtf8(column.heading) << ": column " << column.width << ", text " << column.textWidth;
}

std::string Utf8WithBom(const std::string& cp1251) {
    const std::wstring wide = Wide1251(cp1251);
    return "\xEF\xBB\xBF" + ui::ToUtf8(wide);
}

TEST(ConsoleReport, AMonthOfLogsInBothViewsWithItsPicture) {
    SetCursorPos(0, 0);  // away from the picture: the line under it says the picture in words
    ConsoleInstall console;
    // Forty days of an ordinary line's logs before today, one of them missing
    // (the folder's last backslash doubled, or it would escape the quote).
    ASSERT_EQ(RunTool("bench_report.exe\" logs \"" + console.logs + "\\\" 40"), 0);
    ASSERT_TRUE(console.Start());
    ui::InvokeCommand(console.Window(), ids::N19);
    HWND report = ui::WaitProcessWindow(ProcessOf(console.Window()), kReportWindowClass, 10000);
    ASSERT_TRUE(report);
    ASSERT_TRUE(WaitFor([&] { return IsWindowVisible(report) != FALSE; }, 5000));
    AnswerWatch answers(report);
    HWND list = ui::FindControl(report, form5::ListView1);
    HWND days = ui::FindControl(report, form5::ComboBox1);
    ASSERT_TRUE(WaitFor([&] { return ui::ComboBoxItems(days).size() == 40; }, 10000));

    // The month of the day 26 days ago, as the window must read it.
    const std::wstring chosen = ui::ComboBoxItems(days)[26];
    char pattern[80] = "";
    GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, pattern, sizeof pattern);
    const std::string chosenDay = ToCp1251(chosen);
    SYSTEMTIME now;
    GetLocalTime(&now);
    LogFolder folder(console.logs);
    const PeriodRows month = ReadPeriod(folder, PeriodAround(PeriodKind::Month, ParseShortDate(chosenDay, pattern)),
                                        DayNumber(now.wYear, now.wMonth, now.wDay), pattern);
    ASSERT_FALSE(month.rows.empty());
    ASSERT_TRUE(ui::ChooseComboBoxItem(days, chosen));
    ui::InvokeCommand(report, form5::RadioButton3);
    const std::wstring status = Wide1251(PeriodStatusText(month));
    EXPECT_TRUE(WaitFor([&] { return ui::ControlText(report, form5::StaticText3) == status; }, 20000))
        << ui::ToUtf8(ui::ControlText(report, form5::StaticText3)) << " | " << ui::ToUtf8(status);
    EXPECT_NE(status.find(L"нет журнала за"), std::wstring::npos) << ui::ToUtf8(status);
    EXPECT_TRUE(WaitFor([&] { return ui::ListViewRowCount(list) == static_cast<int>(month.rows.size()); }, 10000));
    EXPECT_EQ(ui::WindowText(report), L"Соединения за период");
    ExpectHeadingsFit(list);
    // The picture's name for screen readers (the system's proxy reads the window text), and it in words.
    HWND picture = ui::FindControl(report, form5::Image1);
    EXPECT_EQ(ui::WindowText(picture), L"Занятость линии за период");
    EXPECT_EQ(ui::ControlText(report, form5::StaticText2),
              Wide1251(PictureSummaryText(month, BuildLinePicture(month, PictureOptions{}))));

    // The totals per login, their CSV in UTF-8; the connections, their CSV in Windows-1251.
    const std::vector<LoginTotals> logins = TotalsByLogin(month);
    ui::InvokeCommand(report, form5::RadioButton6);
    EXPECT_TRUE(WaitFor([&] { return ui::ListViewRowCount(list) == static_cast<int>(logins.size()); }, 10000));
    EXPECT_EQ(ui::ListViewCell(list, 0, 0), Wide1251(logins[0].login));
    ExpectHeadingsFit(list);
    const std::string loginsCsv = console.dir / "logins.csv";
    ASSERT_TRUE(SaveThroughDialog(report, form5::Button2, loginsCsv, 1));
    EXPECT_EQ(ReadAll(loginsCsv), Utf8WithBom(LoginTotalsCsv(logins)));
    ui::InvokeCommand(report, form5::RadioButton5);
    EXPECT_TRUE(WaitFor([&] { return ui::ListViewRowCount(list) == static_cast<int>(month.rows.size()); }, 10000));
    const std::string connectionsCsv = console.dir / "month.csv";
    ASSERT_TRUE(SaveThroughDialog(report, form5::Button2, connectionsCsv));
    EXPECT_EQ(ReadAll(connectionsCsv), ConnectionReportCsv(month.rows));

    // The picture to the clipboard: a bitmap with the month's busy hours in it.
    // Another program (Wine's own clipboard keeper) may hold the clipboard for a moment.
    ASSERT_TRUE(WaitFor([] { return OpenClipboard(nullptr) != FALSE; }, 5000));
    EmptyClipboard();
    CloseClipboard();
    PostMessageW(report, WM_COMMAND, MAKEWPARAM(form5::Button3, BN_CLICKED), 0);
    ASSERT_TRUE(WaitFor([] { return IsClipboardFormatAvailable(CF_DIB) != FALSE; }, 10000));
    ASSERT_TRUE(WaitFor([] { return OpenClipboard(nullptr) != FALSE; }, 5000));
    const auto* dib = static_cast<const BITMAPINFOHEADER*>(GlobalLock(GetClipboardData(CF_DIB)));
    ASSERT_TRUE(dib);
    const LONG width = dib->biWidth, height = dib->biHeight;
    const BYTE* pixels = reinterpret_cast<const BYTE*>(dib + 1);
    size_t bluish = 0;
    for (LONG i = 0; dib->biBitCount == 24 && i < width * height; ++i) {
        const BYTE* p = pixels + (i / width) * ((width * 3 + 3) & ~3) + (i % width) * 3;
        if (p[0] > p[2] + 60) ++bluish;  // blue over red: a busy hour's shade
    }
    GlobalUnlock(GetClipboardData(CF_DIB));
    CloseClipboard();
    EXPECT_GT(width, 400);
    EXPECT_GT(height, 100);
    EXPECT_GT(bluish, 1000u);

    // The same picture as a PNG file.
    const std::string png = console.dir / "month.png";
    ASSERT_TRUE(SaveThroughDialog(report, form5::Button4, png));
    const std::string bytes = ReadAll(png);
    ASSERT_GT(bytes.size(), 24u);
    EXPECT_EQ(bytes.substr(0, 8), "\x89PNG\r\n\x1a\n");
    auto bigEndian = [&](size_t at) {
        return (static_cast<LONG>(static_cast<BYTE>(bytes[at])) << 24) | (static_cast<BYTE>(bytes[at + 1]) << 16) |
               (static_cast<BYTE>(bytes[at + 2]) << 8) | static_cast<BYTE>(bytes[at + 3]);
    };
    EXPECT_EQ(bigEndian(16), width);
    EXPECT_EQ(bigEndian(20), height);

    // Pointing at the grid says the hour; a click on an hour with a call in
    // it selects that call in the list.
    RECT area;
    GetClientRect(picture, &area);
    bool clicked = false;
    for (int step = 1; step < 40 && !clicked; ++step) {
        const int x = area.right * (10 + step * 2) / 100, y = area.bottom * (20 + step % 5 * 10) / 100;
        const std::wstring hover = PointAt(report, picture, x, y);
        if (hover.find(L": линия занята") == std::wstring::npos || hover.find(L"соединений: 0") != std::wstring::npos)
            continue;
        PostMessageW(picture, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
        clicked = true;
    }
    ASSERT_TRUE(clicked);
    EXPECT_TRUE(WaitFor([&] { return SendMessageW(list, LVM_GETNEXTITEM, -1, LVNI_SELECTED) >= 0; }, 5000));

    const ULONGLONG slowest = answers.Stop();
    std::printf("slowest WM_NULL answer while the month was read and shown: %llu ms\n", slowest);
    EXPECT_LT(slowest, 5000u) << "the window hung";
    EXPECT_TRUE(console.Close());
}

// A year's grid fits the picture, several days to a row: the lowest row
// answers the mouse with its days, the last of them today. Closed, the
// report gives back what it read, as the console lives for months.
TEST(ConsoleReport, AYearDrawsWholeAndIsGivenBackOnClosing) {
    ConsoleInstall console;
    ASSERT_EQ(RunTool("bench_report.exe\" logs \"" + console.logs + "\\\" 365"), 0);
    ASSERT_TRUE(console.Start());
    HWND report = OpenReport(console);
    ASSERT_TRUE(report);
    const double own = PrivateMb(report);
    HWND days = ui::FindControl(report, form5::ComboBox1);
    ASSERT_TRUE(ui::ChooseComboBoxItem(days, ui::ComboBoxItems(days).back()));
    ui::InvokeCommand(report, form5::RadioButton4);
    ASSERT_TRUE(WaitFor([&] { return ui::ListViewRowCount(ui::FindControl(report, form5::ListView1)) > 0; }, 30000));
    HWND picture = ui::FindControl(report, form5::Image1);
    RECT area;
    GetClientRect(picture, &area);
    std::wstring lowest;
    for (int y = area.bottom - 1; y > 0 && lowest.find(L": линия занята") == std::wstring::npos; --y)
        lowest = PointAt(report, picture, area.right / 2, y);
    EXPECT_NE(lowest.find(L"–" + Wide1251(TodayShortDate()) + L", "), std::wstring::npos) << ui::ToUtf8(lowest);
    ui::CloseWindow(report);
    EXPECT_TRUE(WaitFor([&] { return PrivateMb(report) < own + 2; }, 5000))
        << "own " << own << " MB, after closing " << PrivateMb(report) << " MB";
    EXPECT_TRUE(console.Close());
}

// Every command of the window from the keyboard: Tab from control to
// control, the arrows between the period's choices, the access keys, Enter
// on a button, and Esc to close.
TEST(ConsoleReport, EveryCommandByKeyboard) {
    ConsoleInstall console;
    ASSERT_TRUE(console.Start());
    HWND report = OpenReport(console);
    ASSERT_TRUE(report);
    ASSERT_TRUE(WaitFocus(report, form5::ComboBox1));
    Press(report, VK_TAB);
    EXPECT_TRUE(WaitFocus(report, form5::RadioButton1));
    Press(report, VK_RIGHT);
    EXPECT_TRUE(WaitFor([&] { return ui::WindowText(report) == L"Соединения за период"; }, 5000)) << "no week chosen";
    // Alt and a letter: the totals per login; then the picture copied, by its key and by Enter.
    PostMessageW(Focused(report), WM_SYSCHAR, L'и', 0x20000001);
    EXPECT_TRUE(WaitFor([&] { return IsDlgButtonChecked(report, form5::RadioButton6) == BST_CHECKED; }, 5000));
    for (bool byEnter : {false, true}) {
        ASSERT_TRUE(WaitFor([] { return OpenClipboard(nullptr) != FALSE; }, 5000));
        EmptyClipboard();
        CloseClipboard();
        if (byEnter) Press(report, VK_RETURN);
        else PostMessageW(Focused(report), WM_SYSCHAR, L'к', 0x20000001);
        EXPECT_TRUE(WaitFor([] { return IsClipboardFormatAvailable(CF_DIB) != FALSE; }, 10000)) << byEnter;
    }

    Press(report, VK_ESCAPE);
    EXPECT_TRUE(WaitFor([&] { return !IsWindowVisible(report); }, 5000));
    EXPECT_TRUE(console.Close());
}

// Moved to a monitor at 150 %: every control in the font of that scale, at
// the design's pixels times 1.5.
TEST(ConsoleReport, LaysItselfOutAnewAtAnotherDisplayScale) {
    TForm5* form = TForm5::Create(GetModuleHandleW(nullptr), nullptr);
    ASSERT_TRUE(form);
    HWND report = form->Handle();
    RECT suggested{100, 50, 1200, 1000};
    SendMessageW(report, 0x02E0 /* WM_DPICHANGED */, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    for (HWND control = GetWindow(report, GW_CHILD); control; control = GetWindow(control, GW_HWNDNEXT)) {
        LOGFONTW font{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font, &font);
        EXPECT_EQ(font.lfHeight, -MulDiv(8, 144, 72)) << "control " << GetDlgCtrlID(control);
    }
    RECT button;
    GetWindowRect(GetDlgItem(report, form5::Button1), &button);
    EXPECT_EQ(button.bottom - button.top, MulDiv(23, 144, 96));
    DestroyWindow(report);
}

}  // namespace
