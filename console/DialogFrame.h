// What the console's three dialogs share: their font, child controls placed
// in pixels, window texts at the Windows-1251 boundary, the error box, and a
// modal loop that keeps dispatching the main window's timer messages.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <string_view>

#include "Win32Ui.h"

using BrushPtr = std::unique_ptr<std::remove_pointer_t<HBRUSH>, GdiObjectDeleter>;

// "MS Sans Serif", 8 point, Cyrillic.
FontPtr MakeDialogFont();

// A child control in pixels, with the dialog font.
HWND AddControl(HWND parent, DWORD exStyle, const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y,
                int width, int height, int id, HFONT font);

// The width of a one-line text in the given font, for labels that size themselves.
int TextWidth(HWND window, HFONT font, const std::wstring& text);

// The window class of a dialog: the system face colour, the arrow cursor.
void RegisterDialogClass(HINSTANCE instance, const wchar_t* cls, WNDPROC proc);

// The window procedure of a dialog object: the object handed to
// CreateDialogWindow is bound to its window, gets every message through its
// HandleMessage and is deleted with its window.
template <class Form>
LRESULT CALLBACK DialogWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* form = reinterpret_cast<Form*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (msg == WM_NCCREATE) {
        form = static_cast<Form*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        form->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    if (!form) return DefWindowProcW(hwnd, msg, wParam, lParam);
    const LRESULT result = form->HandleMessage(msg, wParam, lParam);
    if (msg == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        delete form;
    }
    return result;
}

// A popup window of the given client size at a screen position, with a fixed
// border, the system menu and the minimise button only.
HWND CreateDialogWindow(HINSTANCE instance, const wchar_t* cls, const wchar_t* caption, int left, int top,
                        int clientWidth, int clientHeight, void* form);

// Window texts to and from the files' Windows-1251 bytes.
std::string WindowText1251(HWND window);
std::wstring WindowTextWide(HWND window);
void SetWindowText1251(HWND window, std::string_view text);

// An error box over the dialog; the text is Windows-1251.
void ShowErrorBox(HWND owner, std::string_view text);

// Shows `dialog` owned by `owner`, which is disabled meanwhile, and runs the
// thread's messages until `done` is set. Every message of the thread is
// dispatched, so the owner's timers keep firing. A WM_QUIT ends the loop and
// is posted again for the program's own loop. False when the dialog was
// destroyed meanwhile (its owner closed under it): its form is gone then and
// `done` must not be read again.
bool RunModal(HWND dialog, HWND owner, const bool& done);

// Keeps the focus of a dialog across deactivation, as dialogs do.
void SaveFocus(HWND dialog, HWND& saved);
void RestoreFocus(HWND dialog, HWND saved);
