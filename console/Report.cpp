#include "Report.h"

#include <commctrl.h>
#include <commdlg.h>

#include "LogFormat.h"
#include "ReportTexts.h"
#include "Win32Files.h"
#include "Win32Handles.h"
#include "logic/OptionsLogic.h"
#include "logic/ReportPeriod.h"
#include "logic/ReportTable.h"

namespace {

using namespace form5;

constexpr UINT_PTR kTimer1 = 1;
constexpr UINT kTimerMs = 1000;
constexpr int kClientWidth = 740;
constexpr int kClientHeight = 430;

// The list's columns: the CSV's without the date, which the day picker shows.
struct Column {
    int width;
    int format;
};
constexpr Column kColumns[] = {{95, LVCFMT_LEFT},  {120, LVCFMT_LEFT}, {75, LVCFMT_RIGHT}, {140, LVCFMT_LEFT},
                               {90, LVCFMT_RIGHT}, {90, LVCFMT_RIGHT}, {100, LVCFMT_RIGHT}, {240, LVCFMT_LEFT}};
constexpr size_t kFirstListedText = 1;  // RowTexts' date is not listed

}  // namespace

TForm5* TForm5::Create(HINSTANCE instance, HWND owner) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    RegisterFormClass(instance, kReportWindowClass, FormWndProc<TForm5>);
    TForm5* form = CreateDialogWindow(std::unique_ptr<TForm5>(new TForm5()), instance, kReportWindowClass,
                                      text::kReportCaption, 160, 120, kClientWidth, kClientHeight);
    if (!form) return nullptr;
    // Owned by the main window: above it, and gone with it.
    SetWindowLongPtrW(form->hwnd_, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(owner));
    return form;
}

LRESULT TForm5::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_CREATE: CreateControls(); return 0;
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == Button1) Button1Click();
            if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == Button2) Button2Click();
            if (HIWORD(wParam) == CBN_SELCHANGE && LOWORD(wParam) == ComboBox1) ComboBox1Change();
            return 0;
        case WM_NOTIFY: {
            auto* header = reinterpret_cast<NMHDR*>(lParam);
            if (header->idFrom == ListView1 && header->code == LVN_GETDISPINFOW)
                GetDispInfo(*reinterpret_cast<NMLVDISPINFOW*>(lParam));
            return 0;
        }
        case WM_TIMER:
            if (wParam == kTimer1) Timer1Timer();
            return 0;
        case WM_CLOSE:
            // Kept for the next time; it reads nothing while hidden.
            KillTimer(hwnd_, kTimer1);
            ShowWindow(hwnd_, SW_HIDE);
            return 0;
    }
    return DefWindowProcW(hwnd_, msg, wParam, lParam);
}

void TForm5::CreateControls() {
    font_ = MakeDialogFont();
    HFONT font = font_.get();
    AddControl(hwnd_, 0, L"STATIC", text::kReportDay, SS_LEFT, 8, 11, 40, 17, Label1, font);
    AddControl(hwnd_, 0, L"COMBOBOX", L"", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 50, 8, 120, 240, ComboBox1,
               font);
    AddControl(hwnd_, 0, L"BUTTON", text::kReportRefresh, WS_TABSTOP | BS_PUSHBUTTON, 180, 7, 90, 23, Button1, font);
    AddControl(hwnd_, 0, L"BUTTON", text::kReportSaveCsv, WS_TABSTOP | BS_PUSHBUTTON, 280, 7, 120, 23, Button2, font);
    // Owner data: the list asks for the cells it shows, so a day of
    // thousands of connections goes in at once.
    list_ = AddControl(hwnd_, WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                       WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS | LVS_SINGLESEL, 8, 38, 724, 356,
                       ListView1, font);
    SendMessageW(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    for (size_t i = 0; i < sizeof kColumns / sizeof kColumns[0]; ++i) {
        std::wstring caption = FromCp1251(text::kReportColumns[i + kFirstListedText]);
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        column.fmt = kColumns[i].format;
        column.cx = kColumns[i].width;
        column.pszText = &caption[0];
        SendMessageW(list_, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
    AddControl(hwnd_, 0, L"STATIC", L"", SS_SUNKEN | SS_LEFTNOWORDWRAP | SS_NOPREFIX, 8, 402, 724, 20, StaticText1,
               font);
}

void TForm5::Show(const std::string& logFolder) {
    if (IsWindowVisible(hwnd_)) {
        SetForegroundWindow(hwnd_);
        return;
    }
    logFolder_ = logFolder;
    FillDays();
    Button1Click();
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    SetForegroundWindow(hwnd_);
    SetTimer(hwnd_, kTimer1, kTimerMs, nullptr);
}

void TForm5::FillDays() {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((logFolder_ + "*" + kLogFileSuffix).c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    // LOG_PATH is a plain prefix: what follows its last backslash begins the file names.
    const size_t cut = logFolder_.find_last_of("\\/:");
    const std::string namePrefix = cut == std::string::npos ? logFolder_ : logFolder_.substr(cut + 1);
    char pattern[80] = "";
    GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, pattern, sizeof pattern);
    const std::string today = TodayShortDateText();
    days_ = LogDays(names, namePrefix, pattern, today);

    HWND combo = GetDlgItem(hwnd_, ComboBox1);
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    for (size_t i = 0; i < days_.size(); ++i) {
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(FromCp1251(days_[i]).c_str()));
        if (days_[i] == today) SendMessageW(combo, CB_SETCURSEL, i, 0);
    }
}

std::string TForm5::ChosenDay() const {
    const LRESULT at = SendDlgItemMessageW(hwnd_, ComboBox1, CB_GETCURSEL, 0, 0);
    if (at < 0 || static_cast<size_t>(at) >= days_.size()) return TodayShortDateText();
    return days_[static_cast<size_t>(at)];
}

void TForm5::ComboBox1Change() { Button1Click(); }

void TForm5::Button1Click() {
    const std::string day = ChosenDay();
    followedDay_ = day == TodayShortDateText() ? day : std::string();
    shownPath_ = LogFileName(logFolder_, day);
    reader_ = ConnectionLogReader();
    logFound_ = FileExists(shownPath_);
    std::string bytes;
    logRead_ = logFound_ && ReadWholeFile(shownPath_, bytes);
    if (logRead_) reader_.Feed(bytes);
    rows_ = reader_.Rows();
    ShowRows();
}

void TForm5::Timer1Timer() {
    // Past midnight a window that showed today goes on to the new day.
    if (!followedDay_.empty() && followedDay_ != TodayShortDateText()) {
        FillDays();
        Button1Click();
        return;
    }
    // The chosen day's file, usually today's, as it grows.
    WIN32_FILE_ATTRIBUTE_DATA data;
    const bool exists = GetFileAttributesExA(shownPath_.c_str(), GetFileExInfoStandard, &data) &&
                        !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    const uint64_t size = exists ? (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow : 0;
    if (exists != logFound_ || (exists && !logRead_) || size < reader_.BytesFed()) {
        // It came, went, was held by its writer or was replaced: read it whole.
        Button1Click();
        return;
    }
    if (!exists || size == reader_.BytesFed()) return;
    std::string added;
    if (!ReadFileFrom(shownPath_, reader_.BytesFed(), added)) return;
    reader_.Feed(added);
    rows_ = reader_.Rows();
    ShowRows();
}

void TForm5::ShowRows() {
    const int before = static_cast<int>(SendMessageW(list_, LVM_GETITEMCOUNT, 0, 0));
    SendMessageW(list_, LVM_SETITEMCOUNT, rows_.size(), LVSICF_NOSCROLL);
    // A row's ending and figures change when its hang-up comes.
    InvalidateRect(list_, nullptr, FALSE);
    if (static_cast<int>(rows_.size()) > before && !rows_.empty())
        SendMessageW(list_, LVM_ENSUREVISIBLE, rows_.size() - 1, FALSE);
    std::string totals;
    if (!logFound_) totals = text::kReportNoLog;
    else if (!logRead_) totals = std::string(text::kStatusUnreadable + 2) + ChosenDay();
    else totals = TotalsText(TotalsOf(rows_));
    SetWindowText1251(GetDlgItem(hwnd_, StaticText1), totals);
}

void TForm5::GetDispInfo(NMLVDISPINFOW& info) {
    if (!(info.item.mask & LVIF_TEXT) || !info.item.pszText || info.item.cchTextMax <= 0) return;
    info.item.pszText[0] = L'\0';
    const size_t row = static_cast<size_t>(info.item.iItem);
    const size_t column = static_cast<size_t>(info.item.iSubItem) + kFirstListedText;
    if (info.item.iItem < 0 || row >= rows_.size()) return;
    const std::vector<std::string> texts = RowTexts(rows_[row]);
    if (column >= texts.size()) return;
    cellText_ = FromCp1251(texts[column]);
    lstrcpynW(info.item.pszText, cellText_.c_str(), info.item.cchTextMax);
}

void TForm5::Button2Click() {
    // A date with slashes (other locales) cannot be part of a file name.
    std::wstring name = text::kReportCsvName + FromCp1251(ChosenDay()) + L".csv";
    for (wchar_t& c : name)
        if (c == L'/' || c == L'\\' || c == L':') c = L'-';
    std::wstring file(32768, L'\0');
    name.copy(&file[0], name.size());
    const std::wstring filter = std::wstring(text::kReportCsvFilter1251) + L'\0' + L"*.csv" + L'\0';
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = hwnd_;
    dialog.lpstrFilter = filter.c_str();
    dialog.lpstrFile = &file[0];
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.lpstrDefExt = L"csv";
    dialog.Flags = OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (!GetSaveFileNameW(&dialog)) return;
    file.resize(file.find(L'\0'));

    const std::string csv = ConnectionReportCsv(rows_);
    UniqueHandle out(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    const bool saved = out && WriteFile(out.Get(), csv.data(), static_cast<DWORD>(csv.size()), &written, nullptr) &&
                       written == csv.size();
    if (!saved) ShowErrorBox(hwnd_, FillPercentS(text::kReportSaveFailed, ToCp1251(file)));
}
