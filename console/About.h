// The About box TForm4, and opening the help file beside the program.
#pragma once
#include <windows.h>

#include <string>

#include "DialogFrame.h"

namespace form4 {
enum Control : int {
    BitBtn1 = IDOK,
    StaticText1 = 1200,
};
}  // namespace form4

class TForm4 {
public:
    // Creates the hidden box once, at program start.
    static TForm4* Create(HINSTANCE instance);
    HWND Handle() const { return hwnd_; }
    // Until OK, Enter or the close box.
    void ShowModal(HWND owner);

private:
    TForm4() = default;
    template <class Form>
    friend LRESULT CALLBACK FormWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void CreateControls();
    void ApplyDpi(int dpi, LPARAM suggested = 0);
    void BitBtn1Click();
    void DrawBitBtn1(const DRAWITEMSTRUCT& item);

    HWND hwnd_ = nullptr;
    int dpi_ = 96;
    FontPtr font_;
    bool done_ = true;
};

// The full name of qv_admin.chm in the running program's folder.
std::string HelpFileFullName();
// Asks the shell to open the help file; what the shell does is its affair.
void OpenHelpFile(HWND owner);
