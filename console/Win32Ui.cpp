#include "Win32Ui.h"

#include "ConsoleTexts.h"

#include <algorithm>

#include "Dpi.h"
#include "Win32Files.h"

std::string ProgramFolder() { return ModuleFolder(nullptr); }

PictureBitmaps MakePictureBitmaps(const PictureGrid& grid, int size) {
    const std::vector<uint32_t> pixels = PicturePixels(grid, size);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = size;
    info.bmiHeader.biHeight = -size;  // top row first, as the grid
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    PictureBitmaps result;
    result.colour.reset(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    // Monochrome rows are padded to 16 bits; bits run from the high bit of each byte.
    const size_t rowBytes = static_cast<size_t>((size + 15) / 16 * 2);
    std::vector<BYTE> maskRows(rowBytes * static_cast<size_t>(size), 0);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const bool transparent = (pixels[static_cast<size_t>(y) * size + x] >> 24) == 0;
            if (transparent) maskRows[y * rowBytes + x / 8] |= static_cast<BYTE>(0x80 >> (x % 8));
        }
    }
    if (bits) {
        auto* out = static_cast<uint32_t*>(bits);
        for (size_t i = 0; i < pixels.size(); ++i) out[i] = (pixels[i] >> 24) ? pixels[i] : 0;
    }
    result.mask.reset(CreateBitmap(size, size, 1, 1, maskRows.data()));
    return result;
}

IconPtr MakePictureIcon(const PictureGrid& grid, int size) {
    PictureBitmaps bitmaps = MakePictureBitmaps(grid, size);
    ICONINFO info{};
    info.fIcon = TRUE;
    info.hbmColor = bitmaps.colour.get();
    info.hbmMask = bitmaps.mask.get();
    // The icon takes copies; the bitmaps go with this scope.
    return IconPtr(CreateIconIndirect(&info));
}

FontPtr MakeConsoleFont(int weight, int dpi) {
    if (dpi <= 0) dpi = WindowDpi(nullptr);
    LOGFONTW lf{};
    lf.lfHeight = -MulDiv(8, dpi, 72);
    lf.lfWeight = weight;
    lf.lfCharSet = RUSSIAN_CHARSET;
    lstrcpynW(lf.lfFaceName, text::kFontFace, LF_FACESIZE);
    return FontPtr(CreateFontIndirectW(&lf));
}

void AllowMessageFromLowerIntegrity(HWND window, UINT message) {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    // Windows 7's ChangeWindowMessageFilterEx, whose declarations the Vista
    // API level leaves out: its last argument may be null, its action 1 allows.
    using PerWindow = BOOL(WINAPI*)(HWND, UINT, DWORD, void*);
    constexpr DWORD kAllow = 1;
    using ForProcess = BOOL(WINAPI*)(UINT, DWORD);
    if (auto perWindow = reinterpret_cast<PerWindow>(
            reinterpret_cast<void*>(GetProcAddress(user32, "ChangeWindowMessageFilterEx")))) {
        perWindow(window, message, kAllow, nullptr);
    } else if (auto forProcess = reinterpret_cast<ForProcess>(
                   reinterpret_cast<void*>(GetProcAddress(user32, "ChangeWindowMessageFilter")))) {
        forProcess(message, MSGFLT_ADD);
    }
}
