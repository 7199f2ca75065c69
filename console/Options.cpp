#include "Options.h"

#include <commctrl.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "DialogTexts.h"
#include "Profile.h"
#include "ConsoleTexts.h"

namespace form3 {

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

// The design's place of a control within its tab, in pixels at 100 %. A
// control that `follows` another on its line keeps clear of it when that one
// grows; a label's width is its text's.
struct Layout {
    int page;
    Kind kind;
    int id;
    const wchar_t* caption;
    int x, y, width;
    int follows;
};

}  // namespace form3

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


using namespace form3;
namespace t = dialog_text;

// In tab order within each tab; on the FTP tab CheckBox1 comes last.
const Layout kLayout[] = {
    {0, Kind::Field, FILE_WITH_TIME, t::kFileWithTime, 8, 32, 273, 0},
    {0, Kind::Label, Label1, t::kLabel1, 9, 75, 0, 0},
    {0, Kind::Spinner, TIME_FOR_REG, nullptr, 280, 72, 57, Label1},
    {0, Kind::FixedCheck, SHOW_VARS, t::kShowVars, 8, 112, 313, 0},
    {0, Kind::Field, DEFAULT_TIME, t::kDefaultTime, 8, 160, 121, 0},
    {0, Kind::Field, USERS_FOLDER, t::kUsersFolder, 8, 208, 281, 0},
    {0, Kind::RedCentred, Label6, t::kLabel6, 8, 240, 337, 0},

    {1, Kind::Field, LOG_PATH, t::kLogPath, 8, 24, 337, 0},
    {1, Kind::FixedCheck, LOG_ENABLED, t::kLogEnabled, 16, 56, 105, 0},
    {1, Kind::FixedCheck, LOG_SCREEN_ENABLED, t::kLogScreenEnabled, 16, 80, 137, 0},
    {1, Kind::FixedCheck, LOG_FILE_ENABLED, t::kLogFileEnabled, 16, 104, 137, 0},

    {2, Kind::RedWrapped, Label2, t::kLabel2, 8, 8, 345, 0},
    {2, Kind::Field, FTP_INI_FILE, t::kFtpIniFile, 7, 91, 217, 0},
    {2, Kind::Field, FTP_SERVICE_NAME, t::kFtpServiceName, 7, 132, 121, 0},
    {2, Kind::Field, FTP_DEFAULT_CREDIT, t::kFtpDefaultCredit, 6, 172, 121, 0},
    {2, Kind::Field, FTP_DEF_ROOT, t::kFtpDefRoot, 6, 213, 121, 0},
    {2, Kind::Field, FTP_DEF_UPLOAD, t::kFtpDefUpload, 6, 253, 121, 0},
    {2, Kind::Label, Label3, t::kLabel3, 7, 279, 0, 0},
    {2, Kind::Spinner, FTP_DEF_RATIO_UP, nullptr, 120, 279, 41, Label3},
    {2, Kind::Spinner, FTP_DEF_RATIO_DOWN, nullptr, 168, 279, 33, FTP_DEF_RATIO_UP},
    {2, Kind::Check, CheckBox1, t::kCheckBox1, 8, 55, 241, 0},

    {3, Kind::Check, checkworktime, t::kCheckWorkTime, 16, 16, 209, 0},
    {3, Kind::Label, Label4, t::kLabel4, 19, 58, 0, 0},
    {3, Kind::Edit, Edit1, nullptr, 115, 54, 25, Label4},
    {3, Kind::Label, Label5, t::kLabel5, 149, 58, 0, Edit1},
    {3, Kind::Edit, Edit2, nullptr, 219, 54, 25, Label5},
};
// Between a control and the one it follows, at least.
constexpr int kFollowGap = 4;
// Between the last control and the edge of its tab, at least.
constexpr int kSheetMargin = 8;
constexpr int kButtonTop = 344;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;

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
        case WM_DPICHANGED: ApplyDpi(DpiOfChange(wParam), lParam); return 0;
    }
    return DefWindowProcW(hwnd_, msg, wParam, lParam);
}

void TForm3::CreateControls() {
    red_.reset(CreateSolidBrush(RGB(255, 0, 0)));
    // Placed and given their font by ApplyDpi.
    tabs_ = AddControl(hwnd_, 0, WC_TABCONTROLW, L"", WS_TABSTOP | WS_CLIPSIBLINGS, 0, 0, 0, 0, PageControl1, nullptr);
    for (int i = 0; i < 4; ++i) {
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<wchar_t*>(kTabCaptions[i]);
        SendMessageW(tabs_, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
    }
    for (int i = 0; i < 4; ++i) {
        HWND page = AddControl(hwnd_, WS_EX_CONTROLPARENT, kPageClass, L"", 0, 0, 0, 0, 0, TabSheet1 + i, nullptr);
        if (i != 0) ShowWindow(page, SW_HIDE);
        pages_.push_back(page);
    }
    AddControl(hwnd_, 0, L"BUTTON", t::kOk, WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 0, 0, 0, Button1, nullptr);
    AddControl(hwnd_, 0, L"BUTTON", t::kCancel, WS_TABSTOP | BS_PUSHBUTTON, 0, 0, 0, 0, Button2, nullptr);
    // The tab strip lies under its sheets; it comes last when tabbing.
    SetWindowPos(tabs_, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

    const DWORD editStyle = WS_TABSTOP | ES_AUTOHSCROLL;
    for (const Layout& c : kLayout) {
        HWND page = pages_[c.page];
        Placed placed{&c, nullptr, nullptr, nullptr};
        switch (c.kind) {
            case Kind::Field:
                placed.caption = AddControl(page, 0, L"STATIC", c.caption, SS_LEFTNOWORDWRAP | SS_NOPREFIX, 0, 0, 0, 0,
                                            -1, nullptr);
                placed.control = AddControl(page, WS_EX_CLIENTEDGE, L"EDIT", L"", editStyle, 0, 0, 0, 0, c.id, nullptr);
                break;
            case Kind::Edit:
                placed.control = AddControl(page, WS_EX_CLIENTEDGE, L"EDIT", L"", editStyle, 0, 0, 0, 0, c.id, nullptr);
                break;
            case Kind::Spinner: {
                placed.control = AddControl(page, WS_EX_CLIENTEDGE, L"EDIT", L"", editStyle, 0, 0, 0, 0, c.id, nullptr);
                HWND arrows = AddControl(page, 0, UPDOWN_CLASSW, nullptr, UDS_ALIGNRIGHT | UDS_ARROWKEYS | UDS_NOTHOUSANDS,
                                         0, 0, 0, 0, c.id + 1, nullptr);
                // The arrows keep no number of their own (see OnSpin); a wide
                // range only keeps them from ever looking exhausted.
                SendMessageW(arrows, UDM_SETRANGE32, -INT_MAX, INT_MAX);
                SendMessageW(arrows, UDM_SETPOS32, 0, 0);
                UDACCEL step{0, 1};
                SendMessageW(arrows, UDM_SETACCEL, 1, reinterpret_cast<LPARAM>(&step));
                placed.arrows = arrows;
                break;
            }
            case Kind::Check:
            case Kind::FixedCheck:
                placed.control =
                    AddControl(page, 0, L"BUTTON", c.caption, WS_TABSTOP | BS_AUTOCHECKBOX, 0, 0, 0, 0, c.id, nullptr);
                if (c.kind == Kind::FixedCheck) EnableWindow(placed.control, FALSE);
                break;
            case Kind::Label:
                placed.control =
                    AddControl(page, 0, L"STATIC", c.caption, SS_LEFTNOWORDWRAP | SS_NOPREFIX, 0, 0, 0, 0, c.id, nullptr);
                break;
            case Kind::RedCentred:
                placed.control = AddControl(page, 0, L"STATIC", c.caption, SS_CENTER | SS_NOPREFIX, 0, 0, 0, 0, c.id, nullptr);
                break;
            case Kind::RedWrapped:
                placed.control = AddControl(page, 0, L"STATIC", c.caption, SS_LEFT | SS_NOPREFIX, 0, 0, 0, 0, c.id, nullptr);
                break;
        }
        placed_.push_back(placed);
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
    }
    ApplyDpi(WindowDpi(hwnd_));
}

// The design's places at this scale, and room for every text in the font of
// this scale: a check box as wide as its text, a control clear of a longer
// label before it, the red warning as tall as its lines, and a tab and a
// dialog as large as what they hold. Nothing gets smaller than designed.
void TForm3::ApplyDpi(int dpi, LPARAM suggested) {
    dpi_ = dpi;
    font_ = MakeDialogFont(dpi);
    HFONT font = font_.get();
    SetFontOfChildren(hwnd_, font);
    if (tooltip_) SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, Scaled(300, dpi));
    auto px = [dpi](int pixels) { return Scaled(pixels, dpi); };
    const int line = FontHeight(hwnd_, font);
    const int labelHeight = std::max(px(kLabelHeight), line);
    const int editHeight = std::max(px(kEditHeight), line + 6);
    const int spinHeight = std::max(px(kSpinHeight), line + 6);
    const int checkHeight = std::max(px(kCheckHeight), std::max(line, MetricForDpi(SM_CYMENUCHECK, dpi)));
    const int checkRoom = MetricForDpi(SM_CXMENUCHECK, dpi) + px(6);

    // Where each control goes within its tab.
    struct Place {
        int x, y, width, height;
    };
    std::vector<Place> places(placed_.size());
    std::vector<int> grown(4, 0);  // how much the wrapped warning of each tab grew
    int right = 0, bottom = 0;
    for (size_t i = 0; i < placed_.size(); ++i) {
        const Layout& c = *placed_[i].layout;
        const std::wstring caption = c.caption ? c.caption : L"";
        Place p{px(c.x), px(c.y) + grown[c.page], px(c.width), 0};
        switch (c.kind) {
            case Kind::Field:
            case Kind::Edit: p.height = editHeight; break;
            case Kind::Spinner: p.height = spinHeight; break;
            case Kind::Check:
            case Kind::FixedCheck:
                p.width = std::max(p.width, checkRoom + TextWidth(hwnd_, font, caption) + 2);
                p.height = checkHeight;
                break;
            case Kind::Label:
                p.width = TextWidth(hwnd_, font, caption) + 2;
                p.height = labelHeight;
                break;
            case Kind::RedCentred:
                p.width = std::max(p.width, TextWidth(hwnd_, font, caption) + px(8));
                p.height = labelHeight;
                break;
            case Kind::RedWrapped:
                p.height = std::max(px(39), WrappedHeight(hwnd_, font, caption, p.width));
                // The tab's later controls move down by as much.
                grown[c.page] += p.height - px(39);
                break;
        }
        if (c.follows) {
            for (size_t k = 0; k < i; ++k)
                if (placed_[k].layout->id == c.follows)
                    p.x = std::max(p.x, places[k].x + places[k].width + px(kFollowGap));
        }
        places[i] = p;
        right = std::max(right, p.x + p.width);
        bottom = std::max(bottom, p.y + p.height);
    }

    // The tab control at its design size or as large as its sheets' contents
    // need; the buttons below it.
    PlaceControl(tabs_, 0, 0, px(kClientWidth), px(kTabsHeight));
    RECT sheet{0, 0, px(kClientWidth), px(kTabsHeight)};
    TabCtrl_AdjustRect(tabs_, FALSE, &sheet);
    const int growX = std::max(0, right + px(kSheetMargin) - static_cast<int>(sheet.right - sheet.left));
    const int growY = std::max(0, bottom + px(kSheetMargin) - static_cast<int>(sheet.bottom - sheet.top));
    const int tabsWidth = px(kClientWidth) + growX, tabsHeight = px(kTabsHeight) + growY;
    PlaceControl(tabs_, 0, 0, tabsWidth, tabsHeight);
    sheet = RECT{0, 0, tabsWidth, tabsHeight};
    TabCtrl_AdjustRect(tabs_, FALSE, &sheet);
    for (HWND page : pages_)
        PlaceControl(page, sheet.left, sheet.top, sheet.right - sheet.left, sheet.bottom - sheet.top);
    const int buttonTop = px(kButtonTop) + growY;
    PlaceControl(Control(Button1), px(88), buttonTop, px(kButtonWidth), px(kButtonHeight));
    PlaceControl(Control(Button2), px(176), buttonTop, px(kButtonWidth), px(kButtonHeight));

    for (size_t i = 0; i < placed_.size(); ++i) {
        const Placed& c = placed_[i];
        const Place& p = places[i];
        if (c.caption) {
            const int width = TextWidth(hwnd_, font, c.layout->caption) + 2;
            PlaceControl(c.caption, p.x, p.y - px(kCaptionGap) - labelHeight, width, labelHeight);
        }
        PlaceControl(c.control, p.x, p.y, p.width, p.height);
        if (c.arrows) {
            // The arrows take the right end of the field's width, as they did at creation.
            PlaceControl(c.arrows, 0, 0, px(kArrowsWidth), p.height);
            SendMessageW(c.arrows, UDM_SETBUDDY, reinterpret_cast<WPARAM>(c.control), 0);
        }
    }
    SetDialogClientSize(hwnd_, tabsWidth, buttonTop + px(kButtonHeight) + px(kClientHeight - kButtonTop - kButtonHeight),
                        dpi, suggested);
    InvalidateRect(hwnd_, nullptr, TRUE);
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
