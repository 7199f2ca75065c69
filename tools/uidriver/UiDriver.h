// Drives the console's main window from another process, as an operator
// would: finds it, reads its controls' texts, chooses menu items and tool
// buttons, answers message boxes, closes it. Used by uidriver.exe and by the
// console's tests.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace ui {

// A top-level window (hidden ones included) of the process, or by class and/or title.
HWND FindProcessWindow(DWORD processId, const wchar_t* className);
HWND FindTopWindow(const wchar_t* className, const wchar_t* title);
// Waits for it up to `timeoutMs`.
HWND WaitProcessWindow(DWORD processId, const wchar_t* className, DWORD timeoutMs);

// A child or deeper descendant with the control number `id`.
HWND FindControl(HWND top, int id);
// The window's text through WM_GETTEXT, which crosses process boundaries.
std::wstring WindowText(HWND window);
std::wstring ControlText(HWND top, int id);
bool WaitForText(HWND top, int id, const std::wstring& expected, DWORD timeoutMs);

// Posts the command, as a menu item does; never waits for a modal loop it opens.
void InvokeCommand(HWND top, int id);
// A click on a tool button: a check button changes its pressed state first.
void ClickToolButton(HWND top, int toolBarId, int buttonId, bool checkStyle);
bool ToolButtonChecked(HWND top, int toolBarId, int buttonId);

// A message box or dialog owned by `owner`; its text (control 0xFFFF for a
// message box) and its answer.
HWND FindOwnedDialog(HWND owner);
HWND WaitOwnedDialog(HWND owner, DWORD timeoutMs);
std::wstring MessageBoxText(HWND box);
void AnswerDialog(HWND box, int buttonId);

void CloseWindow(HWND top);

// A list view of another process: its number of rows and one cell's text.
// The item record and the text lie in that process's memory, as the list
// view reads and writes them there.
int ListViewRowCount(HWND list);
std::wstring ListViewCell(HWND list, int row, int column);
// A list view's columns: each heading, the column's width, and the width the
// list view itself gives the heading's text in its font.
struct ListViewColumn {
    std::wstring heading;
    int width = 0;
    int textWidth = 0;
};
std::vector<ListViewColumn> ListViewColumns(HWND list);
// An item of a combo box's list (CB_GETLBTEXT crosses process boundaries).
std::vector<std::wstring> ComboBoxItems(HWND combo);
// Chooses the item with that text and tells the combo box's parent, as a
// choice with the mouse does; false when there is no such item.
bool ChooseComboBoxItem(HWND combo, const std::wstring& text);

std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);

}  // namespace ui
