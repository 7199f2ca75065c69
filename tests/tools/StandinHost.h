// rasstandin.exe driven from tests: its control commands, the host in console
// mode or as the service RemoteAccess, and a copy of recadmin.dll registered
// as its administration DLL.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "TestService.h"
#include "TestSupport.h"

inline ToolRun Standin(const std::string& args) { return RunCaptured("rasstandin.exe", args); }

// One call recorded by recadmin.dll: its first word and the rest.
struct Call {
    std::string name;
    std::string line;
    // The value after " key=", or "" when the line has none.
    std::string Field(const std::string& key) const;
};

// A copy of recadmin.dll in a folder of its own, registered as the
// administration DLL.
class RecordingDll {
public:
    explicit RecordingDll(const std::string& behaviour = "");
    bool Registered() const { return registered_; }
    const std::string& Path() const { return path_; }
    std::vector<Call> Calls() const;
    // The first words of the calls, blank-separated.
    std::string Names() const;
    bool WaitForCall(const std::string& name, DWORD timeoutMs = 15000) const;

private:
    TempDir dir_{"recadmin"};
    std::string path_ = dir_ / "recadmin.dll";
    bool registered_ = false;
};

// The host in the foreground, ended by closing its input.
class ConsoleHost {
public:
    // `stopWaitMs`: how long stopping waits for callbacks under way (0: the
    // host's own 15 s); a case whose callback never returns gives a short one.
    explicit ConsoleHost(unsigned stopWaitMs = 0);
    ~ConsoleHost();
    ConsoleHost(const ConsoleHost&) = delete;
    ConsoleHost& operator=(const ConsoleHost&) = delete;
    // True once the host answers its control commands.
    bool Ready() const { return ready_; }
    // Ends the host as a user pressing Enter does; its exit code, or -1.
    int Stop(DWORD timeoutMs = 40000);
    std::string Output() const { return ReadAll(output_); }

private:
    TempDir dir_{"host"};
    std::string output_ = dir_ / "output.txt";
    HANDLE process_ = nullptr;
    HANDLE input_ = nullptr;
    bool ready_ = false;
};

// The host as the service RemoteAccess, removed again at the end.
class ServiceHost {
public:
    ServiceHost();
    ~ServiceHost();
    ServiceHost(const ServiceHost&) = delete;
    ServiceHost& operator=(const ServiceHost&) = delete;
    bool Installed() const { return installed_; }
    // Starts the service and waits until it answers; false if it does not.
    bool Start();
    // Stops it and waits until the manager reports it stopped.
    bool Stop();

private:
    bool installed_ = false;
};

// Waits until the host answers `state` (or for `timeoutMs`).
bool WaitForHost(DWORD timeoutMs = 20000);
