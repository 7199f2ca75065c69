// Every window of the console at 96, 120, 144 and 192 DPI: each control's
// text fits the control in the control's own font, that font is made for the
// window's DPI, and no control leaves its window or lies over another. Wine
// reads the DPI (LogPixels) when a process starts, so the test sets it and
// starts this program again in `--fit` mode, which makes the windows and
// checks them; then each window is told it moved to a monitor of the next
// DPI (WM_DPICHANGED) and is checked again there.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

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

void SetLogPixels(DWORD dpi) {
    RegSetKeyValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels", REG_DWORD, &dpi, sizeof dpi);
}

class DisplayScale : public ::testing::TestWithParam<int> {};

TEST_P(DisplayScale, EveryTextFitsItsControlAndNoControlLeavesItsWindow) {
    SetLogPixels(GetParam());
    const ToolRun run = RunCaptured("console_dialogs_tests.exe", "--fit", 120000);
    SetLogPixels(96);
    EXPECT_EQ(run.out.substr(0, run.out.find_first_of("\r\n")), "dpi " + std::to_string(GetParam())) << run.out;
    EXPECT_EQ(run.code, 0) << run.out;
}

INSTANTIATE_TEST_SUITE_P(LogPixels, DisplayScale, ::testing::ValuesIn(kDpis));

// --- The checks, inside the program that made the windows -------------------

std::wstring ClassOf(HWND h) {
    wchar_t name[64] = L"";
    GetClassNameW(h, name, 64);
    return name;
}

bool Visible(HWND h) { return (GetWindowLongW(h, GWL_STYLE) & WS_VISIBLE) != 0; }

// The arrows sit on their field, and the tabs' sheets on the tab strip, by design.
bool Layered(HWND h) {
    const std::wstring c = ClassOf(h);
    return c == L"msctls_updown32" || c == L"SysTabControl32" || c == L"TTabSheet";
}

// What one window's controls lack, a line each.
struct FitCheck {
    const char* window;
    int dpi;
    std::vector<std::string>& problems;

    void Problem(HWND h, const std::string& what) {
        const std::string text = ui::ToUtf8(ui::WindowText(h).substr(0, 40));
        problems.push_back(std::string(window) + " at " + std::to_string(dpi) + " DPI, \"" + text + "\": " + what);
    }

    static BOOL CALLBACK Visit(HWND h, LPARAM self) {
        // A hidden control shows nothing (the tab strip's own arrows while its tabs fit).
        if (Visible(h)) reinterpret_cast<FitCheck*>(self)->Control(h);
        return TRUE;
    }

    void Control(HWND h) {
        RECT r, parent, both;
        GetWindowRect(h, &r);
        GetClientRect(GetParent(h), &parent);
        MapWindowPoints(GetParent(h), nullptr, reinterpret_cast<POINT*>(&parent), 2);
        if (!IntersectRect(&both, &r, &parent) || !EqualRect(&both, &r))
            Problem(h, "leaves its window");
        for (HWND next = GetWindow(h, GW_HWNDNEXT); next && !Layered(h); next = GetWindow(next, GW_HWNDNEXT)) {
            RECT other;
            GetWindowRect(next, &other);
            if (Visible(next) && !Layered(next) && IntersectRect(&both, &r, &other))
                Problem(h, "lies over control " + std::to_string(GetDlgCtrlID(next)));
        }
        const std::wstring cls = ClassOf(h);
        if (cls == L"ToolbarWindow32") {
            // The pictures drawn for the scale: 16 pixels at 100 %, 24 at 150 %.
            int width = 0, height = 0;
            const auto pictures = reinterpret_cast<HIMAGELIST>(SendMessageW(h, TB_GETIMAGELIST, 0, 0));
            ImageList_GetIconSize(pictures, &width, &height);
            if (width != Scaled(16, dpi)) Problem(h, "pictures of " + std::to_string(width) + " pixels");
            return;
        }
        if (cls != L"Static" && cls != L"Button" && cls != L"Edit" && cls != L"msctls_statusbar32") return;
        const HFONT font = reinterpret_cast<HFONT>(SendMessageW(h, WM_GETFONT, 0, 0));
        LOGFONTW lf{};
        if (!font || !GetObjectW(font, sizeof lf, &lf) || lf.lfHeight != -MulDiv(8, dpi, 72))
            return Problem(h, "has no font of this scale");
        WindowDc windowDc(h);
        const HDC dc = windowDc.get();
        SelectedObject selected(dc, font);
        TEXTMETRICW metrics{};
        GetTextMetricsW(dc, &metrics);
        RECT room;
        GetClientRect(h, &room);
        auto width = [&](const std::wstring& text) {
            SIZE size{};
            GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
            return static_cast<int>(size.cx);
        };
        const std::wstring text = ui::WindowText(h);
        const LONG style = GetWindowLongW(h, GWL_STYLE);
        auto need = [&](int w, int h2) {
            if (w > room.right || h2 > room.bottom) Problem(h, "needs " + std::to_string(w) + "x" + std::to_string(h2));
        };
        if (cls == L"msctls_statusbar32") {
            // Each part holds a fixed text of the design, with a margin on either side.
            const int parts = static_cast<int>(SendMessageW(h, SB_GETPARTS, 0, 0));
            for (int i = 0; i < parts; ++i) {
                wchar_t part[128] = L"";
                SendMessageW(h, SB_GETTEXTW, i, reinterpret_cast<LPARAM>(part));
                RECT p{};
                SendMessageW(h, SB_GETRECT, i, reinterpret_cast<LPARAM>(&p));
                if (!*part || width(part) + 2 * Scaled(3, dpi) > p.right - p.left)
                    Problem(h, "part " + std::to_string(i) + " \"" + ui::ToUtf8(part) + "\" is cut or empty");
            }
        } else if (cls == L"Edit") {
            if (!(style & ES_MULTILINE)) need(0, metrics.tmHeight);
        } else if (cls == L"Button") {
            const LONG type = style & BS_TYPEMASK;
            const bool box = type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_AUTORADIOBUTTON;
            need(width(text) + (box ? MetricForDpi(SM_CXMENUCHECK, dpi) + Scaled(3, dpi) : Scaled(6, dpi)),
                 metrics.tmHeight);
        } else if ((style & SS_TYPEMASK) <= SS_RIGHT) {  // SS_LEFT, SS_CENTER, SS_RIGHT wrap
            RECT wrapped{0, 0, room.right, 0};
            DrawTextW(dc, text.c_str(), -1, &wrapped, DT_CALCRECT | DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX);
            need(wrapped.right, wrapped.bottom);
        } else if ((style & SS_TYPEMASK) == SS_LEFTNOWORDWRAP) {
            need(width(text), metrics.tmHeight);
        }
    }
};

}  // namespace

// The console's windows with sample contents, checked at the process's DPI and after a move to
// the next one. Prints "dpi N", then a line per problem; exits with 1 when there is any.
int CheckDisplayScale() {
    const int dpi = WindowDpi(nullptr);
    std::printf("dpi %d\n", dpi);
    TempDir dir("fit");
    const std::string users = dir / "users\\", logs = dir / "logs\\";
    for (const std::string& folder : {users, logs}) CreateDirectoryA(folder.c_str(), nullptr);
    WriteAll(dir / "qv_config.ini", "[PHP]\r\nUSERS_FOLDER=" + users + "\r\n[OPTIONS]\r\nFILE_WITH_TIME=" + (dir / "t") +
                                        "\r\n[LOG]\r\nLOG_PATH=" + logs + "\r\n[GUI]\r\nDISABLE_CHECK_WORK_TIME=1\r\n");
    WriteAll(users + "current.user", "ivan_petrov\r\nqwerty12\r\n45\r\nИван\r\nПетров\r\n19\r\nМГУ\r\n5551234\r\n"
                                     "ivan@example.org\r\n1\r\n");
    WriteAll(dir / "t", "2700\r\n");
    WriteAll(logs + TodayShortDate() + "_log.txt",
             "[" + TodayShortDate() + "] : [03:41:34] - dialgate.dll версии 1.0.0: модуль учета дозвона запускается\r\n");

    const HINSTANCE instance = GetModuleHandleW(nullptr);
    TForm1* main = TForm1::Create(instance, dir.Path());
    TForm2* user = TForm2::Create(instance);
    TForm3* settings = TForm3::Create(instance, [&] { return dir / "qv_config.ini"; });
    TForm4* about = TForm4::Create(instance);
    TForm5* report = TForm5::Create(instance, main ? main->Handle() : nullptr);
    if (!main || !user || !settings || !about || !report) return 2;
    ShowWindow(main->Handle(), SW_SHOWNOACTIVATE);
    report->Show(logs, WorkingHours{true, 23, 7});
    WaitFor([&] {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        return report->Loaded();
    }, 10000);
    PostMessageW(user->Handle(), WM_CLOSE, 0, 0);
    user->ShowModal(nullptr, users);
    const std::pair<const char*, HWND> windows[] = {{"main window", main->Handle()}, {"settings", settings->Handle()},
                                                    {"user information", user->Handle()}, {"About", about->Handle()},
                                                    {"report", report->Handle()}};
    std::vector<std::string> problems;
    const int next = dpi == kDpis[3] ? kDpis[0] : *(std::find(std::begin(kDpis), std::end(kDpis), dpi) + 1);
    for (const auto& [name, window] : windows) {
        FitCheck check{name, dpi, problems};
        EnumChildWindows(window, FitCheck::Visit, reinterpret_cast<LPARAM>(&check));
        // As if dragged to a monitor of the next DPI: the system's suggestion keeps the corner, scales the size.
        RECT r;
        GetWindowRect(window, &r);
        RECT to{r.left, r.top, r.left + MulDiv(r.right - r.left, next, dpi),
                r.top + MulDiv(r.bottom - r.top, next, dpi)};
        SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(next, next), reinterpret_cast<LPARAM>(&to));
        FitCheck moved{name, next, problems};
        EnumChildWindows(window, FitCheck::Visit, reinterpret_cast<LPARAM>(&moved));
    }
    for (const std::string& p : problems) std::printf("%s\n", p.c_str());
    std::fflush(stdout);
    return problems.empty() ? 0 : 1;
}
