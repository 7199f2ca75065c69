// A copy of portwatch.exe in a folder of its own, with a qv_config.ini that
// keeps the users' folder, the time file and the log inside that folder;
// started, driven through its window and closed.
#pragma once
#include <windows.h>

#include <string>

#include "TestSupport.h"

std::wstring Wide1251(const std::string& cp1251);

class ConsoleInstall {
public:
    // `gui` is the [GUI] section's body, e.g. "TIME_BEGIN=24\r\nTIME_END=0\r\n".
    explicit ConsoleInstall(const std::string& gui = "DISABLE_CHECK_WORK_TIME=1\r\n");
    ~ConsoleInstall();
    ConsoleInstall(const ConsoleInstall&) = delete;
    ConsoleInstall& operator=(const ConsoleInstall&) = delete;

    bool Start();
    // Closes the window and waits for the program to end.
    bool Close(DWORD timeoutMs = 10000);
    bool Ended(DWORD timeoutMs);
    // The program's exit code once it has ended.
    DWORD ExitCode() const;
    HWND Window() const { return window_; }

    std::wstring Text(int id) const;
    bool WaitText(int id, const std::wstring& expected, DWORD timeoutMs = 4000) const;

    std::string ConfigPath() const { return dir / "qv_config.ini"; }
    std::string TodayLog() const { return logs + TodayShortDate() + "_log.txt"; }
    std::string CurrentUser() const { return users + "current.user"; }

    TempDir dir{"pw"};
    std::string users = dir / "users\\";
    std::string logs = dir / "logs\\";
    std::string timeFile = dir / "time.txt";

private:
    PROCESS_INFORMATION process_{};
    HWND window_ = nullptr;
};

// Runs a program of the build's bin folder; its exit code, -1 when it did not run or end.
int RunTool(const std::string& commandLine, std::string* output = nullptr, DWORD timeoutMs = 30000);

// The hour of the local clock, after waiting out the last seconds of an hour
// so that a test does not straddle the change.
int SteadyHour();
