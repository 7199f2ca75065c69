#include "About.h"

#include <shellapi.h>

#include <algorithm>

#include "DialogTexts.h"
#include "Win32Files.h"
#include "logic/OptionsLogic.h"

namespace {

const wchar_t kClass[] = L"TForm4";
// The design's pixels at 100 %.
constexpr int kClientWidth = 305;
constexpr int kMargin = 8;
constexpr int kTextWidth = 289;
constexpr int kTextHeight = 137;
constexpr int kButtonLeft = 104;
constexpr int kButtonGap = 7;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;
constexpr int kBottomMargin = 6;

using namespace form4;

}  // namespace

std::string HelpFileFullName() { return HelpFilePath(ModuleFileName(nullptr)); }

void OpenHelpFile(HWND owner) {
    ShellExecuteA(owner, nullptr, HelpFileFullName().c_str(), "", "", SW_SHOWNORMAL);
}

TForm4* TForm4::Create(HINSTANCE instance) {
    RegisterFormClass(instance, kClass, FormWndProc<TForm4>);
    return CreateDialogWindow(std::unique_ptr<TForm4>(new TForm4()), instance, kClass, dialog_text::kAboutCaption, 222,
                              290, kClientWidth, kMargin + kTextHeight + kButtonGap + kButtonHeight + kBottomMargin);
}

LRESULT TForm4::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_CREATE: CreateControls(); return 0;
        case WM_COMMAND:
            // Esc comes as IDCANCEL, and closes the box as OK does.
            if (HIWORD(wParam) == BN_CLICKED && (LOWORD(wParam) == BitBtn1 || LOWORD(wParam) == IDCANCEL)) BitBtn1Click();
            return 0;
        case DM_GETDEFID: return MAKELRESULT(BitBtn1, DC_HASDEFID);
        case WM_DRAWITEM: {
            const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (item->CtlID == BitBtn1) {
                DrawBitBtn1(*item);
                return TRUE;
            }
            break;
        }
        case WM_ACTIVATE:
            if (LOWORD(wParam) != WA_INACTIVE) SetFocus(GetDlgItem(hwnd_, BitBtn1));
            return 0;
        case WM_DPICHANGED: ApplyDpi(DpiOfChange(wParam), lParam); return 0;
        case WM_CLOSE: done_ = true; return 0;
    }
    return DefWindowProcW(hwnd_, msg, wParam, lParam);
}

void TForm4::CreateControls() {
    AddControl(hwnd_, 0, L"STATIC", dialog_text::kAboutText, SS_SUNKEN | SS_LEFT | SS_NOPREFIX, 0, 0, 0, 0,
               StaticText1, nullptr);
    // Drawn here for the OK glyph: a green check mark before the caption.
    AddControl(hwnd_, 0, L"BUTTON", dialog_text::kAboutOk, WS_TABSTOP | BS_OWNERDRAW, 0, 0, 0, 0, BitBtn1, nullptr);
    ApplyDpi(WindowDpi(hwnd_));
}

// The design's places at this scale; the text's box grows downwards where
// the text, wrapped, needs more room in the font of this scale.
void TForm4::ApplyDpi(int dpi, LPARAM suggested) {
    dpi_ = dpi;
    font_ = MakeConsoleFont(FW_NORMAL, dpi);
    SetFontOfChildren(hwnd_, font_.get());
    const int margin = Scaled(kMargin, dpi), width = Scaled(kTextWidth, dpi);
    // Inside the sunken edge.
    const int wrapped = WrappedHeight(hwnd_, font_.get(), dialog_text::kAboutText, width - 2) + 2;
    const int height = std::max(Scaled(kTextHeight, dpi), wrapped);
    PlaceControl(GetDlgItem(hwnd_, StaticText1), margin, margin, width, height);
    const int buttonTop = margin + height + Scaled(kButtonGap, dpi);
    PlaceControl(GetDlgItem(hwnd_, BitBtn1), Scaled(kButtonLeft, dpi), buttonTop, Scaled(kButtonWidth, dpi),
                 Scaled(kButtonHeight, dpi));
    SetDialogClientSize(hwnd_, Scaled(kClientWidth, dpi), buttonTop + Scaled(kButtonHeight + kBottomMargin, dpi), dpi,
                        suggested);
    InvalidateRect(hwnd_, nullptr, TRUE);
}

void TForm4::ShowModal(HWND owner) {
    done_ = false;
    RunModal(hwnd_, owner, done_);
}

void TForm4::BitBtn1Click() { done_ = true; }

void TForm4::DrawBitBtn1(const DRAWITEMSTRUCT& item) {
    HDC dc = item.hDC;
    RECT r = item.rcItem;
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    const bool focused = (item.itemState & ODS_FOCUS) != 0;
    // The default button's dark frame, then the raised or pressed face.
    FrameRect(dc, &r, GetSysColorBrush(COLOR_WINDOWFRAME));
    InflateRect(&r, -1, -1);
    DrawFrameControl(dc, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (pressed ? DFCS_PUSHED : 0));
    const int shift = pressed ? 1 : 0;

    const std::wstring caption = dialog_text::kAboutOk;
    {
        SelectedObject font(dc, font_.get());
        SIZE text{};
        GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &text);
        const int glyph = Scaled(11, dpi_);
        const int gap = Scaled(4, dpi_);
        const int left = (item.rcItem.left + item.rcItem.right - (glyph + gap + text.cx)) / 2 + shift;
        const int middle = (item.rcItem.top + item.rcItem.bottom) / 2 + shift;

        const PenPtr pen(CreatePen(PS_SOLID, Scaled(2, dpi_), RGB(0, 128, 0)));
        {
            SelectedObject selectedPen(dc, pen.get());
            const int stroke = Scaled(4, dpi_);
            const POINT check[] = {{left, middle}, {left + stroke, middle + stroke}, {left + glyph, middle - stroke}};
            Polyline(dc, check, 3);
        }

        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
        TextOutW(dc, left + glyph + gap, middle - text.cy / 2, caption.c_str(), static_cast<int>(caption.size()));
    }
    if (focused) {
        RECT focus = r;
        InflateRect(&focus, -Scaled(3, dpi_), -Scaled(3, dpi_));
        DrawFocusRect(dc, &focus);
    }
}
