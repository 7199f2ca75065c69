// Every window of the console at 96, 120, 144 and 192 DPI: each control's
// text fits the control in the control's own font, that font is made for the
// window's DPI, and no control leaves its window. Wine reads the DPI
// (LogPixels) once, when a process starts, so the test sets it and starts
// this program again in `--fit` mode, which makes the windows and checks
// them; then each window is told it moved to a monitor of another DPI
// (WM_DPICHANGED) and is checked again there.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <sstream>
#include <vector>

#include "About.h"
#include "Addinfo.h"
#include "Dpi.h"
#include "Options.h"
#include "Report.h"
#include "TestService.h"
#include "TestSupport.h"
#include "UiDriver.h"
#include "Unit1.h"

namespace {

const int kDpis[] = {96, 120, 144, 192};

// The system's DPI as Wine takes it at a process's start, for this test's prefix only.
class LogPixels {
public:
    explicit LogPixels(DWORD dpi) { Set(dpi); }
    ~LogPixels() { Set(96); }

private:
    static void Set(DWORD dpi) {
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                            nullptr) != ERROR_SUCCESS)
            return;
        RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi);
        RegCloseKey(key);
    }
};

class DisplayScale : public ::testing::TestWithParam<int> {};

TEST_P(DisplayScale, EveryTextFitsItsControlAndNoControlLeavesItsWindow) {
    const int dpi = GetParam();
    LogPixels scale(static_cast<DWORD>(dpi));
    const ToolRun run = RunCaptured("console_dialogs_tests.exe", "--fit", 120000);
    std::istringstream lines(run.out);
    std::string first;
    std::getline(lines, first);
    if (!first.empty() && first.back() == '\r') first.pop_back();
    ASSERT_EQ(first, "dpi " + std::to_string(dpi)) << run.out;
    EXPECT_EQ(run.code, 0) << run.out;
}

INSTANTIATE_TEST_SUITE_P(LogPixels, DisplayScale, ::testing::ValuesIn(kDpis));

// --- The checks, inside the program that made the windows -------------------

std::string Utf8(const std::wstring& text) { return ui::ToUtf8(text); }

std::wstring ClassOf(HWND h) {
    wchar_t name[64] = L"";
    GetClassNameW(h, name, 64);
    return name;
}

SIZE Extent(HDC dc, const std::wstring& text) {
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    return size;
}

int Metric(int index, int dpi) {
    using ForDpi = int(WINAPI*)(int, UINT);
    static const auto forDpi = reinterpret_cast<ForDpi>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetSystemMetricsForDpi")));
    return forDpi ? forDpi(index, static_cast<UINT>(dpi)) : MulDiv(GetSystemMetrics(index), dpi, WindowDpi(nullptr));
}

// What one window's controls lack, a line each.
class FitCheck {
public:
    FitCheck(const char* window, int dpi, std::vector<std::string>& problems)
        : window_(window), dpi_(dpi), problems_(problems) {}

    void Check(HWND top) {
        RECT client;
        GetClientRect(top, &client);
        MapWindowPoints(top, nullptr, reinterpret_cast<POINT*>(&client), 2);
        top_ = client;
        EnumChildWindows(top, Visit, reinterpret_cast<LPARAM>(this));
    }

private:
    static BOOL CALLBACK Visit(HWND h, LPARAM self) {
        reinterpret_cast<FitCheck*>(self)->Control(h);
        return TRUE;
    }

    static bool Layered(const std::wstring& cls) {
        return cls == L"msctls_updown32" || cls == L"SysTabControl32" || cls == L"TTabSheet";
    }

    void Problem(HWND h, const std::string& what) {
        problems_.push_back(std::string(window_) + " at " + std::to_string(dpi_) + " DPI, control " +
                            std::to_string(GetDlgCtrlID(h)) + " " + Utf8(ClassOf(h)) + " \"" +
                            Utf8(ui::WindowText(h).substr(0, 40)) + "\": " + what);
    }

    void Control(HWND h) {
        // A hidden control shows nothing (the tab strip's own arrows while its tabs fit).
        if (!(GetWindowLongW(h, GWL_STYLE) & WS_VISIBLE)) return;
        RECT r, parent;
        GetWindowRect(h, &r);
        GetClientRect(GetParent(h), &parent);
        MapWindowPoints(GetParent(h), nullptr, reinterpret_cast<POINT*>(&parent), 2);
        // Drop-down lists and the up-down arrows beside their fields count too.
        if (r.left < parent.left || r.top < parent.top || r.right > parent.right || r.bottom > parent.bottom ||
            r.right > top_.right || r.bottom > top_.bottom)
            Problem(h, "leaves its window");
        const std::wstring cls = ClassOf(h);
        // A control over another hides the other's text. The arrows sit on
        // their field, and the tabs' sheets on the tab strip, by design.
        for (HWND next = GetWindow(h, GW_HWNDNEXT); next && !Layered(cls); next = GetWindow(next, GW_HWNDNEXT)) {
            RECT other, both;
            GetWindowRect(next, &other);
            if ((GetWindowLongW(next, GWL_STYLE) & WS_VISIBLE) && !Layered(ClassOf(next)) &&
                IntersectRect(&both, &r, &other))
                Problem(h, "overlaps control " + std::to_string(GetDlgCtrlID(next)));
        }
        if (cls == L"msctls_statusbar32") return StatusBar(h);
        if (cls == L"ToolbarWindow32") return ToolBar(h);
        if (cls == L"SysListView32") return ListView(h);
        const bool text = cls == L"Static" || cls == L"Button" || cls == L"Edit" || cls == L"SysTabControl32" ||
                          cls == L"ComboBox";
        if (!text) return;
        const HFONT font = reinterpret_cast<HFONT>(SendMessageW(h, WM_GETFONT, 0, 0));
        if (!OwnFont(h, font)) return;
        HDC dc = GetDC(h);
        const HGDIOBJ previous = SelectObject(dc, font);
        TEXTMETRICW metrics{};
        GetTextMetricsW(dc, &metrics);
        RECT room;
        GetClientRect(h, &room);
        const std::wstring shown = ui::WindowText(h);
        const SIZE extent = Extent(dc, shown);
        const LONG style = GetWindowLongW(h, GWL_STYLE);
        const int need = [&]() -> int {
            if (cls == L"SysTabControl32") return Tabs(h, dc);
            if (cls == L"Edit") return (style & ES_MULTILINE) ? 0 : metrics.tmHeight > room.bottom ? -1 : 0;
            if (cls == L"ComboBox") return 0;
            if (cls == L"Button") {
                const LONG type = style & BS_TYPEMASK;
                const bool box = type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_RADIOBUTTON ||
                                 type == BS_AUTORADIOBUTTON || type == BS_3STATE || type == BS_AUTO3STATE;
                const int width = extent.cx + (box ? Metric(SM_CXMENUCHECK, dpi_) + Scaled(3, dpi_) : Scaled(6, dpi_));
                return width > room.right || metrics.tmHeight > room.bottom ? width : 0;
            }
            const LONG type = style & SS_TYPEMASK;
            if (type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT) {
                RECT wrapped{0, 0, room.right, 0};
                DrawTextW(dc, shown.c_str(), static_cast<int>(shown.size()), &wrapped,
                          DT_CALCRECT | DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX);
                return wrapped.right > room.right || wrapped.bottom > room.bottom ? static_cast<int>(wrapped.bottom) : 0;
            }
            if (type == SS_LEFTNOWORDWRAP || type == SS_SIMPLE)
                return extent.cx > room.right || metrics.tmHeight > room.bottom ? static_cast<int>(extent.cx) : 0;
            return 0;
        }();
        if (need != 0)
            Problem(h, "needs " + std::to_string(need) + ", has " + std::to_string(room.right) + " x " +
                           std::to_string(room.bottom));
        SelectObject(dc, previous);
        ReleaseDC(h, dc);
    }

    // The control's font must be the console's, made for this DPI.
    bool OwnFont(HWND h, HFONT font) {
        LOGFONTW lf{};
        if (!font || !GetObjectW(font, sizeof lf, &lf)) {
            Problem(h, "has no font of its own");
            return false;
        }
        if (lf.lfHeight != -MulDiv(8, dpi_, 72)) Problem(h, "font height " + std::to_string(lf.lfHeight));
        return true;
    }

    int Tabs(HWND tabs, HDC dc) {
        RECT room;
        GetClientRect(tabs, &room);
        const int count = static_cast<int>(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            wchar_t text[64] = L"";
            TCITEMW item{};
            item.mask = TCIF_TEXT;
            item.pszText = text;
            item.cchTextMax = 64;
            SendMessageW(tabs, TCM_GETITEMW, i, reinterpret_cast<LPARAM>(&item));
            RECT r{};
            SendMessageW(tabs, TCM_GETITEMRECT, i, reinterpret_cast<LPARAM>(&r));
            if (Extent(dc, text).cx > r.right - r.left || r.right > room.right) return Extent(dc, text).cx;
        }
        return 0;
    }

    void StatusBar(HWND bar) {
        const HFONT font = reinterpret_cast<HFONT>(SendMessageW(bar, WM_GETFONT, 0, 0));
        if (!OwnFont(bar, font)) return;
        int edges[8] = {};
        const int parts = static_cast<int>(SendMessageW(bar, SB_GETPARTS, 8, reinterpret_cast<LPARAM>(edges)));
        HDC dc = GetDC(bar);
        const HGDIOBJ previous = SelectObject(dc, font);
        for (int i = 0; i < parts; ++i) {
            RECT r{};
            SendMessageW(bar, SB_GETRECT, i, reinterpret_cast<LPARAM>(&r));
            const int length = LOWORD(SendMessageW(bar, SB_GETTEXTLENGTHW, i, 0));
            std::wstring text(static_cast<size_t>(length) + 1, L'\0');
            SendMessageW(bar, SB_GETTEXTW, i, reinterpret_cast<LPARAM>(&text[0]));
            text.resize(static_cast<size_t>(length));
            // Each part holds a fixed text of the design: an empty one lost it.
            if (text.empty()) Problem(bar, "part " + std::to_string(i) + " shows nothing");
            // The part's borders and the text's margin on either side.
            const int need = Extent(dc, text).cx + 2 * Scaled(3, dpi_);
            if (need > r.right - r.left)
                Problem(bar, "part " + std::to_string(i) + " \"" + Utf8(text) + "\" needs " + std::to_string(need) +
                                 ", has " + std::to_string(r.right - r.left));
        }
        SelectObject(dc, previous);
        ReleaseDC(bar, dc);
    }

    // The pictures drawn for the scale: 16 pixels at 100 %, 24 at 150 %.
    void ToolBar(HWND bar) {
        int width = 0, height = 0;
        const auto list = reinterpret_cast<HIMAGELIST>(SendMessageW(bar, TB_GETIMAGELIST, 0, 0));
        if (list) ImageList_GetIconSize(list, &width, &height);
        if (width != Scaled(16, dpi_))
            Problem(bar, "pictures of " + std::to_string(width) + " pixels, not " + std::to_string(Scaled(16, dpi_)));
        const LRESULT button = SendMessageW(bar, TB_GETBUTTONSIZE, 0, 0);
        if (LOWORD(button) < width || HIWORD(button) < height) Problem(bar, "buttons smaller than their pictures");
    }

    void ListView(HWND list) {
        for (const ui::ListViewColumn& column : ui::ListViewColumns(list))
            if (column.textWidth > column.width)
                Problem(list, "column \"" + Utf8(column.heading) + "\" needs " + std::to_string(column.textWidth) +
                                  ", has " + std::to_string(column.width));
    }

    const char* window_;
    int dpi_;
    std::vector<std::string>& problems_;
    RECT top_{};
};

// Runs the thread's messages until `done` or a few seconds have passed.
bool PumpUntil(const std::function<bool()>& done) {
    const ULONGLONG deadline = GetTickCount64() + 10000;
    while (!done() && GetTickCount64() < deadline) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) return done();
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    }
    return done();
}

// The window as if dragged to a monitor of `dpi`: the system's suggestion
// keeps its corner and scales its size.
void MoveToDpi(HWND window, int from, int to) {
    RECT r;
    GetWindowRect(window, &r);
    RECT suggested{r.left, r.top, r.left + MulDiv(r.right - r.left, to, from),
                   r.top + MulDiv(r.bottom - r.top, to, from)};
    SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(to, to), reinterpret_cast<LPARAM>(&suggested));
}

}  // namespace

// The windows of the console with sample contents, checked at the process's
// DPI and again after a move to the next DPI of the list. Prints "dpi N",
// then one line per problem; exits with 1 when there is any.
int CheckDisplayScale() {
    const int dpi = WindowDpi(nullptr);
    std::printf("dpi %d\n", dpi);
    TempDir dir("fit");
    const std::string users = dir / "users\\", logs = dir / "logs\\";
    CreateDirectoryA(users.c_str(), nullptr);
    CreateDirectoryA(logs.c_str(), nullptr);
    WriteAll(dir / "qv_config.ini", "[PHP]\r\nUSERS_FOLDER=" + users + "\r\n[OPTIONS]\r\nFILE_WITH_TIME=" +
                                        (dir / "time.txt") + "\r\n[LOG]\r\nLOG_PATH=" + logs +
                                        "\r\n[GUI]\r\nDISABLE_CHECK_WORK_TIME=1\r\n");
    WriteAll(users + "current.user",
             "ivan_petrov\r\nqwerty12\r\n45\r\nИван\r\nПетров\r\n19\r\nМГУ\r\n5551234\r\nivan@example.org\r\n123456\r\n");
    WriteAll(dir / "time.txt", "2700\r\n");
    WriteAll(logs + TodayShortDate() + "_log.txt",
             "[" + TodayShortDate() + "] : [03:41:34] - dialgate.dll версии 1.0.0: модуль учета дозвона запускается\r\n");

    const HINSTANCE instance = GetModuleHandleW(nullptr);
    TForm1* main = TForm1::Create(instance, dir.Path());
    if (!main) return 2;
    main->Form2 = TForm2::Create(instance);
    main->Form3 = TForm3::Create(instance, [&] { return dir / "qv_config.ini"; });
    main->Form4 = TForm4::Create(instance);
    TForm5* report = TForm5::Create(instance, main->Handle());
    if (!main->Form2 || !main->Form3 || !main->Form4 || !report) return 2;
    ShowWindow(main->Handle(), SW_SHOWNOACTIVATE);
    report->Show(logs, WorkingHours{true, 23, 7});
    PumpUntil([&] { return report->Loaded(); });
    // The user information as its command fills it; every dialog shown, as it lays out for showing.
    PostMessageW(main->Form2->Handle(), WM_CLOSE, 0, 0);
    main->Form2->ShowModal(nullptr, users);
    const struct {
        const char* name;
        HWND window;
    } windows[] = {{"main window", main->Handle()},     {"settings", main->Form3->Handle()},
                   {"user information", main->Form2->Handle()}, {"About", main->Form4->Handle()},
                   {"report", report->Handle()}};

    std::vector<std::string> problems;
    const int next = dpi == kDpis[3] ? kDpis[0] : *(std::find(std::begin(kDpis), std::end(kDpis), dpi) + 1);
    for (const auto& w : windows) FitCheck(w.name, dpi, problems).Check(w.window);
    for (const auto& w : windows) {
        MoveToDpi(w.window, dpi, next);
        FitCheck(w.name, next, problems).Check(w.window);
    }
    for (const std::string& p : problems) std::printf("%s\n", p.c_str());
    std::fflush(stdout);
    DestroyWindow(report->Handle());
    DestroyWindow(main->Handle());
    return problems.empty() ? 0 : 1;
}
