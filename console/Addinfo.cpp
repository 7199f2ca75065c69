#include "Addinfo.h"

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

struct Place {
    int x, y, width, height;
};
// StaticText1 to StaticText10: the left column, then the right one.
const Place kFieldPlaces[kUserInfoFields] = {
    {8, 40, 200, 17},   {8, 72, 200, 17},   {8, 104, 200, 17},  {8, 136, 200, 17},  {8, 168, 200, 17},
    {224, 40, 200, 17}, {224, 72, 200, 17}, {224, 104, 200, 17}, {224, 136, 200, 17}, {224, 168, 200, 17},
};

}  // namespace

TForm2* TForm2::Create(HINSTANCE instance) {
    RegisterFormClass(instance, kClass, FormWndProc<TForm2>);
    return CreateDialogWindow(std::unique_ptr<TForm2>(new TForm2()), instance, kClass, dialog_text::kUserInfoCaption,
                              300, 183, 435, 345);
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
    }
    return DefWindowProcW(hwnd_, msg, wParam, lParam);
}

void TForm2::CreateControls() {
    font_ = MakeDialogFont();
    HFONT font = font_.get();
    auto field = [&](int i) {
        const Place& p = kFieldPlaces[i];
        // No prefix: an "&" in a password is shown, not turned into an underline.
        AddControl(hwnd_, 0, L"STATIC", L"", SS_SUNKEN | SS_LEFTNOWORDWRAP | SS_NOPREFIX, p.x, p.y, p.width, p.height,
                   StaticText1 + i, font);
    };
    // Created in tab order.
    for (int i = 0; i < 7; ++i) field(i);
    HWND memo = AddControl(hwnd_, WS_EX_CLIENTEDGE, L"EDIT", L"",
                           WS_TABSTOP | ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL, 8, 200, 417, 105, Memo1, font);
    SendMessageW(memo, EM_SETLIMITTEXT, 0, 0);
    AddControl(hwnd_, 0, L"BUTTON", dialog_text::kOk, WS_TABSTOP | BS_PUSHBUTTON, 128, 312, 75, 25, Button1, font);
    AddControl(hwnd_, 0, L"BUTTON", dialog_text::kCancel, WS_TABSTOP | BS_PUSHBUTTON, 232, 312, 75, 25, Button2, font);
    for (int i = 7; i < 10; ++i) field(i);
    AddControl(hwnd_, WS_EX_CLIENTEDGE, L"EDIT", L"", WS_TABSTOP | ES_AUTOHSCROLL, 8, 8, 417, 21, Edit1, font);
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
