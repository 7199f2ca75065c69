// The picture of the connections report: the period's day strips or its grid
// of days by hours (logic/LinePicture.h), drawn with GDI. One drawing serves
// the screen (WM_PAINT, WM_PRINTCLIENT), the clipboard and the PNG file. Its
// sizes come from the font, so it reads the same at 96 and at 144 DPI.
#pragma once
#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "Win32Ui.h"
#include "logic/LinePicture.h"

inline constexpr wchar_t kReportPictureClass[] = L"TLinePicture";

class ReportPicture {
public:
    // A child window of `parent` with the control number `id`.
    static ReportPicture* Create(HWND parent, int id, HFONT font);
    HWND Handle() const { return hwnd_; }

    // What it shows: a period's rows, which it keeps as they are while it
    // shows them, and their picture.
    void Show(std::shared_ptr<const PeriodRows> period, LinePicture picture);
    // The row of the list that is selected: its span is outlined.
    void Select(size_t row);
    // The height the picture needs at a width; the window gives it at most
    // that, and at least the least it can do with, all its days and the legend in it.
    int NaturalHeight(int width) const;
    int LeastHeight(int width) const;

    // The whole picture at its natural height, as a 24-bit bitmap, for the
    // clipboard and the PNG file; its size in `size`.
    BitmapPtr Render(SIZE& size) const;

    // Hovering shows what lies under the mouse (Windows-1251, empty off the
    // picture); a click on a connection, or on an hour of the grid, picks its row.
    std::function<void(const std::string&)> onHover;
    std::function<void(size_t)> onClick;

private:
    ReportPicture() = default;
    template <class Form>
    friend LRESULT CALLBACK FormWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);

    struct Layout;
    Layout LayoutFor(HDC dc, int width, int height) const;
    void Draw(HDC dc, const Layout& layout) const;
    void OnMouseMove(int x, int y);
    void OnClick(int x, int y);
    // The row or the grid's cell under a point (a cell of `dayCount` days
    // from `day`); false off the plot.
    bool HitTest(int x, int y, size_t& row, size_t& day, size_t& dayCount, int& hour, int64_t& endSecond) const;

    HWND hwnd_ = nullptr;
    HFONT font_ = nullptr;
    std::shared_ptr<const PeriodRows> period_;
    LinePicture picture_;
    size_t selected_ = static_cast<size_t>(-1);
    std::string hovered_;
};

// The bitmap on the clipboard as a device-independent bitmap.
bool CopyBitmapToClipboard(HWND owner, HBITMAP bitmap, SIZE size);
// The bitmap as a PNG file, through the Windows Imaging Component.
bool SaveBitmapAsPng(HBITMAP bitmap, SIZE size, const std::wstring& path);
