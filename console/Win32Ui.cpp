#include "Win32Ui.h"

#include "ConsoleTexts.h"

#include <algorithm>

#include "Dpi.h"
#include "Win32Files.h"

std::string ProgramFolder() { return ModuleFolder(nullptr); }

PictureBitmaps MakePictureBitmaps(const PictureGrid& grid) {
    const std::vector<uint32_t> pixels = PicturePixels(grid);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = kPictureSize;
    info.bmiHeader.biHeight = -kPictureSize;  // top row first, as the grid
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    PictureBitmaps result;
    result.colour.reset(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    // Monochrome rows are padded to 16 bits: one WORD per row here.
    WORD maskRows[kPictureSize] = {};
    for (int y = 0; y < kPictureSize; ++y) {
        for (int x = 0; x < kPictureSize; ++x) {
            const bool transparent = (pixels[y * kPictureSize + x] >> 24) == 0;
            // Bits run from the high bit of the first byte.
            if (transparent) maskRows[y] |= static_cast<WORD>(x < 8 ? 0x80 >> x : 0x8000 >> (x - 8));
        }
    }
    if (bits) {
        auto* out = static_cast<uint32_t*>(bits);
        for (size_t i = 0; i < pixels.size(); ++i) out[i] = (pixels[i] >> 24) ? pixels[i] : 0;
    }
    result.mask.reset(CreateBitmap(kPictureSize, kPictureSize, 1, 1, maskRows));
    return result;
}

IconPtr MakePictureIcon(const PictureGrid& grid) {
    PictureBitmaps bitmaps = MakePictureBitmaps(grid);
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
