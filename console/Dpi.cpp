#include "Dpi.h"

namespace {

// user32's per-monitor calls, looked up at run time: the console also runs on
// systems whose user32 has none of them.
template <class Function>
Function User32(const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

}  // namespace

int WindowDpi(HWND window) {
    using ForWindow = UINT(WINAPI*)(HWND);
    static const auto forWindow = User32<ForWindow>("GetDpiForWindow");
    if (window && forWindow) {
        if (const UINT dpi = forWindow(window)) return static_cast<int>(dpi);
    }
    HDC dc = GetDC(nullptr);
    const int dpi = dc ? GetDeviceCaps(dc, LOGPIXELSY) : kDesignDpi;
    if (dc) ReleaseDC(nullptr, dc);
    return dpi > 0 ? dpi : kDesignDpi;
}

bool PerMonitorDpi() {
    using Context = HANDLE;
    using GetContext = Context(WINAPI*)();
    using Awareness = int(WINAPI*)(Context);
    static const auto get = User32<GetContext>("GetThreadDpiAwarenessContext");
    static const auto awareness = User32<Awareness>("GetAwarenessFromDpiAwarenessContext");
    // DPI_AWARENESS_PER_MONITOR_AWARE
    return get && awareness && awareness(get()) == 2;
}

void MoveToSuggestedRect(HWND window, LPARAM suggested) {
    const RECT* r = reinterpret_cast<const RECT*>(suggested);
    SetWindowPos(window, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

int MetricForDpi(int index, int dpi) {
    using ForDpi = int(WINAPI*)(int, UINT);
    static const auto forDpi = User32<ForDpi>("GetSystemMetricsForDpi");
    if (forDpi) return forDpi(index, static_cast<UINT>(dpi));
    // Before Windows 10 the metrics are the screen's, for its DPI.
    return MulDiv(GetSystemMetrics(index), dpi, WindowDpi(nullptr));
}

SIZE WindowSizeForClient(int clientWidth, int clientHeight, DWORD style, DWORD exStyle, bool menu, int dpi) {
    using ForDpi = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
    static const auto forDpi = User32<ForDpi>("AdjustWindowRectExForDpi");
    RECT r{0, 0, clientWidth, clientHeight};
    if (!forDpi || !forDpi(&r, style, menu, exStyle, static_cast<UINT>(dpi))) AdjustWindowRectEx(&r, style, menu, exStyle);
    return SIZE{r.right - r.left, r.bottom - r.top};
}
