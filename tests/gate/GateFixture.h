// A plug-in installation in a scratch folder: its qv_config.ini keeps every
// file of the plug-in inside the folder, and the stand-in mprapi.dll answers
// the plug-in's client calls through hooks that the test controls.
#pragma once
#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "PluginCopy.h"
#include "FakeService.h"
#include "TestSupport.h"
#include "Win32Clock.h"

// The service's calls for the built plug-in, through the stand-in
// mprapi.dll. It lists no connection: the built plug-in's tests do not dial
// through it, and a worker that asks learns nothing.
struct StandinService : FakeService {
    StandinService() {
        enumAnswer = ERROR_SERVICE_NOT_ACTIVE;
        InstallStandinHooks();
    }
};

struct GateInstall {
    TempDir dir{"conn"};
    std::string users = dir / "users\\";
    std::string logs = dir / "LOGS\\";
    std::string timeFile = dir / "time.txt";
    std::string usersIni = dir / "ftp\\users.ini";
    std::unique_ptr<PluginCopy> plugin;

    // `options` and `ftp` are extra lines of the [OPTIONS] and [FTP] sections.
    // `usersIniAt`, when given, replaces the users.ini inside the folder.
    explicit GateInstall(const std::string& options = "TIME_FOR_REG=1\r\nSHOW_VARS=0\r\n",
                         const std::string& ftp = "FTP_ACCOUNTING_ENABLED=0\r\n", const std::string& usersIniAt = "") {
        if (!usersIniAt.empty()) usersIni = usersIniAt;
        CreateDirectoryA(users.c_str(), nullptr);
        CreateDirectoryA((dir / "ftp").c_str(), nullptr);
        WriteConfig(options, ftp);
        plugin = std::make_unique<PluginCopy>(dir.Path());
        if (plugin->Loaded()) plugin->Initialize();
    }
    // qv_config.ini from the folders above, as the next load will read it.
    void WriteConfig(const std::string& options, const std::string& ftp) const {
        WriteAll(dir / "qv_config.ini", "[PHP]\r\nUSERS_FOLDER=" + users + "\r\n[OPTIONS]\r\nFILE_WITH_TIME=" +
                                            timeFile + "\r\n" + options + "[LOG]\r\nLOG_PATH=" + logs +
                                            "\r\n[FTP]\r\nFTP_INI_FILE=" + usersIni + "\r\n" + ftp);
    }
    std::string Log() const { return MaskTimes(ReadAll(logs + TodayShortDate() + "_log.txt")); }
    // The log from the line after the start-up lines on.
    std::string Tail() const {
        const std::string log = Log();
        const std::string mark = "MprAdminInitializeDll - библиотека загружена\r\n";
        const size_t at = log.find(mark);
        return at == std::string::npos ? log : log.substr(at + mark.size());
    }
    bool LogHas(const std::string& text) const { return Log().find(text) != std::string::npos; }
    bool WaitLog(const std::string& text, DWORD ms = 10000) const {
        return WaitFor([&] { return LogHas(text); }, ms);
    }
    void WriteRecord(const std::string& bytes) const { WriteAll(users + "current.user", bytes); }
};

// A dial-in as the service delivers it: connection, then link.
struct Call {
    RAS_CONNECTION_0 c0{};
    RAS_CONNECTION_1 c1{};
    RAS_PORT_0 p0{};
    RAS_PORT_1 p1{};
    explicit Call(uintptr_t id) {
        c0.hConnection = c1.hConnection = p0.hConnection = reinterpret_cast<HANDLE>(id);
        p0.hPort = p1.hPort = reinterpret_cast<HANDLE>(id + 0x1000);
    }
    BOOL Dial(const PluginCopy& plugin) {
        const BOOL accepted = plugin.AcceptConnection(&c0, &c1);
        if (accepted) plugin.AcceptLink(&p0, &p1);
        return accepted;
    }
    // Returns how long the hang-up callback took, in milliseconds.
    double HangUp(const PluginCopy& plugin) {
        plugin.LinkHangup(&p0, &p1);
        const LARGE_INTEGER start = CounterNow();
        plugin.ConnectionHangup(&c0, &c1);
        return CounterMs(start, CounterNow());
    }
};
