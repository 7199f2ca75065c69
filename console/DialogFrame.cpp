#include "DialogFrame.h"

#include "DialogTexts.h"
#include "ConsoleTexts.h"

FontPtr MakeDialogFont(int dpi) { return MakeConsoleFont(FW_NORMAL, dpi); }

HWND AddControl(HWND parent, DWORD exStyle, const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y,
                int width, int height, int id, HFONT font) {
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE));
    HWND h = CreateWindowExW(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, width, height, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    if (h && font) SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return h;
}

int TextWidth(HWND window, HFONT font, const std::wstring& text) {
    WindowDc dc(window);
    SelectedObject selected(dc.get(), font);
    SIZE size{};
    GetTextExtentPoint32W(dc.get(), text.c_str(), static_cast<int>(text.size()), &size);
    return size.cx;
}

int FontHeight(HWND window, HFONT font) {
    WindowDc dc(window);
    SelectedObject selected(dc.get(), font);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc.get(), &metrics);
    return metrics.tmHeight;
}

int WrappedHeight(HWND window, HFONT font, const std::wstring& text, int width) {
    WindowDc dc(window);
    SelectedObject selected(dc.get(), font);
    RECT r{0, 0, width, 0};
    DrawTextW(dc.get(), text.c_str(), static_cast<int>(text.size()), &r,
              DT_CALCRECT | DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX);
    return r.bottom;
}

namespace {
BOOL CALLBACK SetFontOfChild(HWND child, LPARAM font) {
    SendMessageW(child, WM_SETFONT, static_cast<WPARAM>(font), FALSE);
    return TRUE;
}
}  // namespace

void SetFontOfChildren(HWND window, HFONT font) {
    EnumChildWindows(window, SetFontOfChild, reinterpret_cast<LPARAM>(font));
}

void PlaceControl(HWND control, int x, int y, int width, int height) {
    SetWindowPos(control, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

SIZE DialogWindowSize(int clientWidth, int clientHeight, int dpi) {
    return WindowSizeForClient(clientWidth, clientHeight, kDialogStyle, kDialogExStyle, false, dpi);
}

void SetDialogClientSize(HWND dialog, int clientWidth, int clientHeight, int dpi, LPARAM suggested) {
    const SIZE size = DialogWindowSize(clientWidth, clientHeight, dpi);
    RECT r;
    GetWindowRect(dialog, &r);
    if (suggested) r = *reinterpret_cast<const RECT*>(suggested);
    SetWindowPos(dialog, nullptr, r.left, r.top, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
    // The frame may be another than the one computed for `dpi` (a system
    // that scales the frame for the screen only): the client area decides.
    RECT client;
    GetClientRect(dialog, &client);
    const int dx = clientWidth - client.right, dy = clientHeight - client.bottom;
    if (dx != 0 || dy != 0)
        SetWindowPos(dialog, nullptr, 0, 0, size.cx + dx, size.cy + dy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

std::wstring WindowTextWide(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int n = GetWindowTextW(window, &text[0], length + 1);
    text.resize(n > 0 ? n : 0);
    return text;
}

std::string WindowText1251(HWND window) { return ToCp1251(WindowTextWide(window)); }

void SetWindowText1251(HWND window, std::string_view text) { SetWindowTextW(window, FromCp1251(text).c_str()); }

void ShowErrorBox(HWND owner, std::string_view text) {
    MessageBoxW(owner, FromCp1251(text).c_str(), text::kAppName, MB_OK | MB_ICONERROR);
}

bool RunModal(HWND dialog, HWND owner, const bool& done) {
    SetWindowLongPtrW(dialog, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(owner));
    const bool disableOwner = owner && IsWindowEnabled(owner);
    if (disableOwner) EnableWindow(owner, FALSE);
    ShowWindow(dialog, SW_SHOWNORMAL);
    SetForegroundWindow(dialog);
    MSG msg;
    // The window is looked at first: once it is destroyed, `done` is gone with its form.
    while (IsWindow(dialog) && !done) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (got < 0) break;
        if (!IsDialogMessageW(dialog, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    // The owner is enabled before the dialog goes, so that it, and not some
    // other program, becomes the active window.
    if (disableOwner && IsWindow(owner)) EnableWindow(owner, TRUE);
    if (!IsWindow(dialog)) return false;
    ShowWindow(dialog, SW_HIDE);
    if (owner) SetActiveWindow(owner);
    return true;
}

void NextDialogControl(HWND dialog, WPARAM wParam, LPARAM lParam) {
    HWND next = LOWORD(lParam) ? reinterpret_cast<HWND>(wParam)
                               : GetNextDlgTabItem(dialog, GetFocus(), wParam != 0 ? TRUE : FALSE);
    if (next) SetFocus(next);
}

void SaveFocus(HWND dialog, HWND& saved) {
    HWND focus = GetFocus();
    if (focus && IsChild(dialog, focus)) saved = focus;
}

void RestoreFocus(HWND dialog, HWND saved) {
    if (saved && IsWindow(saved) && IsChild(dialog, saved) && IsWindowVisible(saved)) {
        SetFocus(saved);
        return;
    }
    if (HWND first = GetNextDlgTabItem(dialog, nullptr, FALSE)) SetFocus(first);
}
