// The scale of the monitor a window is on. The console's windows lay out at
// their fixed pixel positions times this scale, and draw their fonts and
// pictures at its size, so that they are sharp at any display scale.
#pragma once
#include <windows.h>

// Sent when the window moves to a monitor of another DPI (Windows 8.1 and
// later); the Vista API level does not declare it.
#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

// The design's layouts are in pixels at this DPI (100 %).
constexpr int kDesignDpi = 96;

// The DPI of the monitor `window` is on: per monitor where the system says
// (Windows 10 1607 and later), otherwise the screen's. A null window gives
// the screen's.
int WindowDpi(HWND window);

// `pixels` at 96 DPI, at `dpi`.
inline int Scaled(int pixels, int dpi) { return MulDiv(pixels, dpi, kDesignDpi); }

// Whether the process lays itself out per monitor: then the system leaves
// the scaling of its windows to it (and sends WM_DPICHANGED).
bool PerMonitorDpi();

// Puts `window` at the rectangle a WM_DPICHANGED suggests (its lParam).
void MoveToSuggestedRect(HWND window, LPARAM suggested);

// The new DPI a WM_DPICHANGED carries in its wParam.
inline int DpiOfChange(WPARAM wParam) { return HIWORD(wParam); }

// A system metric (SM_CXMENUCHECK, SM_CXSMICON, ...) at `dpi`.
int MetricForDpi(int index, int dpi);

// The outer size of a window of this style for a client area of
// `clientWidth` × `clientHeight`, with its frame at `dpi`.
SIZE WindowSizeForClient(int clientWidth, int clientHeight, DWORD style, DWORD exStyle, bool menu, int dpi);
