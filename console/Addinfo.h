// The user information dialog TForm2: the current user's whole record and
// profile text, read each time it is shown. It writes nothing.
#pragma once
#include <windows.h>

#include <string>

#include "DialogFrame.h"

namespace form2 {
enum Control : int {
    Button1 = IDOK,
    Button2 = IDCANCEL,
    // Numbered in a row: StaticText1 + i shows line i + 1 of the record.
    StaticText1 = 1100, StaticText2, StaticText3, StaticText4, StaticText5,
    StaticText6, StaticText7, StaticText8, StaticText9, StaticText10,
    Memo1,
    Edit1,
};
}  // namespace form2

class TForm2 {
public:
    // Creates the hidden dialog once, at program start.
    static TForm2* Create(HINSTANCE instance);
    HWND Handle() const { return hwnd_; }

    // Fills the dialog from `usersFolder` (FormShow) and shows it modally
    // until ОК, Отмена or the close box.
    void ShowModal(HWND owner, const std::string& usersFolder);

private:
    TForm2() = default;
    template <class Form>
    friend LRESULT CALLBACK FormWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void CreateControls();
    void ApplyDpi(int dpi, LPARAM suggested = 0);
    void FormShow(const std::string& usersFolder);

    HWND hwnd_ = nullptr;
    int dpi_ = 96;
    HWND focus_ = nullptr;
    FontPtr font_;
    bool done_ = true;
};
