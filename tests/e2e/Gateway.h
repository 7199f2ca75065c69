// One gateway laid out as an administrator does it: dialgate.dll (the fast
// cycle), portwatch.exe and their qv_config.ini side by side in a folder that
// also holds the users' folder, the time file, the logs and the FTP server's
// users.ini. The stand-in is installed as the service RemoteAccess with this
// dialgate.dll registered, and testsvc.exe as the FTP service bpftpserver.
// Everything is removed again at the end.
#pragma once
#include <windows.h>

#include <string>

#include "TestService.h"
#include "TestSupport.h"

inline constexpr char kFtpService[] = "bpftpserver";
inline constexpr char kRasService[] = "RemoteAccess";

class Gateway {
public:
    // `options` and `gui` are the bodies of the [OPTIONS] and [GUI] sections.
    Gateway(const std::string& options, const std::string& gui);
    ~Gateway();
    Gateway(const Gateway&) = delete;
    Gateway& operator=(const Gateway&) = delete;

    // Services installed and the plug-in registered.
    bool Installed() const { return installed_; }
    std::string ServicesProblem() const { return problem_; }

    // Starts RemoteAccess and waits until the stand-in answers with the plug-in loaded.
    bool StartRas();
    bool StopRas();
    bool StartFtp();

    // Starts portwatch.exe and waits until its fields are filled.
    bool StartConsole();
    void CloseConsole();
    HWND Window() const { return window_; }
    std::wstring Text(int id) const;
    bool WaitText(int id, const std::wstring& expected, DWORD timeoutMs = 8000) const;

    // Every daily log file of the folder, oldest name first, times masked.
    std::string Log() const;
    bool WaitLog(const std::string& text, DWORD timeoutMs, size_t count = 1) const;
    std::string FtpEvents() const { return ReadAll(ftpEvents); }

    TempDir dir{"e2e"};
    std::string users = dir / "users\\";
    std::string logs = dir / "logs\\";
    std::string timeFile = dir / "time.txt";
    std::string usersIni = dir / "ftp\\users.ini";
    std::string ftpRoot = dir / "ftp\\root\\";
    std::string ftpUpload = dir / "ftp\\root\\upload\\";
    std::string ftpEvents = dir / "bpftpserver-events.txt";
    std::string config = dir / "qv_config.ini";

private:
    bool installed_ = false;
    std::string problem_;
    PROCESS_INFORMATION console_{};
    HWND window_ = nullptr;
};

// The seconds the console's countdown field shows, or -1 when it shows none.
int CountdownValue(const std::wstring& field);
