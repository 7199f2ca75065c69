// uidriver.exe: drives the console's main window from the command line.
//   uidriver [--class NAME] [--title TEXT] COMMAND ...
//   text ID            prints the control's text as UTF-8
//   wait ID TEXT [MS]  waits until the control shows TEXT (exit 1 if not)
//   menu ID            chooses the menu item (or any command) ID
//   button ID [check]  clicks the tool button; "check" for a check button
//   checked ID         prints 1 when the tool button is pressed, else 0
//   visible            prints 1 when the window is visible, else 0
//   rect               prints the window's screen rectangle: LEFT TOP WIDTH HEIGHT
//   clientrect         the same of its client area (without a window manager the frame is not drawn)
//   tray MOUSEMSG      sends the tray icon's mouse message (e.g. 514 for a left click)
//   msgbox             prints the text of the message box over the window
//   answer ID          presses button ID of that message box
//   close              closes the window
//   choose ID TEXT     chooses the item TEXT of the combo box ID, as the operator does
// Without --class and --title the console's class TForm1 is looked for.
#include <windows.h>
#include <commctrl.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>

#include "Ids.h"
#include "UiDriver.h"

namespace {

int Usage() {
    std::fputs("usage: uidriver [--class NAME] [--title TEXT] text|wait|menu|button|checked|visible|rect|clientrect|tray|msgbox|"
               "answer|close|choose ...\n",
               stderr);
    return 2;
}

void Print(const std::wstring& text) {
    const std::string utf8 = ui::ToUtf8(text) + "\n";
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // UTF-8 bytes as they are, without CR put before each line feed.
    _setmode(_fileno(stdout), _O_BINARY);
    const wchar_t* className = nullptr;
    const wchar_t* title = nullptr;
    int i = 1;
    for (; i + 1 < argc; i += 2) {
        const std::wstring option = argv[i];
        if (option == L"--class") className = argv[i + 1];
        else if (option == L"--title") title = argv[i + 1];
        else break;
    }
    if (i >= argc) return Usage();
    if (!className && !title) className = kMainWindowClass;
    HWND top = ui::FindTopWindow(className, title);
    if (!top) {
        std::fputs("window not found\n", stderr);
        return 3;
    }
    const std::wstring command = argv[i];
    auto arg = [&](int k) -> std::wstring { return i + k < argc ? argv[i + k] : L""; };
    const int id = _wtoi(arg(1).c_str());
    if (command == L"text") {
        Print(ui::ControlText(top, id));
    } else if (command == L"wait") {
        const DWORD ms = arg(3).empty() ? 5000 : static_cast<DWORD>(_wtoi(arg(3).c_str()));
        return ui::WaitForText(top, id, arg(2), ms) ? 0 : 1;
    } else if (command == L"menu") {
        ui::InvokeCommand(top, id);
    } else if (command == L"button") {
        ui::ClickToolButton(top, ids::ToolBar1, id, arg(2) == L"check");
    } else if (command == L"checked") {
        Print(ui::ToolButtonChecked(top, ids::ToolBar1, id) ? L"1" : L"0");
    } else if (command == L"visible") {
        Print(IsWindowVisible(top) ? L"1" : L"0");
    } else if (command == L"rect") {
        RECT r{};
        GetWindowRect(top, &r);
        Print(std::to_wstring(r.left) + L" " + std::to_wstring(r.top) + L" " + std::to_wstring(r.right - r.left) +
              L" " + std::to_wstring(r.bottom - r.top));
    } else if (command == L"clientrect") {
        RECT r{};
        GetClientRect(top, &r);
        POINT origin{0, 0};
        ClientToScreen(top, &origin);
        Print(std::to_wstring(origin.x) + L" " + std::to_wstring(origin.y) + L" " + std::to_wstring(r.right) + L" " +
              std::to_wstring(r.bottom));
    } else if (command == L"tray") {
        PostMessageW(top, kTrayMessage, 1, id);
    } else if (command == L"msgbox") {
        HWND box = ui::WaitOwnedDialog(top, 5000);
        if (!box) return 1;
        Print(ui::MessageBoxText(box));
    } else if (command == L"answer") {
        HWND box = ui::WaitOwnedDialog(top, 5000);
        if (!box) return 1;
        ui::AnswerDialog(box, id);
    } else if (command == L"close") {
        ui::CloseWindow(top);
    } else if (command == L"choose") {
        return ui::ChooseComboBoxItem(ui::FindControl(top, id), arg(2)) ? 0 : 1;
    } else {
        return Usage();
    }
    return 0;
}
