#include "Options.h"

#include <commctrl.h>

#include <climits>
#include <cstring>

#include "DialogTexts.h"
#include "Profile.h"
#include "ConsoleTexts.h"

namespace {

const wchar_t kClass[] = L"TForm3";
const wchar_t kPageClass[] = L"TTabSheet";
constexpr int kClientWidth = 364;
constexpr int kClientHeight = 376;
constexpr int kTabsHeight = 337;
constexpr int kEditHeight = 21;
constexpr int kSpinHeight = 22;
constexpr int kCheckHeight = 17;
constexpr int kLabelHeight = 13;
constexpr int kCaptionGap = 3;
constexpr int kArrowsWidth = 16;

enum class Kind {
    Field,       // text field with its caption above
    Spinner,     // whole-number field with arrows, no caption
    Edit,        // text field without caption
    Check,       // check box
    FixedCheck,  // disabled check box: the file's value passes through
    Label,       // label sized to its text
    RedCentred,  // red label, text centred in a fixed width
    RedWrapped,  // red label, word-wrapped in a fixed box
};

struct Layout {
    int page;
    Kind kind;
    int id;
    const wchar_t* caption;
    int x, y, width;
};

using namespace form3;
namespace t = dialog_text;

// In tab order within each tab; on the FTP tab CheckBox1 comes last.
const Layout kLayout[] = {
    {0, Kind::Field, FILE_WITH_TIME, t::kFileWithTime, 8, 32, 273},
    {0, Kind::Label, Label1, t::kLabel1, 9, 75, 0},
    {0, Kind::Spinner, TIME_FOR_REG, nullptr, 280, 72, 57},
    {0, Kind::FixedCheck, SHOW_VARS, t::kShowVars, 8, 112, 313},
    {0, Kind::Field, DEFAULT_TIME, t::kDefaultTime, 8, 160, 121},
    {0, Kind::Field, USERS_FOLDER, t::kUsersFolder, 8, 208, 281},
    {0, Kind::RedCentred, Label6, t::kLabel6, 8, 240, 337},

    {1, Kind::Field, LOG_PATH, t::kLogPath, 8, 24, 337},
    {1, Kind::FixedCheck, LOG_ENABLED, t::kLogEnabled, 16, 56, 105},
    {1, Kind::FixedCheck, LOG_SCREEN_ENABLED, t::kLogScreenEnabled, 16, 80, 137},
    {1, Kind::FixedCheck, LOG_FILE_ENABLED, t::kLogFileEnabled, 16, 104, 137},

    {2, Kind::RedWrapped, Label2, t::kLabel2, 8, 8, 345},
    {2, Kind::Field, FTP_INI_FILE, t::kFtpIniFile, 7, 91, 217},
    {2, Kind::Field, FTP_SERVICE_NAME, t::kFtpServiceName, 7, 132, 121},
    {2, Kind::Field, FTP_DEFAULT_CREDIT, t::kFtpDefaultCredit, 6, 172, 121},
    {2, Kind::Field, FTP_DEF_ROOT, t::kFtpDefRoot, 6, 213, 121},
    {2, Kind::Field, FTP_DEF_UPLOAD, t::kFtpDefUpload, 6, 253, 121},
    {2, Kind::Label, Label3, t::kLabel3, 7, 279, 0},
    {2, Kind::Spinner, FTP_DEF_RATIO_UP, nullptr, 120, 279, 41},
    {2, Kind::Spinner, FTP_DEF_RATIO_DOWN, nullptr, 168, 279, 33},
    {2, Kind::Check, CheckBox1, t::kCheckBox1, 8, 55, 241},

    {3, Kind::Check, checkworktime, t::kCheckWorkTime, 16, 16, 209},
    {3, Kind::Label, Label4, t::kLabel4, 19, 58, 0},
    {3, Kind::Edit, Edit1, nullptr, 115, 54, 25},
    {3, Kind::Label, Label5, t::kLabel5, 149, 58, 0},
    {3, Kind::Edit, Edit2, nullptr, 219, 54, 25},
};

const wchar_t* const kTabCaptions[] = {t::kTabGeneral, t::kTabLogs, t::kTabFtp, t::kTabGui};

// Which control shows which key; most bear the key's name.
struct KeyControl {
    const char* key;
    int id;
};
const KeyControl kKeyControls[] = {
    {"FILE_WITH_TIME", FILE_WITH_TIME},
    {"TIME_FOR_REG", TIME_FOR_REG},
    {"SHOW_VARS", SHOW_VARS},
    {"LOG_PATH", LOG_PATH},
    {"LOG_SCREEN_ENABLED", LOG_SCREEN_ENABLED},
    {"LOG_FILE_ENABLED", LOG_FILE_ENABLED},
    {"LOG_ENABLED", LOG_ENABLED},
    {"FTP_SERVICE_NAME", FTP_SERVICE_NAME},
    {"FTP_INI_FILE", FTP_INI_FILE},
    {"FTP_DEFAULT_CREDIT", FTP_DEFAULT_CREDIT},
    {"FTP_DEF_ROOT", FTP_DEF_ROOT},
    {"FTP_DEF_UPLOAD", FTP_DEF_UPLOAD},
    {"FTP_DEF_RATIO_UP", FTP_DEF_RATIO_UP},
    {"FTP_DEF_RATIO_DOWN", FTP_DEF_RATIO_DOWN},
    {"FTP_ACCOUNTING_ENABLED", CheckBox1},
    {"DEFAULT_TIME", DEFAULT_TIME},
    {"USERS_FOLDER", USERS_FOLDER},
    {"DISABLE_CHECK_WORK_TIME", checkworktime},
    {"TIME_BEGIN", Edit1},
    {"TIME_END", Edit2},
};

bool IsRedLabel(int id) { return id == Label6 || id == Label2; }

}  // namespace

TForm3::TForm3(std::function<std::string()> configPath) : configPath_(std::move(configPath)) {}

TForm3* TForm3::Create(HINSTANCE instance, std::function<std::string()> configPath) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TAB_CLASSES | ICC_UPDOWN_CLASS | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    RegisterFormClass(instance, kClass, FormWndProc<TForm3>);
    RegisterFormClass(instance, kPageClass, PageProc);

    TForm3* form = CreateDialogWindow(std::unique_ptr<TForm3>(new TForm3(std::move(configPath))), instance, kClass,
                                      t::kSettingsCaption, 303, 120, kClientWidth, kClientHeight);
    if (!form) return nullptr;
    form->FormCreate();
    return form;
}

// A tab's sheet hands its controls' notifications to the dialog.
LRESULT CALLBACK TForm3::PageProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_COMMAND:
        case WM_NOTIFY:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORBTN: return SendMessageW(GetParent(hwnd), msg, wParam, lParam);
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

LRESULT TForm3::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_CREATE: CreateControls(); return 0;
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED) {
                if (LOWORD(wParam) == Button1) Button1Click();
                if (LOWORD(wParam) == Button2) Button2Click();
            }
            return 0;
        case DM_GETDEFID: return MAKELRESULT(Button1, DC_HASDEFID);
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            if (header->idFrom == PageControl1 && header->code == TCN_SELCHANGE) {
                PageControl1Change();
                return 0;
            }
            if (header->code == UDN_DELTAPOS) {
                const auto* change = reinterpret_cast<const NMUPDOWN*>(lParam);
                return OnSpin(static_cast<int>(header->idFrom), change->iDelta) ? TRUE : FALSE;
            }
            return 0;
        }
        case WM_CTLCOLORSTATIC:
            if (IsRedLabel(GetDlgCtrlID(reinterpret_cast<HWND>(lParam)))) {
                HDC dc = reinterpret_cast<HDC>(wParam);
                SetBkColor(dc, RGB(255, 0, 0));
                SetTextColor(dc, RGB(0, 0, 0));
                return reinterpret_cast<LRESULT>(red_.get());
            }
            break;
        case WM_ACTIVATE:
            if (LOWORD(wParam) == WA_INACTIVE) SaveFocus(hwnd_, focus_);
            else RestoreFocus(hwnd_, focus_);
            return 0;
        case WM_CLOSE: Button2Click(); return 0;
    }
    return DefWindowProcW(hwnd_, msg, wParam, lParam);
}

void TForm3::CreateControls() {
    font_ = MakeDialogFont();
    red_.reset(CreateSolidBrush(RGB(255, 0, 0)));
    HFONT font = font_.get();

    tabs_ = AddControl(hwnd_, 0, WC_TABCONTROLW, L"", WS_TABSTOP | WS_CLIPSIBLINGS, 0, 0, kClientWidth, kTabsHeight,
                       PageControl1, font);
    for (int i = 0; i < 4; ++i) {
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<wchar_t*>(kTabCaptions[i]);
        SendMessageW(tabs_, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
    }
    RECT sheet{0, 0, kClientWidth, kTabsHeight};
    TabCtrl_AdjustRect(tabs_, FALSE, &sheet);
    for (int i = 0; i < 4; ++i) {
        HWND page = AddControl(hwnd_, WS_EX_CONTROLPARENT, kPageClass, L"", 0, sheet.left, sheet.top,
                               sheet.right - sheet.left, sheet.bottom - sheet.top, TabSheet1 + i, font);
        if (i != 0) ShowWindow(page, SW_HIDE);
        pages_.push_back(page);
    }
    AddControl(hwnd_, 0, L"BUTTON", t::kOk, WS_TABSTOP | BS_DEFPUSHBUTTON, 88, 344, 75, 25, Button1, font);
    AddControl(hwnd_, 0, L"BUTTON", t::kCancel, WS_TABSTOP | BS_PUSHBUTTON, 176, 344, 75, 25, Button2, font);
    // The tab strip lies under its sheets; it comes last when tabbing.
    SetWindowPos(tabs_, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

    const DWORD editStyle = WS_TABSTOP | ES_AUTOHSCROLL;
    for (const Layout& c : kLayout) {
        HWND page = pages_[c.page];
        switch (c.kind) {
            case Kind::Field: {
                const int captionTop = c.y - kCaptionGap - kLabelHeight;
                AddControl(page, 0, L"STATIC", c.caption, SS_LEFTNOWORDWRAP | SS_NOPREFIX, c.x, captionTop,
                           TextWidth(hwnd_, font, c.caption) + 2, kLabelHeight, -1, font);
                AddControl(page, WS_EX_CLIENTEDGE, L"EDIT", L"", editStyle, c.x, c.y, c.width, kEditHeight, c.id, font);
                break;
            }
            case Kind::Edit:
                AddControl(page, WS_EX_CLIENTEDGE, L"EDIT", L"", editStyle, c.x, c.y, c.width, kEditHeight, c.id, font);
                break;
            case Kind::Spinner: {
                HWND edit = AddControl(page, WS_EX_CLIENTEDGE, L"EDIT", L"", editStyle, c.x, c.y, c.width,
                                       kSpinHeight, c.id, font);
                HWND arrows = AddControl(page, 0, UPDOWN_CLASSW, nullptr,
                                         UDS_ALIGNRIGHT | UDS_ARROWKEYS | UDS_NOTHOUSANDS, 0, 0, kArrowsWidth,
                                         kSpinHeight, c.id + 1, font);
                SendMessageW(arrows, UDM_SETBUDDY, reinterpret_cast<WPARAM>(edit), 0);
                // The arrows keep no number of their own (see OnSpin); a wide
                // range only keeps them from ever looking exhausted.
                SendMessageW(arrows, UDM_SETRANGE32, -INT_MAX, INT_MAX);
                SendMessageW(arrows, UDM_SETPOS32, 0, 0);
                UDACCEL step{0, 1};
                SendMessageW(arrows, UDM_SETACCEL, 1, reinterpret_cast<LPARAM>(&step));
                break;
            }
            case Kind::Check:
            case Kind::FixedCheck: {
                HWND box = AddControl(page, 0, L"BUTTON", c.caption, WS_TABSTOP | BS_AUTOCHECKBOX, c.x, c.y, c.width,
                                      kCheckHeight, c.id, font);
                if (c.kind == Kind::FixedCheck) EnableWindow(box, FALSE);
                break;
            }
            case Kind::Label:
                AddControl(page, 0, L"STATIC", c.caption, SS_LEFTNOWORDWRAP | SS_NOPREFIX, c.x, c.y,
                           TextWidth(hwnd_, font, c.caption) + 2, kLabelHeight, c.id, font);
                break;
            case Kind::RedCentred:
                AddControl(page, 0, L"STATIC", c.caption, SS_CENTER | SS_NOPREFIX, c.x, c.y, c.width, kLabelHeight,
                           c.id, font);
                break;
            case Kind::RedWrapped:
                AddControl(page, 0, L"STATIC", c.caption, SS_LEFT | SS_NOPREFIX, c.x, c.y, c.width, 39, c.id, font);
                break;
        }
    }

    tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr,
                               reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(hwnd_, GWLP_HINSTANCE)), nullptr);
    if (tooltip_) {
        TOOLINFOW tool{};
        tool.cbSize = TTTOOLINFOW_V2_SIZE;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = hwnd_;
        tool.uId = reinterpret_cast<UINT_PTR>(Control(FTP_DEF_ROOT));
        tool.lpszText = const_cast<wchar_t*>(t::kFtpDefRootHint);
        SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, 300);
    }
}

HWND TForm3::Control(int id) const {
    for (HWND page : pages_) {
        if (HWND h = GetDlgItem(page, id)) return h;
    }
    return GetDlgItem(hwnd_, id);
}

int TForm3::ControlOf(const ConfigKey& key) const {
    for (const KeyControl& kc : kKeyControls) {
        if (std::strcmp(kc.key, key.key) == 0) return kc.id;
    }
    return 0;
}

ControlValue TForm3::ValueOf(const ConfigKey& key) const {
    HWND control = Control(ControlOf(key));
    ControlValue value;
    if (key.kind == ConfigKind::Switch) value.checked = SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
    else value.text = WindowText1251(control);
    return value;
}

void TForm3::Show(const ConfigKey& key, const ControlValue& value) {
    HWND control = Control(ControlOf(key));
    if (key.kind == ConfigKind::Switch) SendMessageW(control, BM_SETCHECK, value.checked ? BST_CHECKED : BST_UNCHECKED, 0);
    else SetWindowText1251(control, value.text);
}

void TForm3::FormCreate() {
    const std::string path = configPath_();
    for (const ConfigKey& key : SettingsKeys())
        Show(key, ShownValue(key, ReadProfileString(path, key.section, key.key, ReadFallback(key))));
}

bool TForm3::ShowModal(HWND owner, WorkingHours& handedOver) {
    done_ = false;
    accepted_ = false;
    if (!RunModal(hwnd_, owner, done_)) return false;
    if (accepted_) handedOver = handedOver_;
    return accepted_;
}

void TForm3::Button1Click() {
    const std::string path = configPath_();
    const SettingsWritePlan plan = PlanSettingsWrite([this](const ConfigKey& key) { return ValueOf(key); });
    // Key by key, as far as the plan goes: what is written before a failure stays.
    for (const IniWrite& w : plan.writes) {
        if (!WritePrivateProfileStringA(w.section, w.key, w.value.c_str(), path.c_str())) {
            ShowErrorBox(hwnd_, FillPercentS(text::kUnableToWrite, path));
            return;
        }
    }
    if (plan.stopped) {
        ShowErrorBox(hwnd_, FillPercentS(t::kNotValidInteger, plan.badText));
        return;
    }
    WorkingHoursOf(plan, handedOver_);
    accepted_ = true;
    done_ = true;
}

void TForm3::Button2Click() { done_ = true; }

void TForm3::PageControl1Change() {
    const int current = static_cast<int>(SendMessageW(tabs_, TCM_GETCURSEL, 0, 0));
    for (int i = 0; i < static_cast<int>(pages_.size()); ++i) ShowWindow(pages_[i], i == current ? SW_SHOW : SW_HIDE);
    // The keyboard must not stay in a control that is no longer shown.
    HWND focus = GetFocus();
    if (focus && IsChild(hwnd_, focus) && !IsWindowVisible(focus)) SetFocus(tabs_);
}

// The arrows of a spinner move its text by one, without bounds of their own;
// the arrows' own position is left alone.
bool TForm3::OnSpin(int arrowsId, int direction) {
    HWND edit = Control(arrowsId - 1);
    if (!edit || direction == 0) return false;
    SetWindowText1251(edit, SpinStep(WindowText1251(edit), direction));
    const LRESULT end = GetWindowTextLengthW(edit);
    SendMessageW(edit, EM_SETSEL, end, end);
    return true;
}
