// What the console's three dialogs share: their font, child controls placed
// in pixels, window texts at the Windows-1251 boundary, the error box, and a
// modal loop that keeps dispatching the main window's timer messages.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <string_view>

#include "Dpi.h"
#include "FormWindow.h"
#include "Win32Ui.h"

using BrushPtr = std::unique_ptr<std::remove_pointer_t<HBRUSH>, GdiObjectDeleter>;

// "MS Sans Serif", 8 point, Cyrillic, at `dpi` (0: the screen's).
FontPtr MakeDialogFont(int dpi = 0);

// A child control in pixels, with the dialog font (none yet when null).
HWND AddControl(HWND parent, DWORD exStyle, const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y,
                int width, int height, int id, HFONT font);

// The width of a one-line text in the given font, for labels that size themselves.
int TextWidth(HWND window, HFONT font, const std::wstring& text);
// The height of a line of the font (tmHeight).
int FontHeight(HWND window, HFONT font);
// The height `text` takes wrapped at `width` pixels, as a static control wraps it.
int WrappedHeight(HWND window, HFONT font, const std::wstring& text, int width);

// Hands `font` to every child and deeper descendant of `window`.
void SetFontOfChildren(HWND window, HFONT font);
// Moves and sizes a child, in its parent's client pixels.
void PlaceControl(HWND control, int x, int y, int width, int height);

// The outer size of a dialog window for its client size at `dpi`, with the
// style of every dialog: a fixed border, the system menu and the minimise
// button only.
constexpr DWORD kDialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kDialogExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
SIZE DialogWindowSize(int clientWidth, int clientHeight, int dpi);

// The popup window of a dialog form at a screen position, with the given
// client size, both in the design's pixels at 100 % and scaled for the
// screen; its class has FormWndProc<Form>. The form lays itself out for the
// monitor it is on (SetDialogClientSize). As CreateFormWindow: the form
// owned by its window, or null and the form gone.
template <class Form>
Form* CreateDialogWindow(std::unique_ptr<Form> form, HINSTANCE instance, const wchar_t* cls, const wchar_t* caption,
                         int left, int top, int clientWidth, int clientHeight) {
    const int dpi = WindowDpi(nullptr);
    const SIZE size = DialogWindowSize(Scaled(clientWidth, dpi), Scaled(clientHeight, dpi), dpi);
    return CreateFormWindow(std::move(form), kDialogExStyle, cls, caption, kDialogStyle, Scaled(left, dpi),
                            Scaled(top, dpi), size.cx, size.cy, nullptr, nullptr, instance);
}

// Gives a dialog the client size its layout at `dpi` needs; at the corner a
// WM_DPICHANGED suggests (its lParam), or where it is.
void SetDialogClientSize(HWND dialog, int clientWidth, int clientHeight, int dpi, LPARAM suggested = 0);


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

// What the dialogs do with a WM_NEXTDLGCTL, which a multi-line edit control
// sends its parent for Tab and Shift+Tab: the focus moves on, as in the
// system's dialogs, rather than staying in the edit control.
void NextDialogControl(HWND dialog, WPARAM wParam, LPARAM lParam);

// Keeps the focus of a dialog across deactivation, as dialogs do.
void SaveFocus(HWND dialog, HWND& saved);
void RestoreFocus(HWND dialog, HWND saved);
