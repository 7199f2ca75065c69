#include "Unit1.h"

#include "About.h"
#include "Addinfo.h"
#include "LogViewControl.h"
#include "Options.h"
#include "Report.h"
#include "logic/MenuKeys.h"
#include "logic/Notices.h"
#include "logic/OptionsLogic.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>

#include "DialogFrame.h"
#include "Dpi.h"
#include "FormWindow.h"
#include "Ids.h"
#include "IniFormat.h"
#include "LogFormat.h"
#include "Profile.h"
#include "Services.h"
#include "ConsoleTexts.h"
#include "UserFilesFormat.h"
#include "Win32Files.h"
#include "Win32Handles.h"
#include "Win32Ui.h"

namespace {

const char kRasService[] = "RemoteAccess";
const char kWebService[] = "Apache2";
// The FTP line always shows this service; FTP_SERVICE_NAME is the plug-in's.
const char kFtpService[] = "bpftpserver";

constexpr UINT_PTR kTimer1 = 1;
constexpr UINT_PTR kTimer2 = 2;
constexpr UINT kTimerMs = 1000;
constexpr UINT kTrayIconId = 1;

// Pixels of the layout at 100 %, on the Windows metrics the window was
// designed for; at another scale each is that many times larger.
constexpr int kWidth = 717;
constexpr int kHeight = 492;
constexpr int kToolBarHeight = 29;
constexpr int kButtonWidth = 26;
constexpr int kButtonHeight = 22;
constexpr int kPanelWidth = 212;
constexpr int kFieldLeft = 6;
constexpr int kFieldWidth = 200;
constexpr int kFieldHeight = 17;
constexpr int kPluginStateTop = 228;
constexpr int kHeadingTop = 6;
constexpr int kHeadingHeight = 16;
// The status bar's two panels.
constexpr int kLoginPanelWidth = 200;
constexpr int kLimitPanelWidth = 50;
// A line of the current-user file longer than this is cut for the fields.
constexpr size_t kUserLineBytes = 4096;

// The tray icon as the shell knows it: this window's icon number 1.
NOTIFYICONDATAW TrayIconData(HWND hwnd, HICON icon) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = hwnd;
    data.uID = kTrayIconId;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = kTrayMessage;
    data.hIcon = icon;
    lstrcpynW(data.szTip, text::kAppName, sizeof data.szTip / sizeof data.szTip[0]);
    return data;
}

const wchar_t* HintFor(UINT_PTR id) {
    switch (id) {
        case ids::ToolButton2: return text::kHintWatchOff;
        case ids::ToolButton1: return text::kHintRasStart;
        case ids::ToolButton3: return text::kHintRasStop;
        case ids::ToolButton6: return text::kHintSettings;
        case ids::ToolButton4: return text::kHintUserInfo;
        case ids::ToolButton5: return text::kHintHelp;
        default: return nullptr;
    }
}

HMENU BuildMainMenu() {
    HMENU options = CreatePopupMenu();
    AppendMenuW(options, MF_STRING, ids::N6, text::kMenuSettings);
    AppendMenuW(options, MF_STRING, ids::N7, text::kMenuUserInfo);
    AppendMenuW(options, MF_STRING, ids::NNotices, text::kMenuNotices);
    AppendMenuW(options, MF_STRING, ids::N16, text::kMenuExit);

    HMENU ras = CreatePopupMenu();
    AppendMenuW(ras, MF_STRING, ids::N13, text::kMenuStart);
    AppendMenuW(ras, MF_STRING, ids::N14, text::kMenuStop);
    HMENU web = CreatePopupMenu();
    AppendMenuW(web, MF_STRING, ids::N9, text::kMenuStart);
    AppendMenuW(web, MF_STRING, ids::N10, text::kMenuStop);
    HMENU ftp = CreatePopupMenu();
    AppendMenuW(ftp, MF_STRING, ids::NFtpStart, text::kMenuStart);
    AppendMenuW(ftp, MF_STRING, ids::NFtpStop, text::kMenuStop);
    HMENU more = CreatePopupMenu();
    AppendMenuW(more, MF_POPUP, reinterpret_cast<UINT_PTR>(ras), text::kMenuRas);
    AppendMenuW(more, MF_POPUP, reinterpret_cast<UINT_PTR>(web), text::kMenuWeb);
    AppendMenuW(more, MF_POPUP | MF_GRAYED, reinterpret_cast<UINT_PTR>(ftp), text::kMenuFtp);
    AppendMenuW(more, MF_STRING, ids::N19, text::kMenuReport);

    HMENU help = CreatePopupMenu();
    AppendMenuW(help, MF_STRING, ids::N18, text::kMenuHelpFile);
    AppendMenuW(help, MF_STRING, ids::N17, text::kMenuAbout);

    HMENU bar = CreateMenu();
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(options), text::kMenuOptions);
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(more), text::kMenuMore);
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(help), text::kMenuHelp);
    return bar;
}

// Whether the balloons are on: the operator's own choice, kept per user
// rather than in qv_config.ini, which the plug-in and every operator share.
const wchar_t kSettingsKey[] = L"Software\\dialgate\\portwatch";
const wchar_t kNoticesValue[] = L"Notifications";

bool ReadNoticesOn() {
    DWORD on = 1, size = sizeof on;
    RegKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_QUERY_VALUE, key.Out()) != ERROR_SUCCESS) return true;
    if (RegQueryValueExW(key.Get(), kNoticesValue, nullptr, nullptr, reinterpret_cast<BYTE*>(&on), &size) != ERROR_SUCCESS)
        return true;
    return on != 0;
}

void WriteNoticesOn(bool on) {
    RegKey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.Out(), nullptr) !=
        ERROR_SUCCESS)
        return;
    const DWORD value = on ? 1 : 0;
    RegSetValueExW(key.Get(), kNoticesValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

// The commands' accelerator keys. The design fixes the menus' texts, which
// carry no "&" mnemonics: the keys are shown after the texts, as menus show
// accelerators, and a typed letter chooses an item by its first letter
// (WM_MENUCHAR). The log view's own keys (Ctrl+A, Ctrl+C, Ctrl+F, F3) are left to it.
struct Shortcut {
    int command;
    BYTE modifiers;  // FCONTROL, FSHIFT
    WORD key;
    const wchar_t* name;
};
constexpr Shortcut kShortcuts[] = {
    {ids::N6, FCONTROL, 'O', L"Ctrl+O"},           {ids::N7, FCONTROL, 'I', L"Ctrl+I"},
    {ids::N16, FCONTROL, 'Q', L"Ctrl+Q"},          {ids::N13, FCONTROL, 'R', L"Ctrl+R"},
    {ids::N14, FCONTROL | FSHIFT, 'R', L"Ctrl+Shift+R"}, {ids::N9, FCONTROL, 'W', L"Ctrl+W"},
    {ids::N10, FCONTROL | FSHIFT, 'W', L"Ctrl+Shift+W"}, {ids::N19, FCONTROL, 'D', L"Ctrl+D"},
    {ids::N18, 0, VK_F1, L"F1"},                   {ids::N17, FCONTROL, VK_F1, L"Ctrl+F1"},
    {ids::N1, FCONTROL, 'L', L"Ctrl+L"},           {ids::ToolButton2, FCONTROL, 'T', L"Ctrl+T"},
    {ids::NNotices, FCONTROL, 'U', L"Ctrl+U"},
};

// The tray menu's items that do what a main menu item does, by its key.
int MainCommandOf(int id) {
    switch (id) {
        case ids::N3: return ids::N17;
        case ids::N4: return ids::N18;
        case ids::N5: return ids::N19;
        case ids::N2: return ids::N16;
        default: return id;
    }
}

// Puts each command's key after its text, in the menu and its submenus.
void ShowShortcuts(HMENU menu) {
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        if (HMENU sub = GetSubMenu(menu, i)) {
            ShowShortcuts(sub);
            continue;
        }
        const int command = MainCommandOf(static_cast<int>(GetMenuItemID(menu, i)));
        for (const Shortcut& s : kShortcuts) {
            if (s.command != command) continue;
            wchar_t text[128] = L"";
            GetMenuStringW(menu, static_cast<UINT>(i), text, 128, MF_BYPOSITION);
            std::wstring shown = std::wstring(text) + L"\t" + s.name;
            MENUITEMINFOW info{};
            info.cbSize = sizeof info;
            info.fMask = MIIM_STRING;
            info.dwTypeData = &shown[0];
            SetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info);
        }
    }
}

HACCEL MakeAccelerators() {
    std::vector<ACCEL> keys;
    for (const Shortcut& s : kShortcuts)
        keys.push_back(ACCEL{static_cast<BYTE>(FVIRTKEY | s.modifiers), s.key, static_cast<WORD>(s.command)});
    return CreateAcceleratorTableW(keys.data(), static_cast<int>(keys.size()));
}

// The item of `menu` a typed letter chooses, for WM_MENUCHAR.
LRESULT MenuLetter(HMENU menu, wchar_t letter) {
    std::vector<std::wstring> texts;
    int current = -1;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        MENUITEMINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_STATE | MIIM_FTYPE;
        GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info);
        if (info.fState & MFS_HILITE) current = i;
        wchar_t text[128] = L"";
        if (!(info.fType & MFT_SEPARATOR) && !(info.fState & MFS_DISABLED))
            GetMenuStringW(menu, static_cast<UINT>(i), text, 128, MF_BYPOSITION);
        texts.push_back(text);
    }
    const MenuLetterChoice choice = ItemForLetter(texts, letter, current);
    if (choice.item < 0) return MAKELRESULT(0, MNC_IGNORE);
    return MAKELRESULT(choice.item, choice.only ? MNC_EXECUTE : MNC_SELECT);
}

// PopupMenu1 is a submenu, as TrackPopupMenu needs.
HMENU BuildPopupMenu() {
    HMENU items = CreatePopupMenu();
    AppendMenuW(items, MF_STRING, ids::N1, text::kTrayClearLog);
    AppendMenuW(items, MF_STRING, ids::N3, text::kTrayAbout);
    AppendMenuW(items, MF_STRING, ids::N4, text::kTrayHelp);
    AppendMenuW(items, MF_STRING, ids::N5, text::kMenuReport);
    AppendMenuW(items, MF_STRING, ids::NNotices, text::kMenuNotices);
    AppendMenuW(items, MF_STRING, ids::N2, text::kTrayExit);
    HMENU holder = CreatePopupMenu();
    AppendMenuW(holder, MF_POPUP, reinterpret_cast<UINT_PTR>(items), L"");
    return holder;
}

// The panel leaves its fields' colours to the window.
LRESULT CALLBACK PanelProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_CTLCOLORSTATIC) return SendMessageW(GetParent(hwnd), msg, wParam, lParam);
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

const wchar_t kPanelClass[] = L"TPanel";

}  // namespace

TForm1::TForm1(const std::string& configFolder, ConsoleSeams seams)
    : configFolder_(configFolder),
      notifyIcon_(seams.notifyIcon ? std::move(seams.notifyIcon) : Shell_NotifyIconW),
      pluginEvents_(seams.pluginEvents ? std::move(seams.pluginEvents) : ApplicationLogEvents()) {}

TForm1* TForm1::Create(HINSTANCE instance, const std::string& configFolder, ConsoleSeams seams) {
    RegisterFormClass(instance, kMainWindowClass, FormWndProc<TForm1>);
    RegisterFormClass(instance, kPanelClass, PanelProc);
    // Not shown: only the tray icon is visible after start-up.
    // Sized for the screen's scale; FormCreate corrects it for the monitor the window is on.
    const int dpi = WindowDpi(nullptr);
    HMENU menu = BuildMainMenu();
    ShowShortcuts(menu);
    return CreateFormWindow(std::unique_ptr<TForm1>(new TForm1(configFolder, std::move(seams))), 0,
                            kMainWindowClass, text::kTitle,
                            WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, Scaled(kWidth, dpi),
                            Scaled(kHeight, dpi), nullptr, menu, instance);
}

LRESULT TForm1::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (taskbarCreated_ != 0 && msg == taskbarCreated_) {
        // Explorer restarted: its new task bar knows no icons yet.
        trayIconShown_ = false;
        AddTrayIcon();
        return 0;
    }
    switch (msg) {
        case WM_CREATE: FormCreate(); return 0;
        case WM_SIZE:
            LayoutControls();
            return 0;
        case WM_DPICHANGED:
            // Moved to a monitor of another scale: fonts and pictures first,
            // then the new size lays the controls out.
            ApplyDpi(DpiOfChange(wParam));
            MoveToSuggestedRect(hwnd_, lParam);
            LayoutControls();
            return 0;
        case WM_TIMER:
            if (wParam == kTimer1) Timer1Timer();
            if (wParam == kTimer2) Timer2Timer();
            return 0;
        case WM_COMMAND: OnCommand(LOWORD(wParam), lParam != 0); return 0;
        case WM_CTLCOLORSTATIC:
            // A problem of the plug-in in red, where the operator's eye goes.
            if (pluginProblem_ && GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) == ids::PluginState) {
                HDC dc = reinterpret_cast<HDC>(wParam);
                SetTextColor(dc, RGB(192, 0, 0));
                SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
                return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
            }
            break;
        case WM_MENUCHAR: return MenuLetter(reinterpret_cast<HMENU>(lParam), static_cast<wchar_t>(LOWORD(wParam)));
        case WM_NOTIFY: {
            auto* header = reinterpret_cast<NMHDR*>(lParam);
            if (header->code == TTN_GETDISPINFOW) {
                auto* info = reinterpret_cast<NMTTDISPINFOW*>(lParam);
                if (const wchar_t* hint = HintFor(header->idFrom)) info->lpszText = const_cast<wchar_t*>(hint);
            }
            return 0;
        }
        case WM_SETFOCUS:
            // The keys go to the log view: selection, copying, the search.
            if (logView_) SetFocus(logView_->Handle());
            return 0;
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0) == SC_MINIMIZE) {
                // Minimised to the tray: no task bar button, only the icon.
                ShowWindow(hwnd_, SW_MINIMIZE);
                ShowWindow(hwnd_, SW_HIDE);
                return 0;
            }
            break;
        case kTrayMessage: OnTrayMessage(static_cast<UINT>(LOWORD(lParam))); return 0;
        case WM_CLOSE: FormClose(); return 0;
        case WM_DESTROY: FormDestroy(); return 0;
    }
    return DefWindowProcW(hwnd_, msg, wParam, lParam);
}

void TForm1::FormCreate() {
    taskbarCreated_ = RegisterWindowMessageW(L"TaskbarCreated");
    // The console runs elevated, and the shell's broadcast comes from a lower
    // integrity level, which drops it unless this window lets it in.
    AllowMessageFromLowerIntegrity(hwnd_, taskbarCreated_);
    WatchTickCounter = 1;
    const int made = WindowDpi(nullptr);
    CreateControls();
    if (dpi_ != made) {
        // On a monitor of another scale than the screen's it was sized for.
        SetWindowPos(hwnd_, nullptr, 0, 0, Scaled(kWidth, dpi_), Scaled(kHeight, dpi_),
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    ReadConfiguration();
    SendMessageW(toolBar_, TB_CHECKBUTTON, ids::ToolButton2, MAKELONG(WorkTimeCheckDisabled, 0));
    noticesOn_ = ReadNoticesOn();
    CheckMenuItem(GetMenu(hwnd_), ids::NNotices, noticesOn_ ? MF_CHECKED : MF_UNCHECKED);
    CheckMenuItem(popupMenu_.get(), ids::NNotices, noticesOn_ ? MF_CHECKED : MF_UNCHECKED);
    AddTrayIcon();
    // Window timers: their messages are dispatched by every message loop,
    // also those of menus, message boxes and modal dialogs.
    SetTimer(hwnd_, kTimer1, kTimerMs, nullptr);
    SetTimer(hwnd_, kTimer2, kTimerMs, nullptr);
    // Every field filled and the working hours enforced before the first
    // tick; the log view only begins its reading here, which goes on in steps.
    Timer1Timer();
    Timer2Timer();
}

void TForm1::CreateControls() {
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(hwnd_, GWLP_HINSTANCE));
    // Placed and given their fonts by ApplyDpi.
    auto child = [&](DWORD exStyle, const wchar_t* cls, const wchar_t* caption, DWORD style, HWND parent, int id) {
        return CreateWindowExW(exStyle, cls, caption, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, parent,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    };

    toolBar_ = child(0, TOOLBARCLASSNAMEW, nullptr,
                     TBSTYLE_FLAT | TBSTYLE_TOOLTIPS | CCS_NORESIZE | CCS_NODIVIDER | CCS_NOPARENTALIGN, hwnd_,
                     ids::ToolBar1);
    SendMessageW(toolBar_, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    TBBUTTON buttons[] = {
        {5, ids::ToolButton2, TBSTATE_ENABLED, BTNS_CHECK, {}, 0, 0},
        {1, ids::ToolButton1, TBSTATE_ENABLED, BTNS_BUTTON, {}, 0, 0},
        {2, ids::ToolButton3, TBSTATE_ENABLED, BTNS_BUTTON, {}, 0, 0},
        {6, ids::ToolButton6, TBSTATE_ENABLED, BTNS_BUTTON, {}, 0, 0},
        {3, ids::ToolButton4, TBSTATE_ENABLED, BTNS_BUTTON, {}, 0, 0},
        {4, ids::ToolButton5, TBSTATE_ENABLED, BTNS_BUTTON, {}, 0, 0},
    };
    SendMessageW(toolBar_, TB_ADDBUTTONSW, sizeof buttons / sizeof buttons[0], reinterpret_cast<LPARAM>(buttons));

    logView_ = TLogView::Create(hwnd_, ids::Memo1);

    panel_ = child(0, kPanelClass, L"", 0, hwnd_, ids::Panel2);
    child(0, L"STATIC", text::kStateHeading, SS_CENTER, panel_, ids::Label2);
    const std::pair<int, std::wstring> fields[] = {
        {ids::RAS, L""},
        {ids::FTP, L""},
        {ids::StaticText1, FromCp1251(text::kNick)},
        {ids::StaticText2, FromCp1251(text::kPassword)},
        {ids::TLIMIT, FromCp1251(text::kLimit)},
        {ids::WorkTime, L""},
        {ids::Label1, L""},
    };
    for (const auto& f : fields) child(0, L"STATIC", f.second.c_str(), SS_SUNKEN | SS_LEFTNOWORDWRAP | SS_NOPREFIX, panel_, f.first);
    // Several lines, wrapped: what to check comes with a problem.
    child(0, L"STATIC", L"", SS_SUNKEN | SS_LEFT | SS_NOPREFIX, panel_, ids::PluginState);

    statusBar_ = child(0, STATUSCLASSNAMEW, nullptr, 0, hwnd_, ids::StatusBar1);

    popupMenu_.reset(BuildPopupMenu());
    ShowShortcuts(popupMenu_.get());
    accelerators_.reset(MakeAccelerators());
    // The tray shows small icons of the screen's scale.
    trayIcon_ = MakePictureIcon(kTrayPicture, PictureSizeFor(GetSystemMetrics(SM_CXSMICON)));
    ApplyDpi(WindowDpi(hwnd_));
}

void TForm1::ApplyDpi(int dpi) {
    dpi_ = dpi;
    font_ = MakeConsoleFont(FW_NORMAL, dpi);
    boldFont_ = MakeConsoleFont(FW_BOLD, dpi);
    SetFontOfChildren(hwnd_, font_.get());
    SendMessageW(GetDlgItem(panel_, ids::Label2), WM_SETFONT, reinterpret_cast<WPARAM>(boldFont_.get()), FALSE);

    // ImageList1 drawn for this scale.
    const int size = PictureSizeFor(Scaled(kPictureSize, dpi));
    ImageListPtr pictures(ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, 7, 0));
    for (const PictureGrid& grid : kToolPictures) {
        PictureBitmaps bitmaps = MakePictureBitmaps(grid, size);
        ImageList_Add(pictures.get(), bitmaps.colour.get(), bitmaps.mask.get());
    }
    SendMessageW(toolBar_, TB_SETBITMAPSIZE, 0, MAKELONG(size, size));
    SendMessageW(toolBar_, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(pictures.get()));
    imageList1_ = std::move(pictures);
    SendMessageW(toolBar_, TB_SETBUTTONSIZE, 0, MAKELONG(Scaled(kButtonWidth, dpi), Scaled(kButtonHeight, dpi)));

    // The status bar's panels hold their fixed texts whole: the design's 50
    // pixels cut "ВРЕМЕННОЙ ЛИМИТ: " short.
    const int margin = Scaled(12, dpi);
    int parts[2];
    parts[0] = std::max(Scaled(kLoginPanelWidth, dpi), TextWidth(statusBar_, font_.get(), text::kStatusLogin) + margin);
    parts[1] = parts[0] +
               std::max(Scaled(kLimitPanelWidth, dpi), TextWidth(statusBar_, font_.get(), text::kStatusLimit) + margin);
    SendMessageW(statusBar_, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));
    // A part has its text only once it exists.
    SendMessageW(statusBar_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(text::kStatusLogin));
    SendMessageW(statusBar_, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(text::kStatusLimit));
    LayoutControls();
}

// The fields' width: the design's 200 pixels, or more where one of the texts
// the console itself puts into them (a service's state words, the working
// time, the countdown) would not fit in the font of this scale.
int TForm1::FieldWidth() const {
    std::vector<std::wstring> texts{FromCp1251(text::kUsersOff), FromCp1251(text::kWorkTime),
                                    FromCp1251(text::kNotWorkTime),
                                    FromCp1251(std::string(text::kCountdown) + "000000000")};
    std::vector<const char*> states(std::begin(text::kServiceStates), std::end(text::kServiceStates));
    states.push_back(text::kServiceNotInstalled);
    for (const char* state : states) {
        texts.push_back(FromCp1251(std::string(text::kRasLine) + state));
        texts.push_back(FromCp1251(std::string(text::kFtpLine) + state));
    }
    int widest = TextWidth(panel_, boldFont_.get(), text::kStateHeading);
    for (const std::wstring& t : texts) widest = std::max(widest, TextWidth(panel_, font_.get(), t));
    // The sunken edge on either side and a little air.
    return std::max(Scaled(kFieldWidth, dpi_), widest + 2 + Scaled(4, dpi_));
}

void TForm1::LayoutControls() {
    if (!panel_) return;
    RECT client;
    GetClientRect(hwnd_, &client);
    SendMessageW(statusBar_, WM_SIZE, 0, 0);
    RECT status;
    GetWindowRect(statusBar_, &status);
    const int statusHeight = status.bottom - status.top;
    const int width = client.right;
    const int toolBarHeight = Scaled(kToolBarHeight, dpi_);
    const int middle = std::max(0, static_cast<int>(client.bottom) - toolBarHeight - statusHeight);
    const int fieldLeft = Scaled(kFieldLeft, dpi_);
    const int fieldWidth = FieldWidth();
    const int panelWidth = std::min(width, std::max(Scaled(kPanelWidth, dpi_), fieldWidth + 2 * fieldLeft));
    MoveWindow(toolBar_, 0, 0, width, toolBarHeight, TRUE);
    MoveWindow(panel_, width - panelWidth, toolBarHeight, panelWidth, middle, TRUE);
    if (logView_) MoveWindow(logView_->Handle(), 0, toolBarHeight, width - panelWidth, middle, TRUE);

    PlaceControl(GetDlgItem(panel_, ids::Label2), 0, Scaled(kHeadingTop, dpi_), panelWidth,
                 std::max(Scaled(kHeadingHeight, dpi_), FontHeight(panel_, boldFont_.get())));
    const std::pair<int, int> fields[] = {
        {ids::RAS, 28}, {ids::FTP, 52}, {ids::StaticText1, 76}, {ids::StaticText2, 100},
        {ids::TLIMIT, 124}, {ids::WorkTime, 180}, {ids::Label1, 204},
    };
    const int fieldHeight = std::max(Scaled(kFieldHeight, dpi_), FontHeight(panel_, font_.get()) + 2);
    for (const auto& f : fields)
        PlaceControl(GetDlgItem(panel_, f.first), fieldLeft, Scaled(f.second, dpi_), fieldWidth, fieldHeight);
    // The plug-in's state takes the panel's room below the design's fields.
    const int stateTop = Scaled(kPluginStateTop, dpi_);
    PlaceControl(GetDlgItem(panel_, ids::PluginState), fieldLeft, stateTop, fieldWidth,
                 std::max(fieldHeight, middle - stateTop - fieldLeft));
}

std::string TForm1::ConfigPath() const { return configFolder_ + "qv_config.ini"; }

void TForm1::ReadConfiguration() {
    const std::string file = ConfigPath();
    constexpr ConfigReader reader = ConfigReader::MainWindow;
    UsersFolder = ReadConfigText(file, config_key::kUsersFolder, reader);
    TimeFilePath = ReadConfigText(file, config_key::kFileWithTime, reader);
    LogFolder = ReadConfigText(file, config_key::kLogPath, reader);
    WorkTimeCheckDisabled = ReadConfigBool(file, config_key::kDisableCheckWorkTime, reader);
    TimeBegin = ReadConfigInt(file, config_key::kTimeBegin, reader);
    TimeEnd = ReadConfigInt(file, config_key::kTimeEnd, reader);
}

void TForm1::AddTrayIcon() {
    NOTIFYICONDATAW data = TrayIconData(hwnd_, trayIcon_.get());
    trayIconShown_ = notifyIcon_(NIM_ADD, &data) != FALSE;
}

// --- Monitoring -----------------------------------------------------------

void TForm1::Timer1Timer() {
    RefreshCountdown();
    RefreshLogView();
    RefreshCurrentUser();
    // A tray that was not up yet at start-up, or a shell that lost the icon
    // without a "TaskbarCreated" reaching us, gets it back at the next tick.
    NOTIFYICONDATAW tray = TrayIconData(hwnd_, trayIcon_.get());
    trayIconShown_ = notifyIcon_(NIM_MODIFY, &tray) || notifyIcon_(NIM_ADD, &tray);
}

void TForm1::RefreshCountdown() {
    std::string bytes;
    FileRead state = FileRead::Missing;
    if (FileExists(TimeFilePath))
        state = ReadFileStart(TimeFilePath, kTimeFileHeadBytes, bytes) ? FileRead::Read : FileRead::Unreadable;
    SetText(ids::Label1, CountdownText(state, bytes));
}

// Today's file by the same rule as the plug-in names it; the name changes at midnight.
void TForm1::RefreshLogView() {
    TodayLogPath = LogFileName(LogFolder, TodayShortDateText());
    if (logView_) logView_->Refresh(TodayLogPath);
}

void TForm1::RefreshCurrentUser() {
    const std::string path = CurrentUserFileName(UsersFolder);
    std::vector<std::string> lines;
    FileRead state = FileRead::Missing;
    if (FileExists(path))
        state = ReadFileLines(path, 3, kUserLineBytes, lines) ? FileRead::Read : FileRead::Unreadable;
    const UserFields fields = UserFieldsFor(state, lines);
    SetText(ids::StaticText1, fields.nick);
    SetText(ids::StaticText2, fields.password);
    SetText(ids::TLIMIT, fields.limit);
}

// --- Service states and the working-hours watch ---------------------------

bool TForm1::IsWorkingTime() const {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return ::IsWorkingTime(now.wHour, TimeBegin, TimeEnd);
}

void TForm1::Timer2Timer() {
    const WatchAction action = WatchStep(WatchTickCounter, WorkTimeCheckDisabled, IsWorkingTime());
    // What the service was before the watch acts, to tell a change.
    const DWORD before = action == WatchAction::None ? 0 : ServiceState(kRasService);
    switch (action) {
        case WatchAction::StartService:
            SetText(ids::WorkTime, text::kWorkTime);
            ServiceStart(kRasService);
            break;
        case WatchAction::StopService:
            ServiceStop(kRasService);
            SetText(ids::WorkTime, text::kNotWorkTime);
            break;
        case WatchAction::None: break;
    }
    Notice notice;
    if (WatchNotice(action, before, notice)) Tell(notice);
    rasProcess_ = QueryServiceProcess(kRasService, rasProcess_);
    SetText(ids::RAS, std::string(text::kRasLine) + ServiceStateWords(rasProcess_.state));
    SetText(ids::FTP, std::string(text::kFtpLine) + ServiceStateWords(ServiceState(kFtpService)));
    RefreshPluginState();
}

// --- The plug-in's state --------------------------------------------------------

void TForm1::RefreshPluginState() {
    FollowPluginLog();
    for (const Notice& n : follower_.TakeNotices()) Tell(n);
    for (PluginEventRecord& e : pluginEvents_()) {
        Notice notice;
        if (eventsPolled_ && EventNotice(e, notice)) Tell(notice);
        events_.push_back(std::move(e));
    }
    eventsPolled_ = true;
    // Only the plug-in's current run matters; a long run keeps its last events.
    constexpr size_t kEventsKept = 200;
    if (events_.size() > kEventsKept) events_.erase(events_.begin(), events_.end() - kEventsKept);

    PluginFacts facts;
    facts.lifecycle = follower_.Lifecycle();
    const PluginLifecycle& l = facts.lifecycle;
    facts.lifecycleAt = l.dayStart != 0 && l.second >= 0 ? l.dayStart + l.second : 0;
    facts.service = ServiceRunOf(rasProcess_.state);
    if (facts.service == ServiceRun::Running && rasProcess_.started != 0) {
        facts.serviceStarted = rasProcess_.started;
        facts.serviceStartedText = LocalTimeText(rasProcess_.started);
    }
    facts.events = events_;
    const PluginStateView view = PluginStateFor(facts);
    if (view.problem != pluginProblem_) {
        pluginProblem_ = view.problem;
        InvalidateRect(GetDlgItem(panel_, ids::PluginState), nullptr, TRUE);
    }
    SetText(ids::PluginState, view.text);
}

void TForm1::Tell(const Notice& notice) {
    // The open window shows it all already.
    if (!noticesOn_ || (IsWindowVisible(hwnd_) && !IsIconic(hwnd_))) return;
    const NoticeText t = NoticeTextFor(notice);
    NOTIFYICONDATAW data = TrayIconData(hwnd_, trayIcon_.get());
    data.uFlags = NIF_INFO;
    lstrcpynW(data.szInfoTitle, FromCp1251(t.title).c_str(), sizeof data.szInfoTitle / sizeof data.szInfoTitle[0]);
    lstrcpynW(data.szInfo, FromCp1251(t.text).c_str(), sizeof data.szInfo / sizeof data.szInfo[0]);
    data.dwInfoFlags = t.level == NoticeLevel::Error ? NIIF_ERROR : t.level == NoticeLevel::Warning ? NIIF_WARNING : NIIF_INFO;
    notifyIcon_(NIM_MODIFY, &data);
}

void TForm1::NNoticesClick() {
    noticesOn_ = !noticesOn_;
    WriteNoticesOn(noticesOn_);
    CheckMenuItem(GetMenu(hwnd_), ids::NNotices, noticesOn_ ? MF_CHECKED : MF_UNCHECKED);
    CheckMenuItem(popupMenu_.get(), ids::NNotices, noticesOn_ ? MF_CHECKED : MF_UNCHECKED);
}

// The lines the plug-in appended to today's log since the last tick; at the
// first tick, the last start-up or unload line, looked for backwards.
void TForm1::FollowPluginLog() {
    std::string today;
    const int64_t dayStart = LocalDayStart(0, &today);
    const std::string path = LogFileName(LogFolder, today);
    UniqueHandle file = OpenForReading(path);
    LARGE_INTEGER size{};
    const uint64_t length = file.Valid() && GetFileSizeEx(file.Get(), &size) ? static_cast<uint64_t>(size.QuadPart) : 0;
    if (!logSearched_) {
        // Back to the day the service's process started, or a month when that is not known.
        const bool started = ServiceRunOf(rasProcess_.state) == ServiceRun::Running && rasProcess_.started != 0;
        follower_.SetLifecycle(FindLastLifecycle(LogFolder, started ? rasProcess_.started : 0, started ? 400 : 31));
        follower_.NewDay(dayStart);
        followed_ = path;
        followedOffset_ = length;
        logSearched_ = true;
        return;
    }
    if (path != followed_) {
        // Midnight: the new day's log from its start.
        follower_.NewDay(dayStart);
        followed_ = path;
        followedOffset_ = 0;
    }
    // A log replaced by a shorter one: its lines are not new.
    if (length < followedOffset_) followedOffset_ = length;
    if (length == followedOffset_) return;
    constexpr size_t kMostPerTick = 1024 * 1024;
    std::string bytes;
    if (!ReadOpenFileFrom(file.Get(), followedOffset_, static_cast<size_t>(std::min<uint64_t>(length - followedOffset_, kMostPerTick)), bytes))
        return;
    followedOffset_ += bytes.size();
    follower_.Feed(bytes);
}

// --- Commands ---------------------------------------------------------------

void TForm1::OnCommand(int id, bool fromButton) {
    switch (id) {
        case ids::N6:
        case ids::ToolButton6: N6Click(); break;
        case ids::N7:
        case ids::ToolButton4: N7Click(); break;
        case ids::N16:
        case ids::N2: SendMessageW(hwnd_, WM_CLOSE, 0, 0); break;
        case ids::N13:
        case ids::ToolButton1: ServiceStart(kRasService); break;
        case ids::N14:
        case ids::ToolButton3: ServiceStop(kRasService); break;
        case ids::N9: ServiceStart(kWebService); break;
        case ids::N10: ServiceStop(kWebService); break;
        // The tray menu's About and help do what their main-menu twins do.
        case ids::N18:
        case ids::N4:
        case ids::ToolButton5: N18Click(); break;
        case ids::N17:
        case ids::N3: N17Click(); break;
        case ids::N1: N1Click(); break;
        case ids::NNotices: NNoticesClick(); break;
        case ids::N19:
        case ids::N5: N19Click(); break;
        case ids::ToolButton2:
            // From its key the button is not pressed yet: the key presses or releases it.
            if (!fromButton)
                SendMessageW(toolBar_, TB_CHECKBUTTON, ids::ToolButton2,
                             MAKELONG(SendMessageW(toolBar_, TB_ISBUTTONCHECKED, ids::ToolButton2, 0) == 0, 0));
            ToolButton2Click();
            break;
        default: break;  // the disabled FTP items do nothing
    }
}

void TForm1::N1Click() {
    // The next refresh reads the file again even if it has not changed.
    if (logView_) logView_->Clear();
}

void TForm1::N6Click() {
    if (!Form3) return;
    WorkingHours hours;
    if (!Form3->ShowModal(hwnd_, hours)) return;
    // The working hours reach the running watch at once; the paths wait for the next start.
    WorkTimeCheckDisabled = hours.disabled;
    TimeBegin = hours.begin;
    TimeEnd = hours.end;
    SendMessageW(toolBar_, TB_CHECKBUTTON, ids::ToolButton2, MAKELONG(WorkTimeCheckDisabled, 0));
}

void TForm1::N17Click() {
    if (Form4) Form4->ShowModal(hwnd_);
}

void TForm1::N18Click() { OpenHelpFile(hwnd_); }

void TForm1::N19Click() {
    if (!Form5) Form5 = TForm5::Create(reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(hwnd_, GWLP_HINSTANCE)), hwnd_);
    if (Form5) Form5->Show(LogFolder, WorkingHours{WorkTimeCheckDisabled, TimeBegin, TimeEnd});
}

void TForm1::N7Click() {
    if (FileExists(CurrentUserFileName(UsersFolder))) {
        if (Form2) Form2->ShowModal(hwnd_, UsersFolder);
        return;
    }
    MessageBoxW(hwnd_, text::kUsersDisconnected, text::kAppName, MB_OK | MB_ICONINFORMATION);
}

void TForm1::ToolButton2Click() {
    WorkTimeCheckDisabled = SendMessageW(toolBar_, TB_ISBUTTONCHECKED, ids::ToolButton2, 0) != 0;
}

void TForm1::OnTrayMessage(UINT mouseMessage) {
    switch (mouseMessage) {
        case WM_LBUTTONUP: TrayIcon1Click(); break;
        case WM_LBUTTONDBLCLK: TrayIcon1DblClick(); break;
        // A click on a balloon brings up what it told of.
        case NIN_BALLOONUSERCLICK: TrayIcon1Click(); break;
        case WM_RBUTTONUP: {
            POINT at;
            GetCursorPos(&at);
            // Without the foreground the menu would not close on a click elsewhere.
            SetForegroundWindow(hwnd_);
            TrackPopupMenu(GetSubMenu(popupMenu_.get(), 0), TPM_RIGHTBUTTON, at.x, at.y, 0, hwnd_, nullptr);
            PostMessageW(hwnd_, WM_NULL, 0, 0);
            break;
        }
        default: break;
    }
}

void TForm1::TrayIcon1Click() {
    ShowWindow(hwnd_, IsIconic(hwnd_) ? SW_RESTORE : SW_SHOW);
    SetForegroundWindow(hwnd_);
}

void TForm1::TrayIcon1DblClick() {
    ShowWindow(hwnd_, SW_RESTORE);
    SetForegroundWindow(hwnd_);
}

bool TForm1::TranslateAccelerator(MSG* msg) {
    // Only for this window and its controls, not for the report window or a dialog.
    if (!msg->hwnd || GetAncestor(msg->hwnd, GA_ROOT) != hwnd_) return false;
    return TranslateAcceleratorW(hwnd_, accelerators_.get(), msg) != 0;
}

// --- Closing ----------------------------------------------------------------

void TForm1::FormClose() {
    const std::string path = ConfigPath();
    const bool pressed = SendMessageW(toolBar_, TB_ISBUTTONCHECKED, ids::ToolButton2, 0) != 0;
    const ConfigKey& key = config_key::kDisableCheckWorkTime;
    if (!WritePrivateProfileStringA(key.section, key.key, IniBoolText(pressed), path.c_str())) {
        // The path goes in as text, never as a format.
        MessageBoxW(hwnd_, FromCp1251(FillPercentS(text::kUnableToWrite, path)).c_str(), text::kAppName,
                    MB_OK | MB_ICONERROR);
    }
    // The program ends either way: the operator asked to close.
    DestroyWindow(hwnd_);
}

void TForm1::FormDestroy() {
    KillTimer(hwnd_, kTimer1);
    KillTimer(hwnd_, kTimer2);
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = hwnd_;
    data.uID = kTrayIconId;
    notifyIcon_(NIM_DELETE, &data);
    PostQuitMessage(0);
}

// --- Texts --------------------------------------------------------------------

void TForm1::SetText(int id, const std::string& cp1251) { SetWideText(id, FromCp1251(cp1251)); }

void TForm1::SetWideText(int id, const std::wstring& text) {
    HWND control = GetDlgItem(panel_, id);
    if (!control) return;
    // Unchanged texts are not set again, so the fields do not flicker each second.
    const int length = GetWindowTextLengthW(control);
    if (length == static_cast<int>(text.size())) {
        std::wstring current(length + 1, L'\0');
        GetWindowTextW(control, &current[0], length + 1);
        current.resize(length);
        if (current == text) return;
    }
    SetWindowTextW(control, text.c_str());
}
