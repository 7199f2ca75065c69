#include "LogViewControl.h"

#include <dlgs.h>
#include <oleacc.h>
#include <windowsx.h>

#include <algorithm>
#include <climits>
#include <new>
#include <vector>

#include "ConsoleTexts.h"
#include "Dpi.h"
#include "FormWindow.h"
#include "Win32Files.h"
#include "Win32Ui.h"
#include "logic/Monitor.h"

namespace {

const wchar_t kClass[] = L"TLogView";
// Drives a load in steps, between which the window handles its messages: a
// timer's message comes only when no other is waiting.
constexpr UINT_PTR kLoadTimer = 1;
// Scrolls on while a selection is dragged past the view's edge.
constexpr UINT_PTR kDragTimer = 2;
constexpr UINT kDragScrollMs = 50;
// The gap between the edge and the text, as the edit control left it, at 96 DPI.
constexpr int kMargin = 2;
// After a line cut for drawing: it goes on.
const wchar_t kCutMark[] = L"\u2026";
// A piece of the text as it is handed out (WM_GETTEXT, copying).
constexpr size_t kTextPiece = 1 << 20;
enum MenuCommand : int { kCopy = 1, kSelectAll, kFind };
// The search dialog's own check box "Обтекание".
constexpr int kWrapBox = 0x4F0;

// The open search dialog, for the program's message loop.
HWND gFindDialog = nullptr;

// Where a window's scroll bars and their thumbs lie, and their states: what
// their drawing shows.
std::vector<LONG> ScrollBarPixels(HWND window) {
    std::vector<LONG> pixels;
    for (const LONG bar : {OBJID_VSCROLL, OBJID_HSCROLL}) {
        SCROLLBARINFO info{};
        info.cbSize = sizeof info;
        if (!GetScrollBarInfo(window, bar, &info)) continue;
        pixels.insert(pixels.end(), {info.rcScrollBar.left, info.rcScrollBar.top, info.rcScrollBar.right,
                                     info.rcScrollBar.bottom, info.xyThumbTop, info.xyThumbBottom});
        pixels.insert(pixels.end(), std::begin(info.rgstate), std::end(info.rgstate));
    }
    return pixels;
}

double MsSince(const LARGE_INTEGER& start) {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// A position in the text as a message's result: within what a 32-bit LRESULT holds.
LRESULT Position(uint64_t at) { return static_cast<LRESULT>(std::min<uint64_t>(at, INT_MAX)); }

// Puts the check box "Обтекание" where the hidden "whole word" box lies, as
// Notepad's search offers it; lCustData says whether it starts checked.
UINT_PTR CALLBACK FindHook(HWND dialog, UINT msg, WPARAM, LPARAM lParam) {
    if (msg != WM_INITDIALOG) return FALSE;
    HWND word = GetDlgItem(dialog, chx1);
    RECT at{};
    GetWindowRect(word, &at);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&at), 2);
    HWND wrap = CreateWindowExW(0, L"BUTTON", text::kViewWrap, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX,
                                at.left, at.top, at.right - at.left, at.bottom - at.top, dialog,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(kWrapBox)), nullptr, nullptr);
    SendMessageW(wrap, WM_SETFONT, SendMessageW(dialog, WM_GETFONT, 0, 0), FALSE);
    SetWindowPos(wrap, word, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);  // its place among the tab stops
    const bool wrapOn = reinterpret_cast<const FINDREPLACEW*>(lParam)->lCustData != 0;
    CheckDlgButton(dialog, kWrapBox, wrapOn ? BST_CHECKED : BST_UNCHECKED);
    return TRUE;
}

}  // namespace

TLogView* TLogView::Create(HWND parent, int id) {
    const HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE));
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = FormWndProc<TLogView>;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_IBEAM);
    wc.lpszClassName = kClass;
    RegisterClassExW(&wc);
    return CreateFormWindow(std::unique_ptr<TLogView>(new TLogView), WS_EX_CLIENTEDGE, kClass, L"",
                            WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL, 0, 0, 0, 0, parent,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance);
}

bool TLogView::DialogMessage(MSG* msg) { return gFindDialog && IsDialogMessageW(gFindDialog, msg); }

LRESULT TLogView::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    static const UINT findMessage = RegisterWindowMessageW(FINDMSGSTRINGW);
    if (msg == findMessage) {
        OnFindMessage(*reinterpret_cast<const FINDREPLACEW*>(lParam));
        return 0;
    }
    switch (msg) {
        case WM_CREATE: SetFont(nullptr); return 0;
        case WM_DESTROY:
            KillTimer(hwnd_, kLoadTimer);
            KillTimer(hwnd_, kDragTimer);
            if (findDialog_) DestroyWindow(findDialog_);
            if (comStarted_) CoUninitialize();
            return 0;
        case WM_SETFONT:
            // Every measure follows the font: the main window sends one made
            // for the display scale, and a new one when the scale changes.
            SetFont(reinterpret_cast<HFONT>(wParam));
            if (GetFocus() == hwnd_) MakeCaret();
            Changed();
            return 0;
        case WM_GETFONT: return reinterpret_cast<LRESULT>(font_);
        case WM_SIZE: Changed(); return 0;
        case WM_ERASEBKGND: return 1;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            Paint(BeginPaint(hwnd_, &ps));
            EndPaint(hwnd_, &ps);
            return 0;
        }
        case WM_PRINTCLIENT: Paint(reinterpret_cast<HDC>(wParam)); return 0;
        case WM_TIMER:
            if (wParam == kLoadTimer) Update(false);
            if (wParam == kDragTimer) DragScroll();
            return 0;
        case WM_VSCROLL: OnVScroll(LOWORD(wParam)); return 0;
        case WM_HSCROLL: OnHScroll(LOWORD(wParam)); return 0;
        case WM_MOUSEWHEEL: {
            UINT lines = 3;
            SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &lines, 0);
            wheel_ += GET_WHEEL_DELTA_WPARAM(wParam);
            const int notches = wheel_ / WHEEL_DELTA;
            wheel_ -= notches * WHEEL_DELTA;
            const int64_t by = lines == WHEEL_PAGESCROLL ? static_cast<int64_t>(RowsInSight()) : lines;
            if (notches) state_.ScrollBy(-notches * by);
            Changed();
            return 0;
        }
        case WM_LBUTTONDOWN:
            SetFocus(hwnd_);
            SetCapture(hwnd_);
            dragging_ = true;
            OnMouse(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam), (wParam & MK_SHIFT) != 0);
            return 0;
        case WM_LBUTTONDBLCLK: OnDoubleClick(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)); return 0;
        case WM_MOUSEMOVE:
            if (dragging_) FollowDrag(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
            return 0;
        case WM_LBUTTONUP:
            if (dragging_) ReleaseCapture();
            return 0;
        case WM_CAPTURECHANGED: StopDrag(); return 0;
        case WM_SETFOCUS: MakeCaret(); return 0;
        case WM_KILLFOCUS: DestroyCaret(); return 0;
        case WM_GETDLGCODE: return DLGC_WANTARROWS | DLGC_WANTCHARS;
        case WM_KEYDOWN: OnKey(wParam); return 0;
        case WM_CONTEXTMENU: OnContextMenu(lParam); return 0;
        // Read-only: what would change the text does nothing.
        case WM_CHAR:
        case WM_CUT:
        case WM_PASTE:
        case WM_CLEAR:
        case WM_UNDO:
        case EM_REPLACESEL: return 0;
        case WM_SETTEXT: return FALSE;
        case WM_COPY: Copy(state_.SelectionStart(), state_.SelectionEnd()); return 0;
        case WM_GETTEXTLENGTH: return Position(state_.TextLength());
        case WM_GETTEXT: return GetText(wParam, reinterpret_cast<wchar_t*>(lParam));
        case EM_GETLINECOUNT: return static_cast<LRESULT>(state_.Lines());
        case EM_GETFIRSTVISIBLELINE: return static_cast<LRESULT>(state_.Top());
        // Positions in and out in the text as handed out, as the edit control counted them.
        case EM_LINEFROMCHAR:
            return static_cast<LRESULT>(static_cast<int>(wParam) == -1 ? state_.LineAt(state_.SelectionStart())
                                                                       : state_.LineAtText(wParam));
        case EM_LINEINDEX: {
            const uint64_t line = static_cast<int>(wParam) == -1 ? state_.LineAt(state_.Caret()) : wParam;
            return line < state_.Lines() ? Position(state_.TextStart(line)) : -1;
        }
        case EM_LINELENGTH: {
            if (static_cast<int>(wParam) != -1) return Position(state_.ContentLength(state_.LineAtText(wParam)));
            // The characters of the selection's lines that are not selected.
            const uint64_t from = state_.SelectionStart(), to = state_.SelectionEnd();
            const uint64_t last = state_.LineAt(to);
            return Position(from - state_.LineStart(state_.LineAt(from)) + state_.LineStart(last) +
                            state_.ContentLength(last) - to);
        }
        case EM_GETLINE: return GetLine(wParam, reinterpret_cast<wchar_t*>(lParam));
        case EM_POSFROMCHAR: {
            if (wParam > state_.TextLength()) return -1;
            const POINT at = PointOf(state_.ShownOffset(wParam));
            return MAKELRESULT(static_cast<WORD>(at.x), static_cast<WORD>(at.y));
        }
        case EM_CHARFROMPOS: {
            const uint64_t at = OffsetAt(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam), true);
            return MAKELRESULT(static_cast<WORD>(state_.TextOffset(at)), static_cast<WORD>(state_.LineAt(at)));
        }
        case EM_GETSEL: {
            const uint64_t start = state_.TextOffset(state_.SelectionStart());
            const uint64_t end = state_.TextOffset(state_.SelectionEnd());
            if (wParam) *reinterpret_cast<DWORD*>(wParam) = static_cast<DWORD>(start);
            if (lParam) *reinterpret_cast<DWORD*>(lParam) = static_cast<DWORD>(end);
            return end > 0xFFFF ? -1 : MAKELRESULT(start, end);
        }
        case EM_SETSEL: {
            // -1 from: no selection; -1 to: the text's end. The caret goes to `to`.
            const int from = static_cast<int>(wParam), to = static_cast<int>(lParam);
            const uint64_t caret = to < 0 ? state_.Bytes() : state_.ShownOffset(static_cast<uint64_t>(to));
            if (from == -1)
                state_.PlaceCaret(state_.Caret(), false);
            else
                state_.Select(state_.ShownOffset(static_cast<uint64_t>(std::max(from, 0))), caret);
            Changed();
            return 0;
        }
        case EM_SCROLLCARET:
            CaretIntoView();
            Changed();
            return 0;
        case WM_GETOBJECT:
            if (static_cast<LONG>(lParam) == OBJID_CLIENT) {
                if (const LRESULT proxy = EditProxy(wParam)) return proxy;
            }
            break;
    }
    return DefWindowProcW(hwnd_, msg, wParam, lParam);
}

// --- The file -------------------------------------------------------------------

void TLogView::Refresh(const std::string& path) {
    path_ = path;
    Update(true);
}

void TLogView::Clear() {
    state_.Clear();
    KillTimer(hwnd_, kLoadTimer);
    Changed();
}

void TLogView::Update(bool tick) {
    const auto shown = [&] { return std::make_pair(state_.Showings(), state_.Bytes()); };
    const auto before = shown();
    try {
        Step();
    } catch (const std::bad_alloc&) {
        // A log too big for memory: nothing shown, and the next tick tries again.
        state_.Clear();
        KillTimer(hwnd_, kLoadTimer);
    }
    // While the log is as it was, the scroll and the selection stay where the
    // operator put them. A refresh that changed it puts the last line on top;
    // a load's own steps do once the load has caught up, the refresh until
    // then. A selection being made with the mouse lasts until the button is released.
    if (shown() == before) return;
    if (!dragging_ && (tick || !state_.Loading())) state_.ShowEnd();
    Changed();
}

void TLogView::Step() {
    LogStamp now;
    now.path = path_;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (GetFileAttributesExA(path_.c_str(), GetFileExInfoStandard, &data) &&
        !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        now.exists = true;
        now.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        now.writeTime =
            (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    }
    const LogViewPlan plan = state_.Plan(now);
    if (plan == LogViewPlan::ShowMissing) state_.ShowMissing(now);
    if (plan == LogViewPlan::Reload || plan == LogViewPlan::ReadOn) {
        // One open for the whole step; a file its writer holds keeps what is
        // shown, and a load waits for the next refresh rather than spin.
        UniqueHandle file = OpenForReading(path_);
        LARGE_INTEGER start;
        QueryPerformanceCounter(&start);
        state_.Read(
            plan, now,
            [&](uint64_t offset, size_t size, std::string& bytes) {
                return file && ReadOpenFileFrom(file.Get(), offset, size, bytes);
            },
            [&] { return MsSince(start) < LogViewState::kStepMs; });
    }
    if (state_.Loading())
        SetTimer(hwnd_, kLoadTimer, USER_TIMER_MINIMUM, nullptr);
    else
        KillTimer(hwnd_, kLoadTimer);
}

void TLogView::WithReader(const std::function<void(const ShownReader&)>& use) const {
    // Opened only when a read is needed: drawing mostly finds its lines held.
    UniqueHandle file;
    bool opened = false;
    use([&](uint64_t offset, size_t size, std::string& bytes) {
        if (state_.What() != LogViewState::Shows::File) {
            const std::string_view shown = state_.What() == LogViewState::Shows::Missing ? text::kNoLogFile : "";
            bytes.assign(shown.substr(std::min<uint64_t>(offset, shown.size()), size));
            return true;
        }
        if (!opened) file = OpenForReading(state_.Stamp().path);
        opened = true;
        return file.Valid() && ReadOpenFileFrom(file.Get(), offset, size, bytes);
    });
}

bool TLogView::TextPieces(uint64_t from, uint64_t to, const std::function<bool(std::string_view)>& take) const {
    bool ok = true;
    WithReader([&](const ShownReader& read) {
        std::string piece;
        for (uint64_t at = from; at < to;) {
            if (!read(at, static_cast<size_t>(std::min<uint64_t>(kTextPiece, to - at)), piece)) {
                ok = false;
                return;
            }
            if (piece.empty()) return;
            // A CR whose LF begins the next piece waits for it: one line end.
            if (piece.size() > 1 && piece.back() == '\r' && at + piece.size() < to) piece.pop_back();
            at += piece.size();
            if (!take(LogViewText(piece))) return;
        }
    });
    return ok;
}

LRESULT TLogView::GetText(size_t room, wchar_t* buffer) const {
    if (room == 0 || !buffer) return 0;
    size_t copied = 0;
    TextPieces(0, state_.Bytes(), [&](std::string_view text) {
        const int n = static_cast<int>(std::min(text.size(), room - 1 - copied));
        copied += n > 0 ? MultiByteToWideChar(1251, 0, text.data(), n, buffer + copied, n) : 0;
        return copied + 1 < room;
    });
    buffer[copied] = L'\0';
    return static_cast<LRESULT>(copied);
}

LRESULT TLogView::GetLine(uint64_t line, wchar_t* buffer) const {
    // EM_GETLINE: the room, in characters, in the buffer's first word; no NUL after the line.
    if (!buffer || line >= state_.Lines()) return 0;
    const size_t room = *reinterpret_cast<const WORD*>(buffer);
    std::string bytes;
    WithReader([&](const ShownReader& read) {
        const uint64_t length = std::min<uint64_t>(room, state_.ContentLength(line));
        if (!read(state_.LineStart(line), static_cast<size_t>(length), bytes)) bytes.clear();
    });
    const std::wstring text = FromCp1251(bytes);
    std::copy(text.begin(), text.end(), buffer);
    return static_cast<LRESULT>(text.size());
}

void TLogView::Copy(uint64_t from, uint64_t to) {
    if (from >= to) return;
    // Twice through the text, in pieces: a day's log of any size is copied
    // without a second copy of it in memory.
    uint64_t length = 0;
    if (!TextPieces(from, to, [&](std::string_view text) {
            length += text.size();
            return true;
        }))
        return;
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>((length + 1) * sizeof(wchar_t)));
    auto* out = memory ? static_cast<wchar_t*>(GlobalLock(memory)) : nullptr;
    if (!out) {
        if (memory) GlobalFree(memory);
        MessageBeep(MB_ICONWARNING);
        return;
    }
    uint64_t copied = 0;
    TextPieces(from, to, [&](std::string_view text) {
        const int n = static_cast<int>(std::min<uint64_t>(text.size(), length - copied));
        copied += n > 0 ? MultiByteToWideChar(1251, 0, text.data(), n, out + copied, n) : 0;
        return copied < length;
    });
    out[copied] = L'\0';
    GlobalUnlock(memory);
    if (OpenClipboard(hwnd_)) {
        EmptyClipboard();
        if (SetClipboardData(CF_UNICODETEXT, memory)) memory = nullptr;
        CloseClipboard();
    }
    if (memory) GlobalFree(memory);
}

// --- Drawing ----------------------------------------------------------------------

void TLogView::SetFont(HFONT font) {
    font_ = font;
    WindowDc screen(nullptr);
    SelectedObject selected(screen.get(), Font());
    TEXTMETRICW metrics{};
    GetTextMetricsW(screen.get(), &metrics);
    lineHeight_ = std::max<int>(1, metrics.tmHeight);
    charWidth_ = std::max<int>(1, metrics.tmAveCharWidth);
    // Tab stops every eight average characters, as TabbedTextOut put them.
    tabWidth_ = 8 * charWidth_;
    SIZE mark{};
    GetTextExtentPoint32W(screen.get(), kCutMark, 1, &mark);
    markWidth_ = mark.cx;
    // What the font does not say follows the display scale.
    const int dpi = WindowDpi(hwnd_);
    DWORD caret = 1;
    SystemParametersInfoW(SPI_GETCARETWIDTH, 0, &caret, 0);
    caretWidth_ = std::max(1, Scaled(static_cast<int>(caret), dpi));
    margin_ = Scaled(kMargin, dpi);
    widest_ = 0;
    measured_ = UINT64_MAX;
    layouts_.clear();
}

void TLogView::MakeCaret() {
    CreateCaret(hwnd_, nullptr, caretWidth_, lineHeight_);
    UpdateCaret();
    ShowCaret(hwnd_);
}

HGDIOBJ TLogView::Font() const { return font_ ? static_cast<HGDIOBJ>(font_) : GetStockObject(SYSTEM_FONT); }

std::wstring TLogView::LineText(uint64_t line) {
    WithReader([&](const ShownReader& read) { state_.Need(line, 1, read); });
    return FromCp1251(state_.Line(line));
}

LineLayout TLogView::Measure(HDC dc, const std::wstring& text, uint64_t length) const {
    LineLayout layout;
    layout.length = std::max<uint64_t>(length, text.size());
    layout.markWidth = markWidth_;
    layout.ends.resize(text.size());
    // Each run between tabs in one call, whose extents are 32-bit.
    int x = 0;
    for (size_t i = 0; i < text.size();) {
        if (text[i] == L'\t') {
            x = (x / tabWidth_ + 1) * tabWidth_;
            layout.ends[i++] = x;
            continue;
        }
        const size_t next = std::min(text.find(L'\t', i), text.size());
        SIZE size{};
        GetTextExtentExPointW(dc, text.data() + i, static_cast<int>(next - i), 0, nullptr, &layout.ends[i], &size);
        for (size_t k = i; k < next; ++k) layout.ends[k] += x;
        x = layout.ends[next - 1];
        i = next;
    }
    return layout;
}

LineLayout TLogView::LayoutOf(HDC dc, uint64_t line, const std::wstring& text) const {
    if (line >= layoutsFirst_ && line - layoutsFirst_ < layouts_.size()) {
        const LineLayout& held = layouts_[line - layoutsFirst_];
        if (held.ends.size() == text.size() && held.length == state_.ContentLength(line)) return held;
    }
    return Measure(dc, text, state_.ContentLength(line));
}

void TLogView::DrawLine(HDC dc, int x, int y, const std::wstring& text, const LineLayout& layout, bool selected) const {
    // Each run between tabs at the places measured, so that drawing and
    // measuring agree to the pixel.
    SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    std::vector<INT> advances;
    for (size_t i = 0; i < text.size();) {
        if (text[i] == L'\t') {
            ++i;
            continue;
        }
        const size_t next = std::min(text.find(L'\t', i), text.size());
        const int left = layout.X(i);
        advances.clear();
        for (size_t k = i; k < next; ++k) advances.push_back(layout.ends[k] - layout.X(k));
        ExtTextOutW(dc, x + left, y, 0, nullptr, text.data() + i, static_cast<UINT>(next - i), advances.data());
        i = next;
    }
    if (!layout.Cut()) return;
    SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_GRAYTEXT));
    ExtTextOutW(dc, x + layout.X(text.size()), y, 0, nullptr, kCutMark, 1, nullptr);
}

uint64_t TLogView::Rows() const {
    RECT client;
    GetClientRect(hwnd_, &client);
    return static_cast<uint64_t>((std::max<LONG>(client.bottom, 0) + lineHeight_ - 1) / lineHeight_);
}

uint64_t TLogView::RowsInSight() const {
    RECT client;
    GetClientRect(hwnd_, &client);
    return static_cast<uint64_t>(std::max<LONG>(1, client.bottom / lineHeight_));
}

int TLogView::ContentWidth() const { return widest_ + 2 * margin_ + charWidth_; }

void TLogView::Paint(HDC target) {
    RECT client;
    GetClientRect(hwnd_, &client);
    if (client.right <= 0 || client.bottom <= 0) return;
    // Drawn aside and put on screen at once: the view changes every second.
    HDC dc = CreateCompatibleDC(target);
    BitmapPtr bitmap(CreateCompatibleBitmap(target, client.right, client.bottom));
    {
        SelectedObject keepBitmap(dc, bitmap.get());
        SelectedObject keepFont(dc, Font());
        FillRect(dc, &client, GetSysColorBrush(COLOR_MENU));
        SetBkMode(dc, TRANSPARENT);
        const uint64_t first = state_.Top();
        const uint64_t last = std::min(state_.Lines(), first + Rows());
        WithReader([&](const ShownReader& read) { state_.Need(first, last - first, read); });
        for (uint64_t line = first; line < last; ++line) {
            const std::wstring text = FromCp1251(state_.Line(line));
            const LineLayout layout = LayoutOf(dc, line, text);
            const int x = margin_ - x_;
            const int y = static_cast<int>(line - first) * lineHeight_;
            DrawLine(dc, x, y, text, layout, false);
            const SelectedColumns on = SelectionOnLine(state_.SelectionStart(), state_.SelectionEnd(),
                                                       state_.LineStart(line), layout.length);
            if (!on.any) continue;
            RECT marked{x + layout.X(on.first), y, x + layout.X(on.last) + (on.pastEnd ? charWidth_ : 0),
                        y + lineHeight_};
            FillRect(dc, &marked, GetSysColorBrush(COLOR_HIGHLIGHT));
            const int saved = SaveDC(dc);
            IntersectClipRect(dc, marked.left, marked.top, marked.right, marked.bottom);
            DrawLine(dc, x, y, text, layout, true);
            RestoreDC(dc, saved);
        }
        BitBlt(target, 0, 0, client.right, client.bottom, dc, 0, 0, SRCCOPY);
    }
    DeleteDC(dc);
}

void TLogView::Changed() {
    if (state_.Showings() != loads_) {
        loads_ = state_.Showings();
        widest_ = 0;
        measured_ = UINT64_MAX;
    }
    // The lines in sight measured here, not while painting: a wider line
    // coming into sight sets the bar before the paint.
    layoutsFirst_ = state_.Top();
    layouts_.clear();
    const uint64_t last = std::min(state_.Lines(), layoutsFirst_ + Rows());
    WithReader([&](const ShownReader& read) { state_.Need(layoutsFirst_, last - layoutsFirst_, read); });
    {
        WindowDc dc(hwnd_);
        SelectedObject keepFont(dc.get(), Font());
        for (uint64_t line = layoutsFirst_; line < last; ++line) {
            layouts_.push_back(Measure(dc.get(), FromCp1251(state_.Line(line)), state_.ContentLength(line)));
            widest_ = std::max(widest_, layouts_.back().Width());
        }
    }
    UpdateScrollBars();
    UpdateCaret();
    InvalidateRect(hwnd_, nullptr, FALSE);
    Notify();
}

void TLogView::UpdateScrollBars() {
    // The longest line by its bytes is measured whenever it changes, so that
    // the horizontal bar reaches it wherever it lies.
    const LineIndex& index = state_.Index();
    const uint64_t longest = state_.What() == LogViewState::Shows::File ? index.LongestLine() : 0;
    const uint64_t length = state_.LineFinish(longest) - state_.LineStart(longest);
    if (longest != measured_ || length != measuredLength_) {
        measured_ = longest;
        measuredLength_ = length;
        std::string bytes;
        WithReader([&](const ShownReader& read) {
            if (!read(state_.LineStart(longest), static_cast<size_t>(std::min<uint64_t>(length, kMaxLineChars + 2)),
                      bytes))
                bytes.clear();
        });
        WindowDc dc(hwnd_);
        SelectedObject keepFont(dc.get(), Font());
        const LineLayout layout = Measure(dc.get(), FromCp1251(LineContent(bytes)), state_.ContentLength(longest));
        widest_ = std::max(widest_, layout.Width());
    }
    const ScrollRange rows = VerticalScroll(state_.LastLineOnTop(), RowsInSight(), state_.Top());
    RECT client;
    GetClientRect(hwnd_, &client);
    x_ = std::clamp(x_, 0, std::max(0, ContentWidth() - static_cast<int>(client.right)));
    const ScrollBars now{rows.max, static_cast<int>(rows.page), rows.pos, ContentWidth() - 1,
                         static_cast<int>(std::max<LONG>(client.right, 0)), x_};
    // Wine draws a scroll bar slowly (about 8 ms): they are set only when
    // they changed, and drawn, with the next paint, only when what they show
    // moved; a line added to a long log does not move the thumb a pixel.
    if (now == bars_) return;
    const std::vector<LONG> before = ScrollBarPixels(hwnd_);
    SCROLLINFO vertical{sizeof vertical, SIF_ALL | SIF_DISABLENOSCROLL, 0, now.rows, static_cast<UINT>(now.rowPage),
                        now.top, 0};
    SCROLLINFO horizontal{sizeof horizontal, SIF_ALL | SIF_DISABLENOSCROLL, 0, now.width,
                          static_cast<UINT>(now.widthPage), now.left, 0};
    SetScrollInfo(hwnd_, SB_VERT, &vertical, FALSE);
    SetScrollInfo(hwnd_, SB_HORZ, &horizontal, FALSE);
    bars_ = now;
    if (ScrollBarPixels(hwnd_) != before) RedrawWindow(hwnd_, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE);
}

POINT TLogView::PointOf(uint64_t at) {
    const uint64_t line = state_.LineAt(at);
    const std::wstring text = LineText(line);
    WindowDc dc(hwnd_);
    SelectedObject keepFont(dc.get(), Font());
    const int64_t row = static_cast<int64_t>(line) - static_cast<int64_t>(state_.Top());
    return POINT{margin_ - x_ + LayoutOf(dc.get(), line, text).X(at - state_.LineStart(line)),
                 static_cast<LONG>(std::clamp<int64_t>(row * lineHeight_, INT_MIN / 2, INT_MAX / 2))};
}

uint64_t TLogView::OffsetAt(int x, int y, bool nearest) {
    RECT client;
    GetClientRect(hwnd_, &client);
    y = std::clamp<int>(y, 0, std::max<int>(0, client.bottom - 1));
    const uint64_t line = std::min(state_.Top() + static_cast<uint64_t>(y / lineHeight_), state_.Lines() - 1);
    const std::wstring text = LineText(line);
    WindowDc dc(hwnd_);
    SelectedObject keepFont(dc.get(), Font());
    const LineLayout layout = LayoutOf(dc.get(), line, text);
    const int across = x - margin_ + x_;
    return state_.LineStart(line) + (nearest ? layout.ColumnAt(across) : layout.CharAt(across));
}

void TLogView::UpdateCaret() {
    if (GetFocus() != hwnd_) return;
    POINT at{-lineHeight_ - caretWidth_, -lineHeight_};
    if (InSight(state_.LineAt(state_.Caret()))) at = PointOf(state_.Caret());
    SetCaretPos(at.x, at.y);
}

void TLogView::Notify() {
    // The system caret tells where it moved; the text and the selection are the view's to tell.
    const auto text = std::make_pair(state_.Showings(), state_.Bytes());
    if (text != toldText_) {
        toldText_ = text;
        NotifyWinEvent(EVENT_OBJECT_VALUECHANGE, hwnd_, OBJID_CLIENT, CHILDID_SELF);
    }
    const auto selection = std::make_pair(state_.Anchor(), state_.Caret());
    if (selection != toldSelection_) {
        toldSelection_ = selection;
        NotifyWinEvent(EVENT_OBJECT_TEXTSELECTIONCHANGED, hwnd_, OBJID_CLIENT, CHILDID_SELF);
    }
}

LRESULT TLogView::EditProxy(WPARAM wParam) {
    // The system's edit proxy serves MSAA and UI Automation clients from the
    // EM_ messages above, as it served the edit control. oleacc comes from
    // the system folder, when first asked. Wine's has no edit proxy: the call
    // would end the process there.
    using CreateProxy = HRESULT(WINAPI*)(HWND, LPCWSTR, LONG, REFIID, void**);
    using ResultOf = LRESULT(WINAPI*)(REFIID, WPARAM, LPUNKNOWN);
    static const HMODULE oleacc = [] {
        if (GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version")) return HMODULE{};
        wchar_t path[MAX_PATH];
        const UINT n = GetSystemDirectoryW(path, MAX_PATH);
        if (n == 0 || n + 12 >= MAX_PATH) return HMODULE{};
        lstrcatW(path, L"\\oleacc.dll");
        return LoadLibraryW(path);
    }();
    if (!oleacc) return 0;
    auto entry = [&](const char* name) { return reinterpret_cast<void*>(GetProcAddress(oleacc, name)); };
    const auto create = reinterpret_cast<CreateProxy>(entry("CreateStdAccessibleProxyW"));
    const auto result = reinterpret_cast<ResultOf>(entry("LresultFromObject"));
    if (!create || !result) return 0;
    // LresultFromObject marshals the object: COM must be started on this thread.
    if (!comStarted_) comStarted_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    IAccessible* proxy = nullptr;
    if (FAILED(create(hwnd_, L"Edit", OBJID_CLIENT, __uuidof(IAccessible), reinterpret_cast<void**>(&proxy)))) return 0;
    const LRESULT answer = result(__uuidof(IAccessible), wParam, proxy);
    proxy->Release();
    return answer > 0 ? answer : 0;
}

// --- Scrolling, the mouse and the keyboard ---------------------------------------

void TLogView::ScrollX(int x) {
    x_ = x;
    Changed();
}

void TLogView::CaretIntoView() {
    state_.ScrollIntoView(state_.LineAt(state_.Caret()), RowsInSight());
    const int at = PointOf(state_.Caret()).x + x_;
    RECT client;
    GetClientRect(hwnd_, &client);
    if (at < x_ + margin_)
        x_ = at - margin_;
    else if (at > x_ + client.right - margin_)
        x_ = at - client.right + margin_ + charWidth_;
}

void TLogView::OnVScroll(int code) {
    const int64_t page = static_cast<int64_t>(RowsInSight());
    switch (code) {
        case SB_LINEUP: state_.ScrollBy(-1); break;
        case SB_LINEDOWN: state_.ScrollBy(1); break;
        case SB_PAGEUP: state_.ScrollBy(-page); break;
        case SB_PAGEDOWN: state_.ScrollBy(page); break;
        case SB_TOP: state_.ScrollTo(0); break;
        case SB_BOTTOM: state_.ScrollTo(static_cast<int64_t>(state_.LastLineOnTop())); break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION: {
            // The 32-bit position: the message's own has only 16 bits.
            SCROLLINFO info{sizeof info, SIF_TRACKPOS, 0, 0, 0, 0, 0};
            GetScrollInfo(hwnd_, SB_VERT, &info);
            state_.ScrollTo(info.nTrackPos);
            break;
        }
        default: return;
    }
    Changed();
}

void TLogView::OnHScroll(int code) {
    RECT client;
    GetClientRect(hwnd_, &client);
    switch (code) {
        case SB_LINELEFT: ScrollX(x_ - charWidth_); break;
        case SB_LINERIGHT: ScrollX(x_ + charWidth_); break;
        case SB_PAGELEFT: ScrollX(x_ - client.right); break;
        case SB_PAGERIGHT: ScrollX(x_ + client.right); break;
        case SB_LEFT: ScrollX(0); break;
        case SB_RIGHT: ScrollX(ContentWidth()); break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION: {
            SCROLLINFO info{sizeof info, SIF_TRACKPOS, 0, 0, 0, 0, 0};
            GetScrollInfo(hwnd_, SB_HORZ, &info);
            ScrollX(info.nTrackPos);
            break;
        }
        default: break;
    }
}

void TLogView::OnMouse(int x, int y, bool extend) {
    state_.PlaceCaret(OffsetAt(x, y, true), extend);
    Changed();
}

void TLogView::OnDoubleClick(int x, int y) {
    const uint64_t at = OffsetAt(x, y, false);
    const uint64_t start = state_.LineStart(state_.LineAt(at));
    const auto [first, last] = WordAt(state_.Line(state_.LineAt(at)), static_cast<size_t>(at - start));
    state_.Select(start + first, start + last);
    Changed();
}

void TLogView::FollowDrag(int x, int y) {
    drag_ = POINT{x, y};
    OnMouse(x, y, true);
    // Past an edge the view scrolls on at its own pace, whether the pointer moves or not.
    RECT client;
    GetClientRect(hwnd_, &client);
    const bool outside = y < 0 || y >= client.bottom || x < 0 || x >= client.right;
    if (outside && !dragTimer_) dragTimer_ = SetTimer(hwnd_, kDragTimer, kDragScrollMs, nullptr) != 0;
    if (!outside && dragTimer_) {
        KillTimer(hwnd_, kDragTimer);
        dragTimer_ = false;
    }
}

void TLogView::DragScroll() {
    RECT client;
    GetClientRect(hwnd_, &client);
    // Faster the further the pointer is: a line more for each line's height.
    if (drag_.y < 0) state_.ScrollBy(-1 - (-drag_.y) / lineHeight_);
    if (drag_.y >= client.bottom) state_.ScrollBy(1 + (drag_.y - client.bottom) / lineHeight_);
    if (drag_.x < 0) x_ = std::max(0, x_ - charWidth_);
    if (drag_.x >= client.right) x_ += charWidth_;
    OnMouse(drag_.x, drag_.y, true);
}

void TLogView::StopDrag() {
    dragging_ = false;
    if (dragTimer_) KillTimer(hwnd_, kDragTimer);
    dragTimer_ = false;
}

void TLogView::OnKey(WPARAM key) {
    const bool control = GetKeyState(VK_CONTROL) < 0;
    const bool shift = GetKeyState(VK_SHIFT) < 0;
    CaretMove move;
    switch (key) {
        case 'A':
            if (!control) return;
            state_.SelectAll();
            Changed();
            return;
        case 'C':
        case VK_INSERT:
            if (!control) return;
            if (state_.HasSelection())
                Copy(state_.SelectionStart(), state_.SelectionEnd());
            else
                MessageBeep(MB_OK);  // nothing to copy: the clipboard keeps what it had
            return;
        case 'F':
            if (control) OpenFind();
            return;
        case VK_F3: FindNext(shift); return;
        case VK_LEFT: move = CaretMove::Left; break;
        case VK_RIGHT: move = CaretMove::Right; break;
        case VK_UP: move = CaretMove::Up; break;
        case VK_DOWN: move = CaretMove::Down; break;
        case VK_PRIOR: move = CaretMove::PageUp; break;
        case VK_NEXT: move = CaretMove::PageDown; break;
        case VK_HOME: move = control ? CaretMove::TextHome : CaretMove::LineHome; break;
        case VK_END: move = control ? CaretMove::TextEnd : CaretMove::LineEnd; break;
        default: return;
    }
    state_.PlaceCaret(MoveCaret(state_, move, RowsInSight()), shift);
    CaretIntoView();
    Changed();
}

void TLogView::OnContextMenu(LPARAM at) {
    POINT where{GET_X_LPARAM(at), GET_Y_LPARAM(at)};
    if (at == -1) {
        // From the keyboard: under the caret, or at the view's corner when
        // the caret is out of sight.
        RECT client;
        GetClientRect(hwnd_, &client);
        where = POINT{0, 0};
        const uint64_t line = state_.LineAt(state_.Caret());
        if (line >= state_.Top() && line < state_.Top() + RowsInSight()) {
            const POINT caret = PointOf(state_.Caret());
            if (caret.x >= 0 && caret.x < client.right) where = POINT{caret.x, caret.y + lineHeight_};
        }
        ClientToScreen(hwnd_, &where);
    }
    // What the menu was opened for: a refresh while it is open may end the selection.
    const uint64_t from = state_.SelectionStart(), to = state_.SelectionEnd();
    MenuPtr menu(CreatePopupMenu());
    AppendMenuW(menu.get(), MF_STRING | (from < to ? 0 : MF_GRAYED), kCopy, text::kViewCopy);
    AppendMenuW(menu.get(), MF_STRING, kSelectAll, text::kViewSelectAll);
    AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu.get(), MF_STRING, kFind, text::kViewFind);
    switch (TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON, where.x, where.y, 0, hwnd_, nullptr)) {
        case kCopy: Copy(from, to); break;
        case kSelectAll:
            state_.SelectAll();
            Changed();
            break;
        case kFind: OpenFind(); break;
        default: break;
    }
}

// --- Find -----------------------------------------------------------------------------

void TLogView::OpenFind() {
    if (findDialog_) {
        SetFocus(findDialog_);
        return;
    }
    // A short selection within one line is what is sought, as in Notepad.
    const uint64_t from = state_.SelectionStart(), to = state_.SelectionEnd();
    if (from < to && to - from < sizeof findWhat_ / sizeof findWhat_[0]) {
        std::string bytes;
        WithReader([&](const ShownReader& read) {
            if (!read(from, static_cast<size_t>(to - from), bytes)) bytes.clear();
        });
        if (!bytes.empty() && bytes.find_first_of("\r\n") == std::string::npos)
            lstrcpynW(findWhat_, FromCp1251(bytes).c_str(), sizeof findWhat_ / sizeof findWhat_[0]);
    }
    find_.hwndOwner = hwnd_;
    find_.lpstrFindWhat = findWhat_;
    find_.wFindWhatLen = sizeof findWhat_;
    find_.lStructSize = sizeof find_;
    find_.Flags = (findDown_ ? FR_DOWN : 0) | (findCase_ ? FR_MATCHCASE : 0) | FR_HIDEWHOLEWORD | FR_ENABLEHOOK;
    find_.lpfnHook = FindHook;
    find_.lCustData = findWrap_;
    findDialog_ = gFindDialog = FindTextW(&find_);
}

void TLogView::OnFindMessage(const FINDREPLACEW& find) {
    if (find.Flags & FR_DIALOGTERM) {
        findDialog_ = gFindDialog = nullptr;
        return;
    }
    if (!(find.Flags & FR_FINDNEXT)) return;
    // Taken now: the dialog clears its flags again on other notifications
    // (under Wine even on a change of focus), and F3 searches as last asked.
    findDown_ = (find.Flags & FR_DOWN) != 0;
    findCase_ = (find.Flags & FR_MATCHCASE) != 0;
    FindNext(false);
}

void TLogView::FindNext(bool reverse) {
    if (!findWhat_[0]) {
        OpenFind();
        return;
    }
    if (findDialog_) findWrap_ = IsDlgButtonChecked(findDialog_, kWrapBox) == BST_CHECKED;
    const bool down = findDown_ != reverse;
    const bool matchCase = findCase_;
    // A character the log's code page does not have is found nowhere.
    BOOL lost = FALSE;
    const int n = WideCharToMultiByte(1251, WC_NO_BEST_FIT_CHARS, findWhat_, -1, nullptr, 0, nullptr, &lost);
    std::string needle(n > 0 ? n : 1, '\0');
    WideCharToMultiByte(1251, WC_NO_BEST_FIT_CHARS, findWhat_, -1, &needle[0], n, nullptr, &lost);
    needle.resize(needle.size() - 1);
    uint64_t found = kNotFound;
    if (!lost) {
        WithReader([&](const ShownReader& read) {
            found = FindInShown(read, state_.Bytes(), state_.FindFrom(down), needle, matchCase, down, findWrap_);
        });
    }
    if (found == kNotFound) {
        std::wstring message = text::kViewNotFound;
        message.replace(message.find(L"%s"), 2, findWhat_);
        MessageBoxW(findDialog_ ? findDialog_ : GetAncestor(hwnd_, GA_ROOT), message.c_str(), text::kAppName,
                    MB_OK | MB_ICONINFORMATION);
        return;
    }
    // The found line stays in view until the log changes, as a scroll does.
    state_.SelectFound(found, needle.size(), down);
    CaretIntoView();
    state_.ScrollIntoView(state_.LineAt(found), RowsInSight());
    Changed();
}
