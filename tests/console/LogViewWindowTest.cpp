// The log view in a real main window of this process, driven as the operator
// drives it (keys, mouse, menu, the search dialog) with the refresh called
// by the test, so that nothing moves between a step and its check.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "ConsoleFixture.h"
#include "Ids.h"
#include "UiDriver.h"
#include "Unit1.h"

namespace {

std::string Line(int i, const char* word = "Принято новое подключение") {
    return "[" + TodayShortDate() + "] : [21:40:00] - " + word + " " + std::to_string(i) + "\r\n";
}

std::string Lines(int count) {
    std::string log;
    for (int i = 0; i < count; ++i) log += Line(i);
    return log;
}

// A picture of a DC's pixels, 0x00RRGGBB.
struct Picture {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    // The part of rows [top, bottom) that is not `background`, cut to its ink.
    std::vector<uint32_t> Ink(int top, int bottom, uint32_t background) const {
        int left = width, right = -1, up = bottom, down = -1;
        for (int y = top; y < bottom; ++y)
            for (int x = 0; x < width; ++x)
                if (At(x, y) != background) left = std::min(left, x), right = std::max(right, x), up = std::min(up, y), down = std::max(down, y);
        std::vector<uint32_t> ink{static_cast<uint32_t>(right - left), static_cast<uint32_t>(down - up)};
        for (int y = up; y <= down; ++y)
            for (int x = left; x <= right; ++x) ink.push_back(At(x, y));
        return ink;
    }
};

template <typename Draw>
Picture Paint(int width, int height, Draw draw) {
    BITMAPINFO info{};
    info.bmiHeader = {sizeof info.bmiHeader, width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, bitmap);
    draw(dc);
    GdiFlush();
    Picture picture{width, height, {}};
    const auto* p = static_cast<const uint32_t*>(bits);
    for (int i = 0; i < width * height; ++i) picture.pixels.push_back(p[i] & 0xFFFFFF);
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return picture;
}

uint32_t Rgb(COLORREF c) { return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c); }

// One main window for all the cases (its end takes Wine seconds): each case
// puts its log in place and the refresh reads it anew.
class LogViewWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = new TempDir("lv");
        CreateDirectoryA(Logs().c_str(), nullptr);
        WriteAll(*dir / "qv_config.ini", "[PHP]\r\nUSERS_FOLDER=" + *dir / "users\\" + "\r\n[OPTIONS]\r\nFILE_WITH_TIME=" +
                                             *dir / "time.txt" + "\r\n[LOG]\r\nLOG_PATH=" + Logs() +
                                             "\r\n[GUI]\r\nDISABLE_CHECK_WORK_TIME=1\r\n");
        form = TForm1::Create(GetModuleHandleW(nullptr), dir->Path());
        ShowWindow(form->Handle(), SW_SHOW);
        // The refresh is the test's to call: the window's own two timers
        // would fire inside the menus' and message boxes' loops.
        KillTimer(form->Handle(), 1);
        KillTimer(form->Handle(), 2);
    }
    static void TearDownTestSuite() {
        DestroyWindow(form->Handle());
        // The main window's end posts the program's quit: not for this one.
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {}
        delete dir;
    }
    static std::string Logs() { return *dir / "logs\\"; }
    // Today's log holds `log` from now on; the refresh shows it.
    void Open(const std::string& log) {
        ASSERT_NE(form, nullptr);
        form->LogFolder = Logs();
        ASSERT_TRUE(WriteAll(TodayLog(), log));
        SendMessageW(form->Handle(), WM_COMMAND, ids::N1, 0);  // read anew, not on from the last case
        form->Timer1Timer();
        view = GetDlgItem(form->Handle(), ids::Memo1);
        SetFocus(view);
    }
    std::string TodayLog() const { return Logs() + TodayShortDate() + "_log.txt"; }
    std::wstring Text() const { return ui::WindowText(view); }
    LRESULT Top() const { return SendMessageW(view, EM_GETFIRSTVISIBLELINE, 0, 0); }
    bool InView(LRESULT line) const {
        RECT client;
        GetClientRect(view, &client);
        return Top() <= line && line < Top() + client.bottom / LineHeight();
    }
    std::pair<DWORD, DWORD> Selection() const {
        DWORD start = 0, end = 0;
        SendMessageW(view, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        return {start, end};
    }
    // A key pressed with Ctrl and/or Shift held, as the view reads them.
    void Key(WPARAM key, bool control = false, bool shift = false) {
        BYTE state[256];
        GetKeyboardState(state);
        state[VK_CONTROL] = control ? 0x80 : 0;
        state[VK_SHIFT] = shift ? 0x80 : 0;
        SetKeyboardState(state);
        SendMessageW(view, WM_KEYDOWN, key, 0);
        state[VK_CONTROL] = state[VK_SHIFT] = 0;
        SetKeyboardState(state);
    }
    std::wstring Clipboard() const {
        std::wstring text;
        if (!OpenClipboard(nullptr)) return L"(clipboard not open)";
        if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
            text = static_cast<const wchar_t*>(GlobalLock(data));
            GlobalUnlock(data);
        }
        CloseClipboard();
        return text;
    }
    int LineHeight() const {
        FontPtr font = MakeConsoleFont();
        TEXTMETRICW metrics{};
        Paint(1, 1, [&](HDC dc) {
            SelectObject(dc, font.get());
            GetTextMetricsW(dc, &metrics);
        });
        return metrics.tmHeight;
    }
    // How wide `text` (Windows-1251) is in `font` (the console's when null).
    int TextWidth(const std::string& text, HFONT font = nullptr) const {
        FontPtr console = MakeConsoleFont();
        SIZE size{};
        Paint(1, 1, [&](HDC dc) {
            SelectObject(dc, font ? font : console.get());
            GetTextExtentPoint32W(dc, Wide1251(text).c_str(), static_cast<int>(text.size()), &size);
        });
        return size.cx;
    }
    SCROLLINFO Bar(int bar) const {
        SCROLLINFO info{sizeof info, SIF_ALL, 0, 0, 0, 0, 0};
        GetScrollInfo(view, bar, &info);
        return info;
    }
    LRESULT CaretLine() const { return SendMessageW(view, EM_LINEFROMCHAR, static_cast<WPARAM>(-1), 0); }
    // Hands out the messages waiting: timers, and events for the hooks of this thread.
    static void Pump() { for (MSG msg; PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);) DispatchMessageW(&msg); }
    Picture Shown() const {
        RECT client;
        GetClientRect(view, &client);
        return Paint(client.right, client.bottom,
                     [&](HDC dc) { SendMessageW(view, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT); });
    }

    static TempDir* dir;
    static TForm1* form;
    HWND view = nullptr;
};

TempDir* LogViewWindow::dir = nullptr;
TForm1* LogViewWindow::form = nullptr;

TEST_F(LogViewWindow, ShowsTheWholeDayInTheMenuColourAndTheConsoleFontWithTheLastLineOnTop) {
    // A menu colour of its own, so that a view in any other colour shows.
    const int element = COLOR_MENU;
    const COLORREF menu = GetSysColor(COLOR_MENU), odd = RGB(201, 222, 243);
    SetSysColors(1, &element, &odd);
    std::string log = Lines(99) + Line(99, "Пользователь отключен, ЛИМИТ исчерпан");
    Open(log);
    const Picture shown = Shown();
    SetSysColors(1, &element, &menu);

    EXPECT_EQ(Text(), Wide1251(log));
    EXPECT_EQ(Top(), 99);
    EXPECT_EQ(SendMessageW(view, EM_GETLINECOUNT, 0, 0), 101);  // and the empty one after the last line end
    EXPECT_EQ(shown.At(shown.width - 1, shown.height - 1), Rgb(odd));
    // The top line is the Cyrillic of the file, drawn in the console's font.
    const int height = LineHeight();
    FontPtr font = MakeConsoleFont();
    const std::wstring top = Wide1251(Line(99, "Пользователь отключен, ЛИМИТ исчерпан"));
    const Picture expected = Paint(shown.width, height, [&](HDC dc) {
        RECT all{0, 0, shown.width, height};
        HBRUSH brush = CreateSolidBrush(odd);
        FillRect(dc, &all, brush);
        DeleteObject(brush);
        SelectObject(dc, font.get());
        SetBkMode(dc, TRANSPARENT);
        TabbedTextOutW(dc, 0, 0, top.c_str(), static_cast<int>(top.size() - 2), 0, nullptr, 0);
    });
    EXPECT_EQ(shown.Ink(0, height, Rgb(odd)), expected.Ink(0, height, Rgb(odd)));
}

TEST_F(LogViewWindow, IsReadOnlyWithBothScrollBarsAndLongLinesUnwrapped) {
    const std::string log = Lines(40) + "[" + TodayShortDate() + "] : [21:40:00] - " + std::string(3000, '\xC6') + "\r\n";
    Open(log);
    const std::wstring shown = Text();
    SendMessageW(view, WM_CHAR, 'x', 0);
    Key(VK_DELETE);
    Key(VK_BACK);
    Key('X', true);
    Key('V', true);
    for (UINT message : {WM_CUT, WM_PASTE, WM_CLEAR, WM_UNDO}) SendMessageW(view, message, 0, 0);
    SendMessageW(view, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"другое"));
    SendMessageW(view, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L"другое"));
    EXPECT_EQ(Text(), shown);
    EXPECT_EQ(ReadAll(TodayLog()), log);

    EXPECT_EQ(SendMessageW(view, EM_GETLINECOUNT, 0, 0), 42);
    const LONG style = GetWindowLongW(view, GWL_STYLE);
    EXPECT_TRUE((style & WS_VSCROLL) && (style & WS_HSCROLL));
    SCROLLINFO across{sizeof across, SIF_ALL, 0, 0, 0, 0, 0};
    GetScrollInfo(view, SB_HORZ, &across);
    EXPECT_GT(across.nMax + 1, 2 * static_cast<int>(across.nPage)) << "the long line reaches far past the view";
    SendMessageW(view, WM_HSCROLL, SB_PAGERIGHT, 0);
    GetScrollInfo(view, SB_HORZ, &across);
    EXPECT_GT(across.nPos, 0);
    SendMessageW(view, WM_VSCROLL, SB_BOTTOM, 0);  // the last line on top, not the empty one after it
    EXPECT_EQ(Top(), 40);
    EXPECT_EQ(Bar(SB_VERT).nMax - static_cast<int>(Bar(SB_VERT).nPage) + 1, 40);
}

TEST_F(LogViewWindow, AScrollOrASelectionLastsUntilTheLogChangesAndKeysGoOnFromTheLineOnTop) {
    Open(Lines(200));
    ASSERT_EQ(Top(), 199);
    UINT wheelLines = 3;
    SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &wheelLines, 0);
    SendMessageW(view, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), 0);
    EXPECT_EQ(Top(), 199 - static_cast<LRESULT>(wheelLines));
    SendMessageW(view, WM_VSCROLL, SB_PAGEUP, 0);
    const LRESULT paged = Top();
    EXPECT_LT(paged, 199 - static_cast<LRESULT>(wheelLines));
    form->Timer1Timer();  // the log as it was
    EXPECT_EQ(Top(), paged);

    Key(VK_HOME, true);
    EXPECT_EQ(Top(), 0);
    Key('A', true);
    EXPECT_EQ(Selection(), std::make_pair(DWORD{0}, static_cast<DWORD>(Text().size())));
    form->Timer1Timer();
    Key('C', true);
    EXPECT_EQ(Clipboard(), Text());
    // A line added: the last line on top, the caret at its start, the keys from there.
    ASSERT_TRUE(AppendAll(TodayLog(), Line(200)));
    form->Timer1Timer();
    EXPECT_EQ(Top(), 200);
    const DWORD start = static_cast<DWORD>(Text().size() - Line(200).size());
    EXPECT_EQ(Selection(), std::make_pair(start, start));
    Key(VK_PRIOR);
    EXPECT_GT(Top(), 150);
    EXPECT_LT(Top(), 200);
}

TEST_F(LogViewWindow, SelectsWithTheMouseAndTheKeysAndCopiesByKeyAndMenu) {
    const std::string log = Lines(30);
    Open(log);
    Key(VK_HOME, true);
    const int height = LineHeight();
    SendMessageW(view, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(1, height + height / 2));
    SendMessageW(view, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(1, 3 * height + height / 2));
    SendMessageW(view, WM_LBUTTONUP, 0, MAKELPARAM(1, 3 * height + height / 2));
    Key('C', true);
    EXPECT_EQ(Clipboard(), Wide1251(Line(1) + Line(2)));
    // Shift and a click extend it.
    SendMessageW(view, WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, MAKELPARAM(1, 4 * height + height / 2));
    SendMessageW(view, WM_LBUTTONUP, 0, MAKELPARAM(1, 4 * height + height / 2));
    Key('C', true);
    EXPECT_EQ(Clipboard(), Wide1251(Line(1) + Line(2) + Line(3)));

    Key(VK_HOME, true);
    Key(VK_DOWN, false, true);
    Key(VK_END, false, true);
    Key(VK_INSERT, true);
    EXPECT_EQ(Clipboard(), Wide1251(Line(0) + Line(1).substr(0, Line(1).size() - 2)));

    // The context menu: what it offers, and its "Выделить все" and "Копировать"
    // chosen with the arrow keys (none: it is closed with Esc).
    std::vector<std::wstring> items;
    RECT shown{};
    auto choose = [&](int downs, LPARAM at = MAKELPARAM(50, 50)) {
        std::thread chooser([&] {
            HWND menu = nullptr;
            WaitFor([&] { return (menu = ui::FindProcessWindow(GetCurrentProcessId(), L"#32768")) && IsWindowVisible(menu); },
                    5000);
            GetWindowRect(menu, &shown);
            HMENU handle = reinterpret_cast<HMENU>(SendMessageW(menu, MN_GETHMENU, 0, 0));
            items.clear();
            for (int i = 0; i < GetMenuItemCount(handle); ++i) {
                wchar_t text[64] = {};
                GetMenuStringW(handle, i, text, 64, MF_BYPOSITION);
                const UINT state = GetMenuState(handle, i, MF_BYPOSITION);
                items.push_back((state & MF_SEPARATOR) ? L"-" : std::wstring(text) + (state & MF_GRAYED ? L" (grey)" : L""));
            }
            for (int i = 0; i < downs; ++i) PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
            PostMessageW(menu, WM_KEYDOWN, downs ? VK_RETURN : VK_ESCAPE, 0);
        });
        SendMessageW(view, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(view), at);
        chooser.join();
    };
    auto drag = [&](int fromLine, int toLine) {
        SendMessageW(view, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(1, fromLine * height + height / 2));
        SendMessageW(view, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(1, toLine * height + height / 2));
        SendMessageW(view, WM_LBUTTONUP, 0, MAKELPARAM(1, toLine * height + height / 2));
    };
    drag(0, 0);
    choose(0);
    EXPECT_EQ(items, (std::vector<std::wstring>{L"Копировать (grey)", L"Выделить все", L"-", L"Найти..."}));
    drag(4, 5);
    choose(2);
    Key('C', true);
    EXPECT_EQ(Clipboard(), Wide1251(log));
    drag(1, 3);
    choose(1);
    EXPECT_EQ(items[0], L"Копировать");
    EXPECT_EQ(Clipboard(), Wide1251(Line(1) + Line(2)));

    // From the keyboard: under the caret, or at the view's corner when the caret is out of sight.
    SetWindowPos(form->Handle(), nullptr, 100, 100, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    POINT caret{}, corner{};
    GetCaretPos(&caret);
    caret.y += height;
    ClientToScreen(view, &caret);
    choose(0, -1);
    EXPECT_EQ(std::make_pair(shown.left, shown.top), std::make_pair(caret.x, caret.y));
    SendMessageW(view, WM_VSCROLL, SB_PAGEDOWN, 0);
    ClientToScreen(view, &corner);
    choose(0, -1);
    EXPECT_EQ(std::make_pair(shown.left, shown.top), std::make_pair(corner.x, corner.y));
}

TEST_F(LogViewWindow, CtrlFAndF3FindFromTheCaretRoundTheWholeTextAndSayWhenItIsNowhere) {
    std::string log;
    for (int i = 0; i < 300; ++i) log += Line(i, i == 40 ? "ошибка" : i == 250 ? "Ошибка" : "Принято");
    Open(log);
    ASSERT_EQ(Top(), 299);
    Key('F', true);
    HWND dialog = ui::FindProcessWindow(GetCurrentProcessId(), L"#32770");
    ASSERT_NE(dialog, nullptr);
    HWND wrap = FindWindowExW(dialog, nullptr, L"Button", L"Обтекание");
    EXPECT_EQ(SendMessageW(wrap, BM_GETCHECK, 0, 0), BST_CHECKED);
    // Every message box over the search dialog is answered, and what it said noted.
    std::vector<std::wstring> said;
    std::atomic<bool> done{false};
    std::thread answerer([&] {
        while (!done) {
            HWND box = nullptr;
            std::wstring text;
            if (!WaitFor([&] { return done || ((box = ui::FindOwnedDialog(dialog)) && !(text = ui::MessageBoxText(box)).empty()); },
                         60000) || done)
                break;
            said.push_back(text);
            ui::AnswerDialog(box, IDOK);
            WaitFor([&] { return !IsWindow(box); }, 5000);
        }
    });

    // Up from the newest line, as the log is read.
    SetDlgItemTextW(dialog, 0x480, L"ОШИБКА");  // edt1, the text sought
    CheckRadioButton(dialog, 0x420, 0x421, 0x420);  // rad1, "Вверх"
    SendMessageW(dialog, WM_COMMAND, IDOK, 0);  // "Найти далее"
    EXPECT_EQ(CaretLine(), 250);
    Key(VK_F3);
    EXPECT_EQ(CaretLine(), 40);
    EXPECT_TRUE(InView(40)) << Top();
    Key('C', true);
    EXPECT_EQ(Clipboard(), L"ошибка");
    form->Timer1Timer();
    Key(VK_F3);  // round from the first line to the last, nothing said
    EXPECT_EQ(CaretLine(), 250);
    SendMessageW(wrap, BM_SETCHECK, BST_UNCHECKED, 0);
    Key(VK_F3);
    Key(VK_F3);  // none before the first
    EXPECT_EQ(CaretLine(), 40);
    SendMessageW(wrap, BM_SETCHECK, BST_CHECKED, 0);
    SetDlgItemTextW(dialog, 0x480, L"нет такого");
    SendMessageW(dialog, WM_COMMAND, IDOK, 0);
    done = true;
    answerer.join();
    EXPECT_EQ(said, (std::vector<std::wstring>{L"Не удается найти \"ОШИБКА\"", L"Не удается найти \"нет такого\""}));
    SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
}

TEST_F(LogViewWindow, ClearingANewDaysFileAndNoFileAllGoThroughTheView) {
    const std::string log = Lines(5);
    Open(log);
    SendMessageW(form->Handle(), WM_COMMAND, ids::N1, 0);  // "Очистить лог"
    EXPECT_EQ(Text(), L"");
    form->Timer1Timer();
    EXPECT_EQ(Text(), Wide1251(log));
    // The next day's file lies under another name, as after midnight.
    const std::string other = Line(7, "новый день");
    form->LogFolder = dir->Path();
    WriteAll(*dir / (TodayShortDate() + "_log.txt"), other);
    form->Timer1Timer();
    EXPECT_EQ(Text(), Wide1251(other));
    DeleteFileA((*dir / (TodayShortDate() + "_log.txt")).c_str());
    form->Timer1Timer();
    EXPECT_EQ(Text(), L"Не удается открыть лог-файл");
}

TEST_F(LogViewWindow, EndOnALongWideLineReachesItsEndAndItIsSelectedAndCopiedWhole) {
    const std::string wide(20000, '\xC6');  // "Ж", 8,192 of them alone wider than 65,535 pixels here
    Open(Lines(3) + wide);
    Key(VK_END);  // on the line on top
    const DWORD start = static_cast<DWORD>(Text().size() - wide.size());
    EXPECT_EQ(Selection(), std::make_pair(start + 20000, start + 20000));
    // The caret in sight, past the whole drawn part of the line, which the bar reaches.
    POINT caret{};
    GetCaretPos(&caret);
    const int drawn = TextWidth(wide.substr(0, 8192));
    EXPECT_TRUE(caret.x >= 0 && caret.x < static_cast<int>(Bar(SB_HORZ).nPage)) << caret.x;
    EXPECT_GE(caret.x + Bar(SB_HORZ).nPos, drawn);
    EXPECT_GE(Bar(SB_HORZ).nMax + 1, drawn);
    Key(VK_HOME, false, true);
    Key('C', true);
    EXPECT_EQ(Clipboard(), Wide1251(wide));
}

TEST_F(LogViewWindow, TheHorizontalBarReachesTheWidestLineInSightBeforeItIsDrawn) {
    // The longest line by its bytes is narrower than the wide one in sight.
    const std::string wide(300, '\xC6');
    Open(std::string(400, 'i') + "\r\n" + wide);
    const SCROLLINFO set = Bar(SB_HORZ);
    EXPECT_GE(set.nMax + 1, TextWidth(wide));
    Shown();
    EXPECT_EQ(Bar(SB_HORZ).nMax, set.nMax);
}

TEST_F(LogViewWindow, AFontOfAnotherSizeMeasuresTheViewAnew) {
    const std::string wide(3000, '\xC6');
    Open(Lines(60) + wide);
    const HFONT before = reinterpret_cast<HFONT>(SendMessageW(view, WM_GETFONT, 0, 0));
    const UINT page = Bar(SB_VERT).nPage;
    FontPtr big = MakeConsoleFont(FW_NORMAL, 2 * 96);
    SendMessageW(view, WM_SETFONT, reinterpret_cast<WPARAM>(big.get()), FALSE);
    EXPECT_LE(Bar(SB_VERT).nPage, page * 2 / 3) << page;
    Key(VK_END);
    POINT caret{};
    GetCaretPos(&caret);
    EXPECT_NEAR(caret.x + Bar(SB_HORZ).nPos, TextWidth(wide, big.get()), 4);
    SendMessageW(view, WM_SETFONT, reinterpret_cast<WPARAM>(before), FALSE);
}

TEST_F(LogViewWindow, DraggingPastTheBottomScrollsOnAndADoubleClickSelectsAWord) {
    Open(Lines(100));
    Key(VK_HOME, true);
    const int height = LineHeight();
    RECT client;
    GetClientRect(view, &client);
    // Held below the view, the pointer moves no more: the view goes on scrolling.
    POINT below{1, client.bottom + height};
    SendMessageW(view, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(1, height / 2));
    SendMessageW(view, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(below.x, below.y));
    ClientToScreen(view, &below);
    SetCursorPos(below.x, below.y);
    EXPECT_TRUE(WaitFor([&] { Pump(); return Top() >= 5; }, 5000)) << Top();
    SendMessageW(view, WM_LBUTTONUP, 0, MAKELPARAM(1, client.bottom + height));
    EXPECT_GE(Selection().second, Wide1251(Lines(static_cast<int>(Top()) + client.bottom / height - 1)).size());

    EXPECT_TRUE(GetClassLongPtrW(view, GCL_STYLE) & CS_DBLCLKS);
    Key(VK_HOME, true);
    const std::string before = Line(0).substr(0, Line(0).find("новое") + 2);
    const LPARAM at = MAKELPARAM(2 + TextWidth(before), height / 2);
    for (UINT message : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP})
        SendMessageW(view, message, message == WM_LBUTTONUP ? 0 : MK_LBUTTON, at);
    Key('C', true);
    EXPECT_EQ(Clipboard(), L"новое");
}

TEST_F(LogViewWindow, AnswersTheEditMessagesOfScreenReadersInTheTextAsHandedOut) {
    Open("first\r\nsecond\nthird\rlast");  // handed out with every line end CR LF
    Key(VK_HOME, true);
    const LRESULT starts[] = {0, 7, 15, 22}, lengths[] = {5, 6, 5, 4};
    for (LRESULT line = 0; line < 4; ++line) {
        const LRESULT index = SendMessageW(view, EM_LINEINDEX, line, 0);
        EXPECT_EQ(index, starts[line]);
        EXPECT_EQ(SendMessageW(view, EM_LINEFROMCHAR, index + 1, 0), line);
        EXPECT_EQ(SendMessageW(view, EM_LINELENGTH, index, 0), lengths[line]);
        const LRESULT at = SendMessageW(view, EM_POSFROMCHAR, index + 1, 0);
        EXPECT_EQ(SendMessageW(view, EM_CHARFROMPOS, 0, MAKELPARAM(LOWORD(at) + 1, HIWORD(at) + 1)), MAKELRESULT(index + 1, line));
    }
    EXPECT_EQ(SendMessageW(view, EM_LINEINDEX, 4, 0), -1);
    wchar_t line[16] = {15};
    EXPECT_EQ(SendMessageW(view, EM_GETLINE, 1, reinterpret_cast<LPARAM>(line)), 6);
    EXPECT_EQ(std::wstring(line, 6), L"second");
    SendMessageW(view, EM_SETSEL, 17, 8);
    EXPECT_EQ(Selection(), std::make_pair(DWORD{8}, DWORD{17}));
    Key('C', true);
    EXPECT_EQ(Clipboard(), L"econd\r\nth");
}

std::vector<DWORD> gEvents;
void CALLBACK NoteEvent(HWINEVENTHOOK, DWORD event, HWND, LONG object, LONG child, DWORD, DWORD) {
    if (object == OBJID_CLIENT && child == CHILDID_SELF) gEvents.push_back(event);
}

TEST_F(LogViewWindow, TellsAssistiveTechnologyWhenTheTextOrTheSelectionChanged) {
    Open(Lines(10));
    HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_VALUECHANGE, EVENT_OBJECT_TEXTSELECTIONCHANGED, nullptr, NoteEvent,
                                         GetCurrentProcessId(), GetCurrentThreadId(), WINEVENT_OUTOFCONTEXT);
    auto seen = [&](DWORD event) {
        return WaitFor([&] { return Pump(), std::count(gEvents.begin(), gEvents.end(), event) > 0; }, 5000);
    };
    Key(VK_UP, false, true);
    EXPECT_TRUE(seen(EVENT_OBJECT_TEXTSELECTIONCHANGED));
    ASSERT_TRUE(AppendAll(TodayLog(), Line(10)));
    form->Timer1Timer();
    EXPECT_TRUE(seen(EVENT_OBJECT_VALUECHANGE));
    UnhookWinEvent(hook);
}

}  // namespace
