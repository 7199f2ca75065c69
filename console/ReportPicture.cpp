#include "ReportPicture.h"

#include <wincodec.h>
#include <windowsx.h>

#include <algorithm>
#include <vector>

#include "DialogFrame.h"
#include "FormWindow.h"
#include "ReportTexts.h"
#include "logic/ReportTable.h"

namespace {

constexpr size_t kNoRow = static_cast<size_t>(-1);

// What the picture's parts look like.
constexpr COLORREF kBackground = RGB(255, 255, 255);
constexpr COLORREF kStrip = RGB(250, 250, 248);
constexpr COLORREF kWorkingHours = RGB(255, 240, 180);
constexpr COLORREF kFuture = RGB(230, 230, 228);
constexpr COLORREF kNoLog = RGB(170, 170, 168);
constexpr COLORREF kGridLine = RGB(215, 215, 212);
constexpr COLORREF kText = RGB(0, 0, 0);
constexpr COLORREF kDimText = RGB(128, 128, 128);
constexpr COLORREF kRefused = RGB(204, 0, 0);
constexpr COLORREF kBusy = RGB(32, 74, 135);
constexpr COLORREF kSelected = RGB(0, 0, 0);

COLORREF EndingColour(ConnectionEnding ending) {
    switch (ending) {
        case ConnectionEnding::LimitRanOut: return RGB(52, 101, 164);
        case ConnectionEnding::CallerHungUp: return RGB(78, 154, 6);
        case ConnectionEnding::NoRegistration: return RGB(245, 121, 0);
        case ConnectionEnding::FoundGone: return RGB(117, 80, 123);
        case ConnectionEnding::Going: return RGB(114, 159, 207);
        case ConnectionEnding::EndNotLogged: return RGB(136, 138, 133);
        case ConnectionEnding::Refused: return kRefused;
    }
    return kText;
}

// The endings a span can have, as the legend lists them.
constexpr ConnectionEnding kSpanEndings[] = {ConnectionEnding::LimitRanOut,  ConnectionEnding::CallerHungUp,
                                             ConnectionEnding::NoRegistration, ConnectionEnding::FoundGone,
                                             ConnectionEnding::Going,       ConnectionEnding::EndNotLogged};

COLORREF Blend(COLORREF from, COLORREF to, int share, int of) {
    auto mix = [&](int a, int b) { return a + (b - a) * share / of; };
    return RGB(mix(GetRValue(from), GetRValue(to)), mix(GetGValue(from), GetGValue(to)),
               mix(GetBValue(from), GetBValue(to)));
}

void Fill(HDC dc, const RECT& r, COLORREF colour) {
    SetBkColor(dc, colour);
    ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr);
}

void Hatch(HDC dc, const RECT& r) {
    BrushPtr brush(CreateHatchBrush(HS_BDIAGONAL, kNoLog));
    SetBkColor(dc, kStrip);
    SetBkMode(dc, OPAQUE);
    FillRect(dc, &r, brush.get());
    SetBkMode(dc, TRANSPARENT);
}

void Frame(HDC dc, RECT r, COLORREF colour, int width) {
    BrushPtr brush(CreateSolidBrush(colour));
    for (int i = 0; i < width; ++i) {
        FrameRect(dc, &r, brush.get());
        InflateRect(&r, -1, -1);
    }
}

int TextWidthIn(HDC dc, const std::wstring& text) {
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    return size.cx;
}

void Text(HDC dc, int x, int y, const std::wstring& text, COLORREF colour) {
    SetTextColor(dc, colour);
    TextOutW(dc, x, y, text.c_str(), static_cast<int>(text.size()));
}

// One entry of the legend: a sample and its words.
struct LegendItem {
    enum Sample { Span, Tick, Shade, NoLog, Gradient } sample;
    COLORREF colour;
    std::wstring words;
};

}  // namespace

struct ReportPicture::Layout {
    int RowTop(size_t row) const { return top + static_cast<int>(static_cast<int64_t>(row) * rowsHeight / rows); }
    int RowBottom(size_t row) const { return RowTop(row + 1); }
    // The row a day is in, the first day of a row and how many days it holds.
    size_t RowOf(size_t day) const { return day / daysPerRow; }
    size_t FirstDay(size_t row) const { return row * daysPerRow; }
    size_t DaysIn(size_t row) const { return std::min(daysPerRow, days - FirstDay(row)); }
    int fontHeight = 0;
    int charWidth = 0;
    int plotLeft = 0;
    int plotRight = 0;
    int top = 0;        // the first day's row, below the hours
    int rowHeight = 0;  // a row, rounded: a strip with its gap, or a row of the grid
    int rowsHeight = 0;  // all the rows, which share it out to the pixel
    int leastRowsHeight = 0;  // the least room the rows can do with
    size_t days = 1;
    size_t daysPerRow = 1;  // a long period's grid: several days to a row, so that it fits
    size_t rows = 1;
    int barInset = 0;   // a strip's bar within its row
    int labelEvery = 1;
    int hourStep = 1;
    int legendTop = 0;
    int height = 0;
    std::vector<LegendItem> legend;
    std::vector<int> legendLineStarts;  // the legend's items that begin a line
};

ReportPicture* ReportPicture::Create(HWND parent, int id, HFONT font) {
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE));
    RegisterFormClass(instance, kReportPictureClass, FormWndProc<ReportPicture>);
    ReportPicture* picture =
        CreateFormWindow(std::unique_ptr<ReportPicture>(new ReportPicture()), 0, kReportPictureClass,
                         text::kPictureName, WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 0, 0, 0, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance);
    if (picture) picture->font_ = font;
    return picture;
}

void ReportPicture::Show(std::shared_ptr<const PeriodRows> period, LinePicture picture) {
    period_ = std::move(period);
    picture_ = std::move(picture);
    selected_ = kNoRow;
    // What was pointed at may be gone.
    hovered_.clear();
    if (onHover) onHover(hovered_);
    InvalidateRect(hwnd_, nullptr, FALSE);
}

void ReportPicture::Select(size_t row) {
    if (row == selected_) return;
    selected_ = row;
    InvalidateRect(hwnd_, nullptr, FALSE);
}

ReportPicture::Layout ReportPicture::LayoutFor(HDC dc, int width, int height) const {
    Layout l;
    SelectedObject font(dc, font_);
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    l.fontHeight = tm.tmHeight;
    l.charWidth = std::max<int>(1, tm.tmAveCharWidth);
    const int pad = l.charWidth;
    int labelWidth = 0;
    if (period_)
        for (const PeriodDay& day : period_->days) labelWidth = std::max(labelWidth, TextWidthIn(dc, FromCp1251(day.text)));
    l.plotLeft = pad + labelWidth + pad;
    l.plotRight = std::max(l.plotLeft + 48, width - 2 * pad);
    const int hourWidth = (l.plotRight - l.plotLeft) / 24;
    const int labelRoom = TextWidthIn(dc, L"24") + pad;
    for (int step : {1, 2, 3, 6, 12}) {
        l.hourStep = step;
        if (hourWidth * step >= labelRoom) break;
    }
    l.top = pad + l.fontHeight + pad / 2 + (picture_.grid ? pad : 0);

    // The legend, wrapped to the width.
    if (picture_.grid) {
        l.legend.push_back({LegendItem::Gradient, kBusy, FromCp1251(text::kLegendBusyShare)});
        l.legend.push_back({LegendItem::Tick, kRefused, FromCp1251(text::kLegendRefused)});
    } else {
        for (ConnectionEnding ending : kSpanEndings)
            l.legend.push_back({LegendItem::Span, EndingColour(ending), FromCp1251(EndingText(ending))});
        l.legend.push_back({LegendItem::Tick, kRefused, FromCp1251(text::kLegendRefused)});
    }
    if (std::find(picture_.workingHour.begin(), picture_.workingHour.end(), true) != picture_.workingHour.end())
        l.legend.push_back({LegendItem::Shade, kWorkingHours, FromCp1251(text::kLegendWorkingHours)});
    l.legend.push_back({LegendItem::NoLog, kNoLog, FromCp1251(text::kLegendNoLog)});
    int x = l.plotLeft;
    for (size_t i = 0; i < l.legend.size(); ++i) {
        const int sample = l.legend[i].sample == LegendItem::Gradient ? 12 * l.charWidth : 3 * l.charWidth;
        const int itemWidth = TextWidthIn(dc, l.legend[i].words) + sample + 3 * pad;
        if (i == 0 || x + itemWidth > l.plotRight) {
            l.legendLineStarts.push_back(static_cast<int>(i));
            x = l.plotLeft;
        }
        x += itemWidth;
    }
    const int legendHeight = static_cast<int>(l.legendLineStarts.size()) * (l.fontHeight + pad / 2) + pad;

    // Any number of days fits the room given, the legend below them: a
    // strip a day, or a grid with as many days to a row as it takes.
    l.days = std::max<size_t>(1, picture_.days);
    l.rows = l.days;
    const int natural = picture_.grid ? l.fontHeight + 2 : l.fontHeight + l.fontHeight / 2 + 4;
    const int least = picture_.grid ? std::max(3, l.fontHeight / 5) : std::max(6, l.fontHeight / 2);
    l.leastRowsHeight = picture_.grid ? least : static_cast<int>(l.days) * least;
    l.rowHeight = natural;
    l.rowsHeight = static_cast<int>(l.rows) * natural;
    if (height > 0) {
        const int room = std::max(1, height - l.top - legendHeight - pad);
        if (picture_.grid) l.daysPerRow = DaysPerRow(l.days, room, least);
        l.rows = (l.days + l.daysPerRow - 1) / l.daysPerRow;
        const int rows = static_cast<int>(l.rows);
        l.rowHeight = std::clamp(room / rows, 1, natural);
        // A grid squeezed into less room than it wants fills what there is.
        l.rowsHeight = picture_.grid ? std::clamp(room, rows * l.rowHeight, rows * natural) : rows * l.rowHeight;
    }
    l.barInset = picture_.grid ? 0 : std::max(1, l.rowHeight / 6);
    l.labelEvery = std::max(1, (l.fontHeight * static_cast<int>(l.rows) + l.rowsHeight - 1) / l.rowsHeight);
    l.legendTop = l.top + l.rowsHeight + pad;
    l.height = l.legendTop + legendHeight;
    return l;
}

int ReportPicture::NaturalHeight(int width) const {
    WindowDc dc(hwnd_);
    return LayoutFor(dc.get(), width, 0).height;
}

int ReportPicture::LeastHeight(int width) const {
    WindowDc dc(hwnd_);
    const Layout l = LayoutFor(dc.get(), width, 0);
    return l.height - l.rowsHeight + l.leastRowsHeight;
}

void ReportPicture::Draw(HDC dc, const Layout& l) const {
    SelectedObject font(dc, font_);
    SetBkMode(dc, TRANSPARENT);
    RECT client{0, 0, l.plotRight + 2 * l.charWidth, l.height};
    Fill(dc, client, kBackground);
    if (!period_) return;
    const int plotWidth = l.plotRight - l.plotLeft;
    auto xAt = [&](int64_t second) {
        return l.plotLeft + static_cast<int>(second * plotWidth / kSecondsPerDay);
    };

    // The hours along the top; under them, in the grid, the working hours.
    if (picture_.grid)
        for (int hour = 0; hour < 24; ++hour)
            if (picture_.workingHour[hour]) {
                RECT band{xAt(hour * 3600), l.top - l.charWidth, xAt((hour + 1) * 3600), l.top};
                Fill(dc, band, kWorkingHours);
            }
    for (int hour = 0; hour <= 24; hour += l.hourStep) {
        const std::wstring label = std::to_wstring(hour);
        const int x = xAt(hour * 3600);
        Text(dc, x - TextWidthIn(dc, label) / 2, l.charWidth / 2, label, kText);
        RECT tick{x, l.top - l.charWidth / 2, x + 1, l.top};
        Fill(dc, tick, kDimText);
    }

    for (size_t r = 0; r < (picture_.days ? l.rows : 0); ++r) {
        const size_t first = l.FirstDay(r), count = l.DaysIn(r);
        const int y = l.RowTop(r), rowHeight = l.RowBottom(r) - y;
        // A row is hatched or dimmed when each of its days is.
        bool noLog = true, future = true;
        for (size_t d = first; d < first + count; ++d) {
            const DayState state = period_->days[d].state;
            noLog = noLog && (state == DayState::Missing || state == DayState::Unreadable);
            future = future && state == DayState::Future;
        }
        if (r % static_cast<size_t>(l.labelEvery) == 0) {
            const std::wstring label = FromCp1251(period_->days[first].text);
            Text(dc, l.plotLeft - l.charWidth - TextWidthIn(dc, label), y + (rowHeight - l.fontHeight) / 2, label,
                 noLog || future ? kDimText : kText);
        }
        const RECT bar{l.plotLeft, y + l.barInset, l.plotRight, y + rowHeight - l.barInset};
        if (noLog) {
            Hatch(dc, bar);
            continue;
        }
        for (int hour = 0; hour < 24; ++hour) {
            RECT cell{xAt(hour * 3600), bar.top, xAt((hour + 1) * 3600), bar.bottom};
            // In the grid the working hours are a band along the hours: mixed into the shade they would blur it.
            const bool working = picture_.workingHour[hour] && !picture_.grid;
            COLORREF base = future ? kFuture : working ? kWorkingHours : kStrip;
            if (picture_.grid) {
                const HourLoad load = LoadOfHour(*period_, picture_, first, hour, count);
                const int busy = static_cast<int>(load.busySeconds), of = static_cast<int>(load.ofSeconds);
                Fill(dc, cell, Blend(base, kBusy, busy, of));
                RECT line{cell.left, cell.top, cell.left + 1, cell.bottom};
                Fill(dc, line, kGridLine);
                if (load.refusals) {
                    // A red corner: a call was refused in that hour.
                    const int size = std::max(3, std::min<int>(cell.right - cell.left, cell.bottom - cell.top) / 2);
                    const POINT corner[] = {{cell.right - size, cell.top}, {cell.right, cell.top}, {cell.right, cell.top + size}};
                    BrushPtr brush(CreateSolidBrush(kRefused));
                    SelectedObject pen(dc, GetStockObject(NULL_PEN));
                    SelectedObject fill(dc, brush.get());
                    Polygon(dc, corner, 3);
                }
            } else {
                Fill(dc, cell, base);
                if (hour % 3 == 0 && hour) {
                    RECT line{cell.left, cell.top, cell.left + 1, cell.bottom};
                    Fill(dc, line, kGridLine);
                }
            }
        }
        if (!picture_.grid) Frame(dc, bar, kGridLine, 1);
    }

    if (!picture_.grid) {
        for (const PictureSpan& span : picture_.spans) {
            const int y = l.RowTop(span.day);
            RECT r{xAt(span.from), y + l.barInset, std::max(xAt(span.to), xAt(span.from) + 2), l.RowBottom(span.day) - l.barInset};
            Fill(dc, r, EndingColour(span.ending));
            if (span.row == selected_) {
                InflateRect(&r, 2, 2);
                Frame(dc, r, kSelected, 2);
            }
        }
        for (const PictureTick& tick : picture_.ticks) {
            const int x = xAt(tick.at);
            RECT r{x - 1, l.RowTop(tick.day), x + 1, l.RowBottom(tick.day) - 1};
            Fill(dc, r, kRefused);
            if (tick.row == selected_) {
                InflateRect(&r, 2, 1);
                Frame(dc, r, kSelected, 1);
            }
        }
    } else if (selected_ != kNoRow) {
        // The hours of the selected connection.
        for (const PictureSpan& span : picture_.spans) {
            if (span.row != selected_) continue;
            const int first = span.from / 3600, last = std::max(first, (span.to - 1) / 3600);
            const size_t row = l.RowOf(span.day);
            RECT r{xAt(first * 3600), l.RowTop(row), xAt((last + 1) * 3600) + 1, l.RowBottom(row) + 1};
            Frame(dc, r, kSelected, 2);
        }
    }

    // The legend.
    const int sampleHeight = std::max(4, l.fontHeight - 4);
    for (size_t line = 0; line < l.legendLineStarts.size(); ++line) {
        const size_t first = static_cast<size_t>(l.legendLineStarts[line]);
        const size_t end = line + 1 < l.legendLineStarts.size() ? static_cast<size_t>(l.legendLineStarts[line + 1])
                                                                 : l.legend.size();
        const int y = l.legendTop + static_cast<int>(line) * (l.fontHeight + l.charWidth / 2);
        int x = l.plotLeft;
        for (size_t i = first; i < end; ++i) {
            const LegendItem& item = l.legend[i];
            const int sampleWidth = item.sample == LegendItem::Gradient ? 12 * l.charWidth : 3 * l.charWidth;
            RECT sample{x, y + (l.fontHeight - sampleHeight) / 2, x + sampleWidth, y + (l.fontHeight + sampleHeight) / 2};
            if (item.sample == LegendItem::Gradient) {
                // After its words: from an idle hour to a fully busy one.
                Text(dc, x, y, item.words, kText);
                const int from = x + TextWidthIn(dc, item.words) + l.charWidth;
                for (int k = 0; k < sampleWidth; ++k) {
                    RECT slice{from + k, sample.top, from + k + 1, sample.bottom};
                    Fill(dc, slice, Blend(kStrip, kBusy, k, sampleWidth - 1));
                }
                x = from + sampleWidth + 3 * l.charWidth;
                continue;
            }
            if (item.sample == LegendItem::Tick) {
                RECT tick{sample.left + sampleWidth / 2 - 1, y, sample.left + sampleWidth / 2 + 1, y + l.fontHeight};
                Fill(dc, tick, item.colour);
            } else if (item.sample == LegendItem::NoLog) {
                Hatch(dc, sample);
            } else {
                Fill(dc, sample, item.colour);
            }
            Text(dc, sample.right + l.charWidth, y, item.words, kText);
            x = sample.right + l.charWidth + TextWidthIn(dc, item.words) + 2 * l.charWidth;
        }
    }
}

bool ReportPicture::HitTest(int x, int y, size_t& row, size_t& day, size_t& dayCount, int& hour,
                            int64_t& endSecond) const {
    if (!period_ || picture_.days == 0) return false;
    RECT client;
    GetClientRect(hwnd_, &client);
    WindowDc dc(hwnd_);
    const Layout l = LayoutFor(dc.get(), client.right, client.bottom);
    if (x < l.plotLeft || x >= l.plotRight || y < l.top) return false;
    const int64_t rows = static_cast<int64_t>(l.rows);
    const size_t gridRow = static_cast<size_t>(static_cast<int64_t>(y - l.top) * rows / l.rowsHeight);
    if (gridRow >= l.rows) return false;
    day = l.FirstDay(gridRow);
    dayCount = l.DaysIn(gridRow);
    const int plotWidth = l.plotRight - l.plotLeft;
    const int64_t second = static_cast<int64_t>(x - l.plotLeft) * kSecondsPerDay / plotWidth;
    hour = static_cast<int>(second / 3600);
    row = kNoRow;
    endSecond = -1;
    if (picture_.grid) {
        const std::vector<size_t> rows = RowsInHour(picture_, day, hour, dayCount);
        if (!rows.empty()) row = rows.front();
        return true;
    }
    // Three pixels either side find a thin span or a tick.
    row = RowAt(picture_, day, static_cast<int32_t>(second), static_cast<int32_t>(3 * kSecondsPerDay / plotWidth));
    for (const PictureSpan& span : picture_.spans)
        if (span.row == row) endSecond = span.to;
    return true;
}

void ReportPicture::OnMouseMove(int x, int y) {
    TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, hwnd_, 0};
    TrackMouseEvent(&track);
    size_t row, day, dayCount;
    int hour;
    int64_t endSecond;
    std::string text;
    if (HitTest(x, y, row, day, dayCount, hour, endSecond)) {
        if (picture_.grid) text = HourHoverText(*period_, picture_, day, hour, dayCount);
        else if (row != kNoRow) text = SpanHoverText(*period_, row, endSecond);
    }
    if (text == hovered_) return;
    hovered_ = text;
    if (onHover) onHover(text);
}

void ReportPicture::OnClick(int x, int y) {
    size_t row, day, dayCount;
    int hour;
    int64_t endSecond;
    if (HitTest(x, y, row, day, dayCount, hour, endSecond) && row != kNoRow && onClick) onClick(row);
}

LRESULT ReportPicture::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_ERASEBKGND: return 1;
        case WM_PAINT:
        case WM_PRINTCLIENT: {
            PAINTSTRUCT ps{};
            HDC target = msg == WM_PAINT ? BeginPaint(hwnd_, &ps) : reinterpret_cast<HDC>(wParam);
            RECT client;
            GetClientRect(hwnd_, &client);
            // Drawn aside and put on the screen at once, so that it does not flicker.
            HDC memory = CreateCompatibleDC(target);
            BitmapPtr bitmap(CreateCompatibleBitmap(target, std::max<LONG>(1, client.right), std::max<LONG>(1, client.bottom)));
            {
                SelectedObject selected(memory, bitmap.get());
                Fill(memory, client, kBackground);
                Draw(memory, LayoutFor(memory, client.right, client.bottom));
                if (GetFocus() == hwnd_) DrawFocusRect(memory, &client);
                BitBlt(target, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
            }
            DeleteDC(memory);
            if (msg == WM_PAINT) EndPaint(hwnd_, &ps);
            return 0;
        }
        case WM_MOUSEMOVE: OnMouseMove(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)); return 0;
        case WM_MOUSELEAVE:
            if (!hovered_.empty()) {
                hovered_.clear();
                if (onHover) onHover(hovered_);
            }
            return 0;
        case WM_LBUTTONDOWN:
            SetFocus(hwnd_);
            OnClick(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
            return 0;
        // Reached by Tab, so that a screen reader reads its name; the focus is outlined.
        case WM_SETFOCUS:
        case WM_KILLFOCUS: InvalidateRect(hwnd_, nullptr, FALSE); return 0;
        case WM_SIZE: InvalidateRect(hwnd_, nullptr, FALSE); return 0;
        // Its sizes come from the font: at another scale, another font.
        case WM_SETFONT:
            font_ = reinterpret_cast<HFONT>(wParam);
            if (LOWORD(lParam)) InvalidateRect(hwnd_, nullptr, FALSE);
            return 0;
        case WM_GETFONT: return reinterpret_cast<LRESULT>(font_);
    }
    return DefWindowProcW(hwnd_, msg, wParam, lParam);
}

BitmapPtr ReportPicture::Render(SIZE& size) const {
    RECT client;
    GetClientRect(hwnd_, &client);
    WindowDc screen(hwnd_);
    HDC memory = CreateCompatibleDC(screen.get());
    BitmapPtr bitmap;
    {
        SelectedObject font(memory, font_);
        const Layout l = LayoutFor(memory, std::max<LONG>(client.right, 400), 0);
        size = SIZE{std::max<LONG>(client.right, 400), l.height};
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = size.cx;
        info.bmiHeader.biHeight = -size.cy;  // top-down, as the PNG's rows go
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 24;
        void* bits = nullptr;
        bitmap.reset(CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        if (bitmap) {
            SelectedObject selected(memory, bitmap.get());
            Draw(memory, l);
            GdiFlush();
        }
    }
    DeleteDC(memory);
    return bitmap;
}

namespace {

// The bitmap's pixels, 24 bits, rows top-down and padded to four bytes.
std::vector<BYTE> PixelsOf(HBITMAP bitmap, SIZE size, BITMAPINFO& info) {
    info = BITMAPINFO{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = size.cx;
    info.bmiHeader.biHeight = -size.cy;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    const size_t stride = (static_cast<size_t>(size.cx) * 3 + 3) & ~size_t{3};
    std::vector<BYTE> pixels(stride * static_cast<size_t>(size.cy));
    WindowDc screen(nullptr);
    if (!GetDIBits(screen.get(), bitmap, 0, static_cast<UINT>(size.cy), pixels.data(), &info, DIB_RGB_COLORS))
        pixels.clear();
    return pixels;
}

template <class Interface>
struct ComRelease {
    void operator()(Interface* p) const {
        if (p) p->Release();
    }
};
template <class Interface>
using ComPtr = std::unique_ptr<Interface, ComRelease<Interface>>;

}  // namespace

bool CopyBitmapToClipboard(HWND owner, HBITMAP bitmap, SIZE size) {
    BITMAPINFO info;
    const std::vector<BYTE> pixels = PixelsOf(bitmap, size, info);
    if (pixels.empty()) return false;
    // CF_DIB rows go bottom-up.
    const size_t stride = pixels.size() / static_cast<size_t>(size.cy);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, sizeof(BITMAPINFOHEADER) + pixels.size());
    if (!memory) return false;
    auto* header = static_cast<BITMAPINFOHEADER*>(GlobalLock(memory));
    *header = info.bmiHeader;
    header->biHeight = size.cy;
    header->biSizeImage = static_cast<DWORD>(pixels.size());
    BYTE* rows = reinterpret_cast<BYTE*>(header + 1);
    for (LONG y = 0; y < size.cy; ++y)
        std::copy_n(&pixels[static_cast<size_t>(size.cy - 1 - y) * stride], stride, rows + static_cast<size_t>(y) * stride);
    GlobalUnlock(memory);
    if (!OpenClipboard(owner)) {
        GlobalFree(memory);
        return false;
    }
    EmptyClipboard();
    const bool placed = SetClipboardData(CF_DIB, memory) != nullptr;
    CloseClipboard();
    // Once placed, the memory is the clipboard's.
    if (!placed) GlobalFree(memory);
    return placed;
}

bool SaveBitmapAsPng(HBITMAP bitmap, SIZE size, const std::wstring& path) {
    BITMAPINFO info;
    std::vector<BYTE> pixels = PixelsOf(bitmap, size, info);
    if (pixels.empty()) return false;
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    bool saved = false;
    {
        IWICImagingFactory* rawFactory = nullptr;
        IWICStream* rawStream = nullptr;
        IWICBitmapEncoder* rawEncoder = nullptr;
        IWICBitmapFrameEncode* rawFrame = nullptr;
        IPropertyBag2* rawOptions = nullptr;
        CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                         reinterpret_cast<void**>(&rawFactory));
        ComPtr<IWICImagingFactory> factory(rawFactory);
        if (factory && SUCCEEDED(factory->CreateStream(&rawStream))) {
            ComPtr<IWICStream> stream(rawStream);
            if (SUCCEEDED(stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE)) &&
                SUCCEEDED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &rawEncoder))) {
                ComPtr<IWICBitmapEncoder> encoder(rawEncoder);
                if (SUCCEEDED(encoder->Initialize(stream.get(), WICBitmapEncoderNoCache)) &&
                    SUCCEEDED(encoder->CreateNewFrame(&rawFrame, &rawOptions))) {
                    ComPtr<IWICBitmapFrameEncode> frame(rawFrame);
                    ComPtr<IPropertyBag2> options(rawOptions);
                    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
                    const UINT stride = static_cast<UINT>(pixels.size() / static_cast<size_t>(size.cy));
                    saved = SUCCEEDED(frame->Initialize(options.get())) &&
                            SUCCEEDED(frame->SetSize(static_cast<UINT>(size.cx), static_cast<UINT>(size.cy))) &&
                            SUCCEEDED(frame->SetPixelFormat(&format)) &&
                            IsEqualGUID(format, GUID_WICPixelFormat24bppBGR) &&
                            SUCCEEDED(frame->WritePixels(static_cast<UINT>(size.cy), stride,
                                                         static_cast<UINT>(pixels.size()), pixels.data())) &&
                            SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
                }
            }
        }
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return saved;
}
