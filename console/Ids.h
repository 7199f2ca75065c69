// Command and control numbers of the main window. The UI test driver sends
// the same numbers, so they live apart from the window's code.
#pragma once

namespace ids {

// Main menu items.
enum Menu : int {
    N6 = 106,   // settings
    N7 = 107,   // user information
    N16 = 116,  // exit
    N13 = 113,  // RAS start
    N14 = 114,  // RAS stop
    N9 = 109,   // web start
    N10 = 110,  // web stop
    NFtpStart = 120,
    NFtpStop = 121,
    N18 = 118,  // help
    N17 = 117,  // About
    N19 = 119,  // the day's connections
    NNotices = 122,  // the balloons on or off, in "Опции" and in the tray menu
    // Tray menu.
    N1 = 101,  // clear log
    N3 = 103,  // About (inert)
    N4 = 104,  // help (inert)
    N5 = 105,  // the day's connections
    N2 = 102,  // exit
};

// Tool buttons, left to right.
enum ToolButton : int {
    ToolButton2 = 202,  // watch off (check)
    ToolButton1 = 201,  // RAS start
    ToolButton3 = 203,  // RAS stop
    ToolButton6 = 206,  // settings
    ToolButton4 = 204,  // user information
    ToolButton5 = 205,  // help
};

// Child windows.
enum Control : int {
    ToolBar1 = 300,
    Memo1 = 301,
    Panel2 = 302,
    Label2 = 303,
    RAS = 304,
    FTP = 305,
    StaticText1 = 306,
    StaticText2 = 307,
    TLIMIT = 308,
    WorkTime = 309,
    Label1 = 310,
    StatusBar1 = 311,
    // Whether the plug-in is loaded: below Label1, in the panel's free room.
    PluginState = 312,
};

}  // namespace ids

// The main window's class name, by which the test driver finds it.
inline constexpr wchar_t kMainWindowClass[] = L"TForm1";
// What the notification-area icon sends to the main window; lParam is the mouse message.
inline constexpr unsigned kTrayMessage = 0x8000 + 1;  // WM_APP + 1
