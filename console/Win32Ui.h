// Small Win32 pieces of the console: owned GDI and shell handles, the
// Windows-1251 boundary of window texts.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "CodePage.h"
#include "DateText.h"
#include "logic/Pictures.h"

struct GdiObjectDeleter {
    void operator()(void* object) const { DeleteObject(static_cast<HGDIOBJ>(object)); }
};
struct IconDeleter {
    void operator()(HICON icon) const { DestroyIcon(icon); }
};
struct MenuDeleter {
    void operator()(HMENU menu) const { DestroyMenu(menu); }
};
struct ImageListDeleter {
    void operator()(HIMAGELIST list) const { ImageList_Destroy(list); }
};
using FontPtr = std::unique_ptr<std::remove_pointer_t<HFONT>, GdiObjectDeleter>;

// "MS Sans Serif", 8 point, Cyrillic: the font of every window of the console,
// at `dpi` (WindowDpi of the window it is for; 0 for the screen's).
FontPtr MakeConsoleFont(int weight = FW_NORMAL, int dpi = 0);
using BitmapPtr = std::unique_ptr<std::remove_pointer_t<HBITMAP>, GdiObjectDeleter>;
using PenPtr = std::unique_ptr<std::remove_pointer_t<HPEN>, GdiObjectDeleter>;
using IconPtr = std::unique_ptr<std::remove_pointer_t<HICON>, IconDeleter>;
using MenuPtr = std::unique_ptr<std::remove_pointer_t<HMENU>, MenuDeleter>;
using ImageListPtr = std::unique_ptr<std::remove_pointer_t<HIMAGELIST>, ImageListDeleter>;

// A window's DC (the screen's for a null window), released with this scope.
class WindowDc {
public:
    explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~WindowDc() {
        if (dc_) ReleaseDC(window_, dc_);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

// An object selected into a DC for this scope; the one it replaced is put
// back at its end, so that the DC never holds an object deleted meanwhile.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~SelectedObject() {
        if (previous_ && previous_ != HGDI_ERROR) SelectObject(dc_, previous_);
    }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// The folder of the running program, with its final backslash.
std::string ProgramFolder();

// A picture as a colour bitmap and its transparency mask, `size` pixels square.
struct PictureBitmaps {
    BitmapPtr colour;
    BitmapPtr mask;
};
PictureBitmaps MakePictureBitmaps(const PictureGrid& grid, int size = kPictureSize);
IconPtr MakePictureIcon(const PictureGrid& grid, int size = kPictureSize);

// Lets `message` reach `window` from processes of a lower integrity level
// (the shell's broadcasts to this elevated console): per window where the
// system can (Windows 7 and later), for the process on Windows Vista and
// Server 2008, whose user32 lacks the per-window call.
void AllowMessageFromLowerIntegrity(HWND window, UINT message);
