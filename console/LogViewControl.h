// The main window's log view (Memo1): today's log drawn straight from its
// file, only the lines in sight, over an index of where each line starts.
// Read-only, both scroll bars, no wrapping, the menu colour behind the text;
// selection by mouse and keyboard, Ctrl+C, Ctrl+A, a context menu, Ctrl+F and
// F3. For automation and screen readers it answers as the edit control it
// replaced did, in the text as that control handed it out (every line end
// CR LF): WM_GETTEXT(LENGTH), EM_GETLINECOUNT, EM_GETFIRSTVISIBLELINE,
// EM_GETSEL, EM_SETSEL, EM_LINEFROMCHAR, EM_LINEINDEX, EM_LINELENGTH,
// EM_GETLINE, EM_POSFROMCHAR, EM_CHARFROMPOS, EM_SCROLLCARET, WM_COPY, and
// WM_GETOBJECT with the system's edit proxy; it raises the value and text
// selection events when they change.
#pragma once
#include <windows.h>
#include <commdlg.h>

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "logic/LogView.h"

class TLogView {
public:
    // A child of `parent` with the control number `id`; owned by its window.
    static TLogView* Create(HWND parent, int id);
    HWND Handle() const { return hwnd_; }

    // The monitoring refresh's step: today's log at `path`, as far as it can
    // be read in one step (a load goes on in steps of the view's own timer),
    // or the missing-file text. When that changed what is shown, the last
    // line goes on top; otherwise the scroll and the selection stay.
    void Refresh(const std::string& path);
    // "Очистить лог": the view empties; the next refresh reads the file anew.
    void Clear();

    // The search dialog, while open, takes its keyboard messages (Tab,
    // Enter, Esc) from the program's message loop through this.
    static bool DialogMessage(MSG* msg);

private:
    TLogView() = default;
    template <class Form>
    friend LRESULT CALLBACK FormWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);

    // Reads what the file's entry calls for; a refresh's `tick` or a load's step.
    void Update(bool tick);
    void Step();
    void Paint(HDC dc);
    void DrawLine(HDC dc, int x, int y, const std::wstring& text, const LineLayout& layout, bool selected) const;
    void SetFont(HFONT font);
    void MakeCaret();
    // After every change of what is shown or where: measures the lines in
    // sight, sets the scroll bars and the caret, asks for a paint and tells
    // assistive technology what changed.
    void Changed();
    void UpdateScrollBars();
    void UpdateCaret();
    void Notify();
    void ScrollX(int x);
    void CaretIntoView();
    void OnKey(WPARAM key);
    void OnMouse(int x, int y, bool extend);
    void OnDoubleClick(int x, int y);
    void FollowDrag(int x, int y);
    void DragScroll();
    void StopDrag();
    void OnVScroll(int code);
    void OnHScroll(int code);
    void OnContextMenu(LPARAM at);
    void OpenFind();
    void FindNext(bool reverse);
    void OnFindMessage(const FINDREPLACEW& find);
    LRESULT EditProxy(WPARAM wParam);

    // What is shown, read through `read` (the file opened for the call).
    void WithReader(const std::function<void(const ShownReader&)>& use) const;
    // The text of [from, to) as it is handed out, in pieces.
    // `take` says whether it wants more; false when a read failed.
    bool TextPieces(uint64_t from, uint64_t to, const std::function<bool(std::string_view)>& take) const;
    void Copy(uint64_t from, uint64_t to);
    LRESULT GetText(size_t room, wchar_t* buffer) const;
    LRESULT GetLine(uint64_t line, wchar_t* buffer) const;

    // A line's text as drawn (cut at kMaxLineChars), read if not held.
    std::wstring LineText(uint64_t line);
    HGDIOBJ Font() const;
    LineLayout Measure(HDC dc, const std::wstring& text, uint64_t length) const;
    // The line's layout: as measured for the lines in sight, else measured now.
    LineLayout LayoutOf(HDC dc, uint64_t line, const std::wstring& text) const;
    // Where the character at `at` is drawn, in client pixels.
    POINT PointOf(uint64_t at);
    // What lies at client point (x, y): the nearest boundary, or the character under it.
    uint64_t OffsetAt(int x, int y, bool nearest);
    bool InSight(uint64_t line) const { return line >= state_.Top() && line < state_.Top() + Rows(); }
    uint64_t Rows() const;
    uint64_t RowsInSight() const;
    int ContentWidth() const;

    HWND hwnd_ = nullptr;
    HFONT font_ = nullptr;
    // Measures of the font and the display scale, as last set.
    int lineHeight_ = 16;
    int charWidth_ = 6;
    int tabWidth_ = 48;
    int markWidth_ = 6;
    int margin_ = 2;
    int caretWidth_ = 1;
    LogViewState state_;
    std::string path_;
    int x_ = 0;        // pixels scrolled to the right
    int widest_ = 0;   // the widest line drawn or measured, in pixels
    uint64_t measured_ = UINT64_MAX;  // the longest line when it was measured
    uint64_t measuredLength_ = 0;
    uint64_t loads_ = 0;
    // The lines in sight as last measured, from `layoutsFirst_` on.
    std::vector<LineLayout> layouts_;
    uint64_t layoutsFirst_ = 0;
    // The scroll bars as last set.
    struct ScrollBars {
        int rows, rowPage, top, width, widthPage, left;
        bool operator==(const ScrollBars& o) const {
            return rows == o.rows && rowPage == o.rowPage && top == o.top && width == o.width &&
                   widthPage == o.widthPage && left == o.left;
        }
    };
    ScrollBars bars_{-1, 0, 0, 0, 0, 0};
    bool dragging_ = false;
    bool dragTimer_ = false;
    POINT drag_{};  // where the pointer was last seen while dragging
    int wheel_ = 0;
    // What assistive technology was last told: the text (by its showing and
    // length) and the selection.
    std::pair<uint64_t, uint64_t> toldText_{UINT64_MAX, 0};
    std::pair<uint64_t, uint64_t> toldSelection_{UINT64_MAX, 0};
    bool comStarted_ = false;
    // The search: its dialog's record lives as long as the view.
    FINDREPLACEW find_{};
    wchar_t findWhat_[256] = {};
    HWND findDialog_ = nullptr;
    // How the operator last asked to search.
    bool findDown_ = true;
    bool findCase_ = false;
    bool findWrap_ = true;
};
