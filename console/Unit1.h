// The console's main window: the live picture of the gateway, refreshed once
// a second, and the working-hours watch. Lives behind a tray icon.
#pragma once
#include <windows.h>

#include <shellapi.h>

#include <cstdint>
#include <functional>
#include <string>

#include "ConfigKeys.h"
#include "PluginWatch.h"
#include "Win32Ui.h"
#include "logic/Monitor.h"
#include "logic/PluginLog.h"

// What the main window asks of the shell and of the Application log, which a
// test replaces to see the calls and to hand over the plug-in's events.
struct ConsoleSeams {
    // Shell_NotifyIconW: the tray icon and its balloons.
    std::function<BOOL(DWORD, NOTIFYICONDATAW*)> notifyIcon;
    PluginEventSource pluginEvents;
};

class TForm2;
class TForm3;
class TForm4;
class TForm5;
class TLogView;

class TForm1 {
public:
    // Creates the window hidden; `configFolder` (with its final backslash)
    // holds qv_config.ini. The shell and the Application log are asked
    // unless `seams` names others. Returns null when the window cannot be made.
    static TForm1* Create(HINSTANCE instance, const std::string& configFolder, ConsoleSeams seams = {});
    HWND Handle() const { return hwnd_; }

    // Monitoring refresh: countdown, log view, current user.
    void Timer1Timer();
    // Working-hours step, then the service-state lines.
    void Timer2Timer();

    // The program's message loop hands each message here first: the
    // commands' keys, pressed in this window. True when it was one.
    bool TranslateAccelerator(MSG* msg);

    // Members the settings and user-information dialogs work with.
    std::string UsersFolder;
    std::string TimeFilePath;
    std::string LogFolder;
    std::string TodayLogPath;
    int32_t WatchTickCounter = 1;
    bool WorkTimeCheckDisabled = ConfigDefaultOn(config_key::kDisableCheckWorkTime.mainWindowDefault);
    int32_t TimeBegin = ConfigDefaultNumber(config_key::kTimeBegin.mainWindowDefault);
    int32_t TimeEnd = ConfigDefaultNumber(config_key::kTimeEnd.mainWindowDefault);

    // The dialogs, created once at program start after this window.
    TForm2* Form2 = nullptr;
    TForm3* Form3 = nullptr;
    TForm4* Form4 = nullptr;
    // The day's connections, made when first asked for.
    TForm5* Form5 = nullptr;

private:
    TForm1(const std::string& configFolder, ConsoleSeams seams);
    template <class Form>
    friend LRESULT CALLBACK FormWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);

    void FormCreate();
    void FormClose();
    void FormDestroy();
    void CreateControls();
    // Fonts, pictures and the layout for the scale of `dpi`.
    void ApplyDpi(int dpi);
    void LayoutControls();
    int FieldWidth() const;
    void ReadConfiguration();
    bool IsWorkingTime() const;
    // `fromButton`: a tool button's click, which has pressed or released a check button already.
    void OnCommand(int id, bool fromButton);
    void OnTrayMessage(UINT mouseMessage);
    void AddTrayIcon();

    void RefreshCountdown();
    void RefreshLogView();
    void RefreshCurrentUser();
    // The plug-in's state: the lines appended to its log, its service, its events.
    void RefreshPluginState();
    void FollowPluginLog();
    // A balloon from the tray icon while the window is hidden, if they are on.
    void Tell(const Notice& notice);
    void NNoticesClick();

    // Handlers named after their controls.
    void TrayIcon1Click();
    void TrayIcon1DblClick();
    void N1Click();
    void N6Click();
    void N7Click();
    void N17Click();
    void N18Click();
    void N19Click();
    void ToolButton2Click();

    std::string ConfigPath() const;
    void SetText(int id, const std::string& cp1251);
    void SetWideText(int id, const std::wstring& text);

    std::string configFolder_;
    HWND hwnd_ = nullptr;
    int dpi_ = 96;
    HWND toolBar_ = nullptr;
    // Memo1: today's log, drawn from its file.
    TLogView* logView_ = nullptr;
    HWND panel_ = nullptr;
    HWND statusBar_ = nullptr;
    MenuPtr popupMenu_;
    std::unique_ptr<std::remove_pointer_t<HACCEL>, decltype(&DestroyAcceleratorTable)> accelerators_{nullptr, &DestroyAcceleratorTable};
    FontPtr font_;
    FontPtr boldFont_;
    ImageListPtr imageList1_;
    IconPtr trayIcon_;
    bool trayIconShown_ = false;
    UINT taskbarCreated_ = 0;

    std::function<BOOL(DWORD, NOTIFYICONDATAW*)> notifyIcon_;
    bool noticesOn_ = true;
    bool eventsPolled_ = false;  // the first poll's events are of the past, not told

    // What the state field is made from.
    PluginEventSource pluginEvents_;
    std::vector<PluginEventRecord> events_;
    ServiceProcess rasProcess_;
    PluginLogFollower follower_;
    bool logSearched_ = false;
    std::string followed_;  // the day's log followed, and how far it was read
    uint64_t followedOffset_ = 0;
    bool pluginProblem_ = false;
};

