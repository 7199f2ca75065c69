#include "Addinfo.h"

#include <algorithm>
#include <vector>

#include "DialogTexts.h"
#include "UserFilesFormat.h"
#include "Win32Files.h"
#include "logic/Monitor.h"
#include "logic/OptionsLogic.h"

namespace {

const wchar_t kClass[] = L"TForm2";
// No line of the record is expected to be anywhere near this long; the cut
// only bounds what a damaged file can make the dialog hold.
constexpr size_t kMaxLineBytes = 4096;

using namespace form2;

// The design's places at 100 %.
struct Place {
    int id;
    int x, y, width, height;
};
// StaticText1 to StaticText10: the left column, then the right one; then the
// text area, the buttons and the path field.
const Place kPlaces[] = {
    {StaticText1, 8, 40, 200, 17},   {StaticText2, 8, 72, 200, 17},   {StaticText3, 8, 104, 200, 17},
    {StaticText4, 8, 136, 200, 17},  {StaticText5, 8, 168, 200, 17},  {StaticText6, 224, 40, 200, 17},
    {StaticText7, 224, 72, 200, 17}, {StaticText8, 224, 104, 200, 17}, {StaticText9, 224, 136, 200, 17},
    {StaticText10, 224, 168, 200, 17}, {Memo1, 8, 200, 417, 105},    {Button1, 128, 312, 75, 25},
    {Button2, 232, 312, 75, 25},     {Edit1, 8, 8, 417, 21},
};
constexpr int kClientWidth = 435;
constexpr int kClientHeight = 345;

}  // namespace

TForm2* TForm2::Create(HINSTANCE instance) {
    RegisterFormClass(instance, kClass, FormWndProc<TForm2>);
    return CreateDialogWindow(std::unique_ptr<TForm2>(new TForm2()), instance, kClass, dialog_text::kUserInfoCaption,
                              300, 183, kClientWidth, kClientHeight);
}

LRESULT TForm2::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_CREATE: CreateControls(); return 0;
        case WM_COMMAND:
            // ОК and Отмена both only close: the dialog is a view.
            if (HIWORD(wParam) == BN_CLICKED && (LOWORD(wParam) == Button1 || LOWORD(wParam) == Button2)) done_ = true;
            return 0;
        case WM_CTLCOLOREDIT:
            if (GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) == Memo1) {
                SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_SCROLLBAR));
                return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_SCROLLBAR));
            }
            break;
        case WM_ACTIVATE:
            if (LOWORD(wParam) == WA_INACTIVE) SaveFocus(hwnd_, focus_);
            else RestoreFocus(hwnd_, focus_);
            return 0;
        case WM_CLOSE: done_ = true; return 0;
        case WM_DPICHANGED: ApplyDpi(DpiOfChange(wParam), lParam); return 0;
        case WM_NEXTDLGCTL: NextDialogControl(hwnd_, wParam, lParam); return 0;
    }
    return DefWindowProcW(hwnd_, msg, wParam, lParam);
}

void TForm2::CreateControls() {
    auto field = [&](int i) {
        // No prefix: an "&" in a password is shown, not turned into an underline.
        AddControl(hwnd_, 0, L"STATIC", L"", SS_SUNKEN | SS_LEFTNOWORDWRAP | SS_NOPREFIX, 0, 0, 0, 0, StaticText1 + i,
                   nullptr);
    };
    // Created in tab order.
    for (int i = 0; i < 7; ++i) field(i);
    HWND memo = AddControl(hwnd_, WS_EX_CLIENTEDGE, L"EDIT", L"",
                           WS_TABSTOP | ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL, 0, 0, 0, 0, Memo1, nullptr);
    SendMessageW(memo, EM_SETLIMITTEXT, 0, 0);
    AddControl(hwnd_, 0, L"BUTTON", dialog_text::kOk, WS_TABSTOP | BS_PUSHBUTTON, 0, 0, 0, 0, Button1, nullptr);
    AddControl(hwnd_, 0, L"BUTTON", dialog_text::kCancel, WS_TABSTOP | BS_PUSHBUTTON, 0, 0, 0, 0, Button2, nullptr);
    for (int i = 7; i < 10; ++i) field(i);
    AddControl(hwnd_, WS_EX_CLIENTEDGE, L"EDIT", L"", WS_TABSTOP | ES_AUTOHSCROLL, 0, 0, 0, 0, Edit1, nullptr);
    ApplyDpi(WindowDpi(hwnd_));
}

// The design's places at this scale. A field or the path is never lower
// than a line of the font of this scale.
void TForm2::ApplyDpi(int dpi, LPARAM suggested) {
    dpi_ = dpi;
    font_ = MakeConsoleFont(FW_NORMAL, dpi);
    SetFontOfChildren(hwnd_, font_.get());
    const int line = FontHeight(hwnd_, font_.get());
    for (const Place& p : kPlaces) {
        int height = Scaled(p.height, dpi);
        if (p.id != Memo1) height = std::max(height, line + (p.id == Edit1 ? 6 : 2));
        PlaceControl(GetDlgItem(hwnd_, p.id), Scaled(p.x, dpi), Scaled(p.y, dpi), Scaled(p.width, dpi), height);
    }
    SetDialogClientSize(hwnd_, Scaled(kClientWidth, dpi), Scaled(kClientHeight, dpi), dpi, suggested);
    InvalidateRect(hwnd_, nullptr, TRUE);
}

void TForm2::ShowModal(HWND owner, const std::string& usersFolder) {
    FormShow(usersFolder);
    done_ = false;
    RunModal(hwnd_, owner, done_);
}

void TForm2::FormShow(const std::string& usersFolder) {
    const std::string recordPath = CurrentUserFileName(usersFolder);
    SetWindowText1251(GetDlgItem(hwnd_, Edit1), recordPath);
    std::vector<std::string> lines;
    // A record that is gone (or held by its writer) leaves the fields as they were.
    if (!FileExists(recordPath) || !ReadFileLines(recordPath, kUserInfoFields, kMaxLineBytes, lines)) return;
    const auto fields = UserInfoFieldTexts(lines);
    for (size_t i = 0; i < fields.size(); ++i)
        SetWindowText1251(GetDlgItem(hwnd_, StaticText1 + static_cast<int>(i)), fields[i]);
    // A user without a profile file gets an empty text area, not the
    // previous user's text.
    std::string profile;
    const std::string profilePath = UserProfileFileName(usersFolder, LineOrEmpty(lines, 1));
    if (!FileExists(profilePath) || !ReadWholeFile(profilePath, profile)) profile.clear();
    // Lines as the edit control breaks them: CR LF, and no NUL ending the text early.
    SetWindowText1251(GetDlgItem(hwnd_, Memo1), LogViewText(profile));
}
