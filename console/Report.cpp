#include "Report.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>

#include "Dpi.h"
#include "LogFormat.h"
#include "ReportTexts.h"
#include "Win32Files.h"
#include "Win32Handles.h"
#include "logic/ReportTable.h"

namespace {

using namespace form5;

constexpr UINT_PTR kTimer1 = 1;
constexpr UINT kTimerMs = 1000;
// Posted for the next slice of reading, then for the list and the layout
// once the period is read: under Wine each of these costs tens of
// milliseconds, and apart they leave the window free to answer between them.
constexpr UINT kReadStep = WM_APP + 20;
constexpr UINT kShowPicture = WM_APP + 21;
constexpr UINT kShowList = WM_APP + 22;
constexpr UINT kFollowEnd = WM_APP + 23;
// WM_DPICHANGED, which the headers of the Vista API level leave out.
constexpr UINT kDpiChanged = 0x02E0;
// A slice reads days for about this long, then lets the window answer.
constexpr ULONGLONG kSliceMs = 30;
constexpr int kClientWidth = 900;
constexpr int kClientHeight = 640;
constexpr size_t kNoRow = static_cast<size_t>(-1);
// The one report window of the console, for the message loop's dialog keys.
HWND reportWindow = nullptr;

// A column: its alignment, and a text as wide as what it usually holds.
struct Column {
    int format;
    const wchar_t* sample;
};
constexpr Column kConnectionColumns[] = {
    {LVCFMT_LEFT, L"00.00.0000"},   {LVCFMT_LEFT, L"00:00:00"},       {LVCFMT_LEFT, L"ivan_petrov_1"},
    {LVCFMT_RIGHT, L"0000"},        {LVCFMT_LEFT, L"абонент отключился"}, {LVCFMT_RIGHT, L"000:00:00"},
    {LVCFMT_RIGHT, L"0000000000"},  {LVCFMT_RIGHT, L"0000000000"},    {LVCFMT_LEFT, L"два отключения сразу: цифры могут быть чужими"}};
constexpr Column kLoginColumns[] = {
    {LVCFMT_LEFT, L"ivan_petrov_1"}, {LVCFMT_RIGHT, L"0000"},       {LVCFMT_RIGHT, L"000"},
    {LVCFMT_RIGHT, L"0000:00:00"},   {LVCFMT_RIGHT, L"0000000000"}, {LVCFMT_RIGHT, L"0000000000"},
    {LVCFMT_RIGHT, L"000"},          {LVCFMT_RIGHT, L"000"},        {LVCFMT_RIGHT, L"000"},
    {LVCFMT_RIGHT, L"000"},          {LVCFMT_RIGHT, L"000"},        {LVCFMT_RIGHT, L"000"},
    {LVCFMT_LEFT, L"00.00.0000 00:00:00"}, {LVCFMT_LEFT, L"00.00.0000 00:00:00"},
    {LVCFMT_LEFT, L"цифры под сомнением в соединениях: 00"}};
static_assert(sizeof kConnectionColumns / sizeof kConnectionColumns[0] ==
              sizeof text::kReportColumns / sizeof text::kReportColumns[0]);
static_assert(sizeof kLoginColumns / sizeof kLoginColumns[0] ==
              sizeof text::kLoginColumns / sizeof text::kLoginColumns[0]);

int64_t TodayNumber(int32_t* second = nullptr) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    if (second) *second = now.wHour * 3600 + now.wMinute * 60 + now.wSecond;
    return DayNumber(now.wYear, now.wMonth, now.wDay);
}

// The CSV as UTF-8 with the byte-order mark by which Excel knows it.
std::string Utf8WithBom(const std::string& cp1251) {
    const std::wstring wide = FromCp1251(cp1251);
    std::string utf8 = "\xEF\xBB\xBF";
    const int n =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    if (n <= 0) return utf8;
    const size_t bom = utf8.size();
    utf8.resize(bom + static_cast<size_t>(n));
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &utf8[bom], n, nullptr, nullptr);
    return utf8;
}

// What the window shows before a period is read, and after it is closed.
const PeriodRows kNoPeriod;

}  // namespace

const PeriodRows& TForm5::Period() const { return period_ ? *period_ : kNoPeriod; }

LogFileStamp TForm5::FolderLogs::Stamp(const std::string& dayText) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(LogFileName(folder, dayText).c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return {};
    return {true, (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow,
            (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime};
}

bool TForm5::FolderLogs::Read(const std::string& dayText, uint64_t offset, size_t maxBytes, std::string& bytes) {
    return ReadFileFrom(LogFileName(folder, dayText), offset, bytes, maxBytes);
}

TForm5* TForm5::Create(HINSTANCE instance, HWND owner) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    RegisterFormClass(instance, kReportWindowClass, FormWndProc<TForm5>);
    // On the main window's monitor, at its scale. Sizeable: a month's picture and list want room.
    const int dpi = WindowDpi(owner);
    RECT frame{0, 0, ::Scaled(kClientWidth, dpi), ::Scaled(kClientHeight, dpi)};
    AdjustWindowRectEx(&frame, WS_OVERLAPPEDWINDOW, FALSE, 0);
    TForm5* form = CreateFormWindow(std::unique_ptr<TForm5>(new TForm5()), 0, kReportWindowClass,
                                    text::kReportCaption, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 120, 60,
                                    frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, instance);
    if (!form) return nullptr;
    // Owned by the main window: above it, and gone with it.
    SetWindowLongPtrW(form->hwnd_, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(owner));
    reportWindow = form->hwnd_;
    return form;
}

bool TForm5::DialogMessage(MSG* msg) {
    HWND report = reportWindow;
    if (!report || !IsWindowVisible(report) || (msg->hwnd != report && !IsChild(report, msg->hwnd))) return false;
    // An access key as its capital: Wine matches letters other than Latin ones by case.
    if (msg->message == WM_SYSCHAR && !HIWORD(msg->wParam))
        msg->wParam = reinterpret_cast<WPARAM>(CharUpperW(reinterpret_cast<LPWSTR>(msg->wParam)));
    return IsDialogMessageW(report, msg);
}

LRESULT TForm5::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_CREATE: CreateControls(); return 0;
        case WM_SIZE: LayoutControls(); return 0;
        case kDpiChanged: DpiChanged(HIWORD(wParam), lParam); return 0;
        case WM_GETMINMAXINFO: {
            auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
            limits->ptMinTrackSize = POINT{Scaled(640), Scaled(420)};
            return 0;
        }
        case WM_ACTIVATE:
            if (LOWORD(wParam) == WA_INACTIVE) SaveFocus(hwnd_, focus_);
            else RestoreFocus(hwnd_, focus_);
            return 0;
        // Enter presses the push button that has the focus.
        case DM_GETDEFID: {
            HWND focus = GetFocus();
            const bool button =
                focus && IsChild(hwnd_, focus) && (SendMessageW(focus, WM_GETDLGCODE, 0, 0) & DLGC_UNDEFPUSHBUTTON);
            return button ? MAKELRESULT(GetDlgCtrlID(focus), DC_HASDEFID) : 0;
        }
        case WM_NEXTDLGCTL: {
            HWND next = LOWORD(lParam) ? reinterpret_cast<HWND>(wParam)
                                       : GetNextDlgTabItem(hwnd_, GetFocus(), wParam != 0);
            if (next) SetFocus(next);
            return 0;
        }
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            const int code = HIWORD(wParam);
            if (id == IDCANCEL) {
                SendMessageW(hwnd_, WM_CLOSE, 0, 0);
                return 0;
            }
            if (code == BN_CLICKED) {
                if (id == Button1) Button1Click();
                else if (id == Button2) Button2Click();
                else if (id == Button3) Button3Click();
                else if (id == Button4) Button4Click();
                else if ((id >= RadioButton1 && id <= RadioButton4) || id == RadioButton5 || id == RadioButton6) RadioButtonClick(id);
            }
            if (code == CBN_SELCHANGE && (id == ComboBox1 || id == ComboBox2)) {
                if (id == ComboBox1) followsToday_ = ChosenDay(ComboBox1) == TodayNumber();
                Load();
            }
            return 0;
        }
        case WM_NOTIFY: {
            auto* header = reinterpret_cast<NMHDR*>(lParam);
            if (header->idFrom == ListView1 && header->code == LVN_GETDISPINFOW)
                GetDispInfo(*reinterpret_cast<NMLVDISPINFOW*>(lParam));
            if (header->idFrom == ListView1 && header->code == LVN_ITEMCHANGED)
                ListView1Change(*reinterpret_cast<NMLISTVIEW*>(lParam));
            return 0;
        }
        case WM_TIMER:
            if (wParam == kTimer1) Timer1Timer();
            return 0;
        case kReadStep: ReadStep(); return 0;
        case kShowPicture: ShowPicture(); return 0;
        case kShowList: ShowList(); return 0;
        case kFollowEnd: SendMessageW(list_, LVM_ENSUREVISIBLE, wParam, FALSE); return 0;
        case WM_DESTROY:
            if (reportWindow == hwnd_) reportWindow = nullptr;
            return 0;
        case WM_CLOSE:
            // Kept for the next time, hidden; what it read is given back, as
            // the console runs for months and the next opening reads today anew.
            KillTimer(hwnd_, kTimer1);
            ShowWindow(hwnd_, SW_HIDE);
            Forget();
            return 0;
    }
    return DefWindowProcW(hwnd_, msg, wParam, lParam);
}

void TForm5::CreateControls() {
    dpi_ = WindowDpi(hwnd_);
    font_ = MakeConsoleFont(FW_NORMAL, dpi_);
    HFONT font = font_.get();
    AddControl(hwnd_, 0, L"STATIC", text::kReportDay, SS_LEFT, 0, 0, 0, 0, Label1, font);
    AddControl(hwnd_, 0, L"COMBOBOX", L"", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 0, 0, 0, 0, ComboBox1, font);
    const wchar_t* kinds[] = {text::kReportKindDay, text::kReportKindWeek, text::kReportKindMonth,
                              text::kReportKindRange};
    for (int i = 0; i < 4; ++i)
        AddControl(hwnd_, 0, L"BUTTON", kinds[i], BS_AUTORADIOBUTTON | (i == 0 ? WS_GROUP | WS_TABSTOP : 0), 0, 0,
                   0, 0, RadioButton1 + i, font);
    AddControl(hwnd_, 0, L"COMBOBOX", L"", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST | WS_DISABLED, 0, 0, 0, 0,
               ComboBox2, font);
    AddControl(hwnd_, 0, L"BUTTON", text::kReportRefresh, WS_TABSTOP | BS_PUSHBUTTON, 0, 0, 0, 0, Button1, font);
    CheckDlgButton(hwnd_, RadioButton1, BST_CHECKED);

    picture_ = ReportPicture::Create(hwnd_, Image1, font);
    if (picture_) {
        // The line under the picture: what the mouse points at, or else the picture in words.
        picture_->onHover = [this](const std::string& text) {
            SetWindowText1251(GetDlgItem(hwnd_, StaticText2), text.empty() ? summary_ : text);
        };
        picture_->onClick = [this](size_t row) { Image1Click(row); };
    }
    AddControl(hwnd_, 0, L"STATIC", L"", SS_LEFTNOWORDWRAP | SS_NOPREFIX, 0, 0, 0, 0, StaticText2, font);
    AddControl(hwnd_, 0, L"BUTTON", text::kReportCopyPicture, WS_TABSTOP | BS_PUSHBUTTON, 0, 0, 0, 0, Button3, font);
    AddControl(hwnd_, 0, L"BUTTON", text::kReportSavePng, WS_TABSTOP | BS_PUSHBUTTON, 0, 0, 0, 0, Button4, font);

    AddControl(hwnd_, 0, L"BUTTON", text::kReportViewConnections, BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP, 0, 0, 0,
               0, RadioButton5, font);
    AddControl(hwnd_, 0, L"BUTTON", text::kReportViewLogins, BS_AUTORADIOBUTTON, 0, 0, 0, 0, RadioButton6, font);
    CheckDlgButton(hwnd_, RadioButton5, BST_CHECKED);
    AddControl(hwnd_, 0, L"BUTTON", text::kReportSaveCsv, WS_TABSTOP | BS_PUSHBUTTON, 0, 0, 0, 0, Button2, font);
    // Owner data: the list asks for the cells it shows, so a month of
    // thousands of connections goes in at once.
    list_ = AddControl(hwnd_, WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                       WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS | LVS_SINGLESEL, 0, 0, 0, 0,
                       ListView1, font);
    SendMessageW(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    AddControl(hwnd_, 0, L"STATIC", L"", SS_SUNKEN | SS_LEFTNOWORDWRAP | SS_NOPREFIX, 0, 0, 0, 0, StaticText1, font);
    AddControl(hwnd_, 0, L"STATIC", L"", SS_SUNKEN | SS_LEFTNOWORDWRAP | SS_NOPREFIX, 0, 0, 0, 0, StaticText3, font);
    ShowColumns();
}

// Left to right and top to bottom, each control as wide as its words in the
// font: the picture takes what it needs up to half the room, the list the rest.
void TForm5::LayoutControls() {
    RECT client;
    GetClientRect(hwnd_, &client);
    const int w = client.right, h = client.bottom;
    const int gap = Scaled(8), lineHeight = Scaled(23), textHeight = Scaled(17);
    HFONT font = font_.get();
    // All moved at once: one by one, each move is drawn on its own.
    HDWP moves = BeginDeferWindowPos(20);
    auto place = [&](HWND control, int x, int y, int width, int height) {
        if (moves) moves = DeferWindowPos(moves, control, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    };
    auto placeId = [&](int id, int x, int y, int width, int height) { place(GetDlgItem(hwnd_, id), x, y, width, height); };
    auto fit = [&](int id) { return TextWidth(hwnd_, font, WindowTextWide(GetDlgItem(hwnd_, id))); };

    int x = gap, y = gap;
    placeId(Label1, x, y + Scaled(3), fit(Label1) + Scaled(4), textHeight);
    x += fit(Label1) + Scaled(6);
    const int comboWidth = TextWidth(hwnd_, font, L"00.00.00000") + Scaled(30);
    placeId(ComboBox1, x, y, comboWidth, Scaled(300));
    x += comboWidth + gap;
    for (int id = RadioButton1; id <= RadioButton4; ++id) {
        const int width = fit(id) + Scaled(24);
        placeId(id, x, y + Scaled(2), width, textHeight + Scaled(2));
        x += width + Scaled(4);
    }
    placeId(ComboBox2, x, y, comboWidth, Scaled(300));
    x += comboWidth + gap;
    placeId(Button1, x, y, fit(Button1) + Scaled(24), lineHeight);
    y += lineHeight + gap;

    // Below the picture: the hover line and its buttons; the view and the CSV;
    // the list; the totals; the status line.
    const int copyWidth = fit(Button3) + Scaled(24), pngWidth = fit(Button4) + Scaled(24);
    const int below = 2 * (lineHeight + gap) + 2 * (textHeight + Scaled(6)) + Scaled(100) + gap;
    const int pictureRoom = std::max(Scaled(80), std::min((h - y - below) * 3 / 5, h - y - below));
    pictureNatural_ = picture_ ? picture_->NaturalHeight(w - 2 * gap) : 0;
    const int pictureHeight =
        std::max(std::min(pictureNatural_, pictureRoom), picture_ ? picture_->LeastHeight(w - 2 * gap) : 0);
    if (picture_) place(picture_->Handle(), gap, y, w - 2 * gap, pictureHeight);
    y += pictureHeight + Scaled(4);
    placeId(Button4, w - gap - pngWidth, y, pngWidth, lineHeight);
    placeId(Button3, w - gap - pngWidth - Scaled(6) - copyWidth, y, copyWidth, lineHeight);
    placeId(StaticText2, gap, y + Scaled(4), w - 3 * gap - pngWidth - copyWidth, textHeight);
    y += lineHeight + gap;

    x = gap;
    for (int id : {RadioButton5, RadioButton6}) {
        const int width = fit(id) + Scaled(24);
        placeId(id, x, y + Scaled(2), width, textHeight + Scaled(2));
        x += width + gap;
    }
    const int csvWidth = fit(Button2) + Scaled(24);
    placeId(Button2, w - gap - csvWidth, y, csvWidth, lineHeight);
    y += lineHeight + Scaled(4);

    const int statusHeight = textHeight + Scaled(4);
    const int listHeight = std::max(Scaled(60), h - y - 2 * (statusHeight + Scaled(4)) - gap);
    place(list_, gap, y, w - 2 * gap, listHeight);
    y += listHeight + Scaled(4);
    placeId(StaticText1, gap, y, w - 2 * gap, statusHeight);
    y += statusHeight + Scaled(4);
    placeId(StaticText3, gap, y, w - 2 * gap, statusHeight);
    if (moves) EndDeferWindowPos(moves);
    // Controls moved over each other's old places: all drawn anew.
    RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

// Moved to a monitor of another scale, or the scale changed: the font at the
// new size in every control, the columns as wide as their texts in it, and
// the window where the system suggests, which lays the controls out anew.
void TForm5::DpiChanged(int dpi, LPARAM suggested) {
    dpi_ = dpi;
    FontPtr font = MakeConsoleFont(FW_NORMAL, dpi_);
    for (HWND child = GetWindow(hwnd_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
    font_ = std::move(font);
    ShowColumns();
    MoveToSuggestedRect(hwnd_, suggested);
    LayoutControls();
}

void TForm5::Show(const std::string& logFolder, const WorkingHours& hours) {
    hours_ = hours;
    if (IsWindowVisible(hwnd_)) {
        SetForegroundWindow(hwnd_);
        return;
    }
    logs_.folder = logFolder;
    char pattern[80] = "";
    GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, pattern, sizeof pattern);
    pattern_ = pattern;
    // Opened anew, it shows today.
    followsToday_ = true;
    FillDays();
    Load();
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    SetForegroundWindow(hwnd_);
    SetTimer(hwnd_, kTimer1, kTimerMs, nullptr);
}

// The days that have a log in the folder, in both lists; the chosen ones stay
// chosen, or today when the chosen day follows today.
void TForm5::FillDays() {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((logs_.folder + "*" + kLogFileSuffix).c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    // LOG_PATH is a plain prefix: what follows its last backslash begins the file names.
    const size_t cut = logs_.folder.find_last_of("\\/:");
    const std::string namePrefix = cut == std::string::npos ? logs_.folder : logs_.folder.substr(cut + 1);
    today_ = TodayNumber();
    const std::string today = TodayShortDateText();
    std::string chosen[2];
    for (int i = 0; i < 2; ++i) {
        const LRESULT at = SendDlgItemMessageW(hwnd_, i ? ComboBox2 : ComboBox1, CB_GETCURSEL, 0, 0);
        if (at >= 0 && static_cast<size_t>(at) < days_.size()) chosen[i] = days_[static_cast<size_t>(at)];
    }
    if (followsToday_ || chosen[0].empty()) chosen[0] = today;
    if (chosen[1].empty()) chosen[1] = chosen[0];
    days_ = LogDays(names, namePrefix, pattern_, today);
    for (int i = 0; i < 2; ++i) {
        HWND combo = GetDlgItem(hwnd_, i ? ComboBox2 : ComboBox1);
        SendMessageW(combo, CB_RESETCONTENT, 0, 0);
        for (size_t k = 0; k < days_.size(); ++k) {
            SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(FromCp1251(days_[k]).c_str()));
            if (days_[k] == chosen[i]) SendMessageW(combo, CB_SETCURSEL, k, 0);
        }
    }
}

int64_t TForm5::ChosenDay(int combo) const {
    const LRESULT at = SendDlgItemMessageW(hwnd_, combo, CB_GETCURSEL, 0, 0);
    if (at < 0 || static_cast<size_t>(at) >= days_.size()) return TodayNumber();
    const int64_t day = ParseShortDate(days_[static_cast<size_t>(at)], pattern_);
    return day < 0 ? TodayNumber() : day;
}

void TForm5::Load() {
    today_ = TodayNumber();
    const DayRange range = PeriodAround(kind_, ChosenDay(ComboBox1), ChosenDay(ComboBox2));
    reader_.Choose(range, today_, pattern_);
    periodChosen_ = true;
    reading_ = true;
    ShowStatus();
    PostMessageW(hwnd_, kReadStep, 0, 0);
}

void TForm5::ReadStep() {
    // Closed meanwhile.
    if (!reading_) return;
    const ULONGLONG start = GetTickCount64();
    while (reader_.Step(logs_) && GetTickCount64() - start < kSliceMs) {
    }
    if (!reader_.Current()) {
        ShowStatus();
        PostMessageW(hwnd_, kReadStep, 0, 0);
        return;
    }
    reading_ = false;
    if (periodChosen_ || reader_.Version() != shownVersion_) ShowPeriod();
    else ShowStatus();
}

void TForm5::ShowPeriod() {
    periodChosen_ = false;
    shownVersion_ = reader_.Version();
    // A snapshot of its own, whose rows the reader shares but never changes:
    // the picture keeps the one it was given until it is given this.
    auto rows = std::make_shared<PeriodRows>();
    reader_.Rows(*rows);
    period_ = std::move(rows);
    logins_ = TotalsByLogin(Period());
    SetWindowTextW(hwnd_, Period().OneDay() ? text::kReportCaption : text::kReportCaptionPeriod);
    ShowTotals();
    ShowStatus();
    PostMessageW(hwnd_, kShowPicture, 0, 0);
}

void TForm5::ShowPicture() {
    PictureOptions options;
    options.watchOn = !hours_.disabled;
    options.timeBegin = hours_.begin;
    options.timeEnd = hours_.end;
    options.today = TodayNumber(&options.nowSecond);
    LinePicture picture = BuildLinePicture(Period(), options);
    summary_ = PictureSummaryText(Period(), picture);
    if (picture_) picture_->Show(period_, std::move(picture));
    PostMessageW(hwnd_, kShowList, 0, 0);
}

// The list's rows and the picture's room, after the period is shown.
void TForm5::ShowList() {
    const size_t before = static_cast<size_t>(SendMessageW(list_, LVM_GETITEMCOUNT, 0, 0));
    const size_t count = loginsShown_ ? logins_.size() : Period().rows.size();
    // New rows at the end are followed while the end is in view.
    const size_t top = static_cast<size_t>(SendMessageW(list_, LVM_GETTOPINDEX, 0, 0));
    const size_t page = static_cast<size_t>(SendMessageW(list_, LVM_GETCOUNTPERPAGE, 0, 0));
    const bool atEnd = top + page >= before;
    if (count != before) SendMessageW(list_, LVM_SETITEMCOUNT, count, LVSICF_NOSCROLL);
    // A row's ending and figures change when its hang-up comes.
    InvalidateRect(list_, nullptr, FALSE);
    if (!loginsShown_ && count > before && before > 0 && atEnd) PostMessageW(hwnd_, kFollowEnd, count - 1, 0);
    // The picture's height follows the number of days.
    RECT room;
    GetClientRect(picture_ ? picture_->Handle() : list_, &room);
    if (picture_ && picture_->NaturalHeight(room.right) != pictureNatural_) LayoutControls();
}

void TForm5::ShowColumns() {
    while (SendMessageW(list_, LVM_DELETECOLUMN, 0, 0)) {
    }
    const Column* columns = loginsShown_ ? kLoginColumns : kConnectionColumns;
    const size_t count = loginsShown_ ? sizeof kLoginColumns / sizeof kLoginColumns[0]
                                      : sizeof kConnectionColumns / sizeof kConnectionColumns[0];
    for (size_t i = 0; i < count; ++i) {
        std::wstring caption = FromCp1251(loginsShown_ ? text::kLoginColumns[i] : text::kReportColumns[i]);
        // Wide enough for its heading and for what it usually holds, in the list's own font.
        const int heading = static_cast<int>(SendMessageW(list_, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(caption.c_str())));
        const int sample =
            static_cast<int>(SendMessageW(list_, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(columns[i].sample)));
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        column.fmt = columns[i].format;
        column.cx = std::max(heading + Scaled(20), sample + Scaled(14));
        column.pszText = &caption[0];
        SendMessageW(list_, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
}

void TForm5::ShowTotals() {
    std::string totals = TotalsText(TotalsOf(Period().rows));
    if (loginsShown_) totals += text::kTotalsLogins + std::to_string(logins_.size());
    SetWindowText1251(GetDlgItem(hwnd_, StaticText1), totals);
}

void TForm5::ShowStatus() {
    std::string status;
    if (reading_) {
        const DayRange& range = reader_.Range();
        status = text::kStatusPeriod + FormatShortDate(range.first, pattern_);
        if (range.last != range.first) status += text::kDayRangeDash + FormatShortDate(range.last, pattern_);
        status += text::kStatusReading + std::to_string(reader_.DaysLookedAt()) + text::kStatusOf +
                  std::to_string(reader_.DaysToLookAt());
    } else {
        status = PeriodStatusText(Period());
    }
    SetWindowText1251(GetDlgItem(hwnd_, StaticText3), status);
}

void TForm5::RadioButtonClick(int id) {
    if (id == RadioButton5 || id == RadioButton6) {
        // The command may come from elsewhere than the button (the test driver, the demo).
        CheckRadioButton(hwnd_, RadioButton5, RadioButton6, id);
        if (loginsShown_ == (id == RadioButton6)) return;
        loginsShown_ = id == RadioButton6;
        SendMessageW(list_, LVM_SETITEMCOUNT, 0, 0);
        ShowColumns();
        SendMessageW(list_, LVM_SETITEMCOUNT, loginsShown_ ? logins_.size() : Period().rows.size(), 0);
        ShowTotals();
        return;
    }
    CheckRadioButton(hwnd_, RadioButton1, RadioButton4, id);
    const PeriodKind kinds[] = {PeriodKind::Day, PeriodKind::Week, PeriodKind::Month, PeriodKind::Range};
    kind_ = kinds[id - RadioButton1];
    EnableWindow(GetDlgItem(hwnd_, ComboBox2), kind_ == PeriodKind::Range);
    Load();
}

void TForm5::Forget() {
    reader_ = PeriodReader();
    reading_ = false;
    SendMessageW(list_, LVM_SETITEMCOUNT, 0, 0);
    period_.reset();
    std::vector<LoginTotals>().swap(logins_);
    std::wstring().swap(cellText_);
    std::string().swap(summary_);
    if (picture_) picture_->Show(nullptr, LinePicture());
}

void TForm5::Button1Click() {
    // Everything from the start: the days on offer and every log of the period.
    reader_ = PeriodReader();
    FillDays();
    Load();
}

void TForm5::Timer1Timer() {
    if (reading_) return;
    // Past midnight a window that showed today goes on to the new day.
    if (followsToday_ && today_ != TodayNumber()) {
        FillDays();
        Load();
        return;
    }
    // Each day's file looked at again; only what changed is read.
    reader_.Recheck();
    reading_ = true;
    ReadStep();
}

void TForm5::ListView1Change(const NMLISTVIEW& change) {
    if (loginsShown_ || !picture_ || !(change.uChanged & LVIF_STATE)) return;
    if ((change.uNewState & LVIS_SELECTED) && change.iItem >= 0) picture_->Select(static_cast<size_t>(change.iItem));
}

void TForm5::Image1Click(size_t row) {
    if (loginsShown_) RadioButtonClick(RadioButton5);
    SendMessageW(list_, LVM_ENSUREVISIBLE, row, FALSE);
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list_, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
    if (picture_) picture_->Select(row);
}

void TForm5::GetDispInfo(NMLVDISPINFOW& info) {
    if (!(info.item.mask & LVIF_TEXT) || !info.item.pszText || info.item.cchTextMax <= 0) return;
    info.item.pszText[0] = L'\0';
    if (info.item.iItem < 0) return;
    const size_t row = static_cast<size_t>(info.item.iItem);
    const size_t column = static_cast<size_t>(info.item.iSubItem);
    std::vector<std::string> texts;
    if (loginsShown_ && row < logins_.size()) texts = LoginTotalsTexts(logins_[row]);
    else if (!loginsShown_ && row < Period().rows.size()) texts = RowTexts(Period().rows[row]);
    if (column >= texts.size()) return;
    cellText_ = FromCp1251(texts[column]);
    lstrcpynW(info.item.pszText, cellText_.c_str(), info.item.cchTextMax);
}

// The period's dates, as the file names proposed carry them.
std::wstring TForm5::PeriodFileName() const {
    std::wstring name;
    const PeriodRows& period = Period();
    if (!period.Empty()) {
        name = FromCp1251(period.days.front().text);
        if (!period.OneDay()) name += L"_" + FromCp1251(period.days.back().text);
    }
    // A date with slashes (other locales) cannot be part of a file name.
    for (wchar_t& c : name)
        if (c == L'/' || c == L'\\' || c == L':') c = L'-';
    return name;
}

bool TForm5::AskSavePath(const std::wstring& name, const std::wstring& filter, const wchar_t* extension,
                         std::wstring& path, DWORD& filterIndex) {
    std::wstring file(32768, L'\0');
    name.copy(&file[0], std::min(name.size(), file.size() - 1));
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = hwnd_;
    dialog.lpstrFilter = filter.c_str();
    dialog.nFilterIndex = filterIndex;
    dialog.lpstrFile = &file[0];
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.lpstrDefExt = extension;
    dialog.Flags = OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (!GetSaveFileNameW(&dialog)) return false;
    path = file.substr(0, file.find(L'\0'));
    filterIndex = dialog.nFilterIndex;
    return true;
}

void TForm5::Button2Click() {
    // Both kinds of file: Windows-1251 as Excel reads it on a Russian Windows, or UTF-8 with its mark.
    const std::wstring filter = std::wstring(text::kReportCsvFilter1251) + L'\0' + L"*.csv" + L'\0' +
                                text::kReportCsvFilterUtf8 + L'\0' + L"*.csv" + L'\0';
    const std::wstring name =
        (loginsShown_ ? text::kReportLoginCsvName : text::kReportCsvName) + PeriodFileName() + L".csv";
    std::wstring path;
    DWORD kind = 1;
    if (!AskSavePath(name, filter, L"csv", path, kind)) return;
    const std::string csv = loginsShown_ ? LoginTotalsCsv(logins_) : ConnectionReportCsv(Period().rows);
    const std::string bytes = kind == 2 ? Utf8WithBom(csv) : csv;
    UniqueHandle out(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    const bool saved = out && WriteFile(out.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                       written == bytes.size();
    if (!saved) ShowErrorBox(hwnd_, FillPercentS(text::kReportSaveFailed, ToCp1251(path)));
}

void TForm5::Button3Click() {
    if (!picture_) return;
    SIZE size{};
    BitmapPtr bitmap = picture_->Render(size);
    if (!bitmap || !CopyBitmapToClipboard(hwnd_, bitmap.get(), size)) ShowErrorBox(hwnd_, text::kReportCopyFailed);
}

void TForm5::Button4Click() {
    if (!picture_) return;
    const std::wstring filter = std::wstring(text::kReportPngFilter) + L'\0' + L"*.png" + L'\0';
    std::wstring path;
    DWORD kind = 1;
    if (!AskSavePath(text::kReportPngName + PeriodFileName() + L".png", filter, L"png", path, kind)) return;
    SIZE size{};
    BitmapPtr bitmap = picture_->Render(size);
    if (!bitmap || !SaveBitmapAsPng(bitmap.get(), size, path))
        ShowErrorBox(hwnd_, FillPercentS(text::kReportSaveFailed, ToCp1251(path)));
}
