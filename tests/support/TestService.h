// A testsvc.exe service installed in the test prefix for one test and removed
// after it. Its events file tells which requests reached it and when.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "TestSupport.h"

// Runs a program of the build's bin folder ("name.exe\" args") and gives its
// exit code, or -1 when it could not be started or did not end in time.
int RunTool(const std::string& commandLine, DWORD timeoutMs = 30000);

struct ToolRun {
    int code = -1;  // -1: not started or did not end in time
    std::string out;
};

// Runs a program of the build's bin folder with what it prints captured.
ToolRun RunCaptured(const std::string& program, const std::string& args, DWORD timeoutMs = 60000);

struct ServiceEvent {
    unsigned long long ms;  // milliseconds since 1601, as FILETIME / 10000
    std::string name;       // start, running, stop-requested, stopped
};

class TestService {
public:
    explicit TestService(const std::string& options = "");
    ~TestService();
    TestService(const TestService&) = delete;
    TestService& operator=(const TestService&) = delete;

    bool Installed() const { return installed_; }
    const std::string& Name() const { return name_; }
    std::vector<ServiceEvent> Events() const;
    std::string EventNames() const;
    bool WaitForEvent(const std::string& name, DWORD timeoutMs = 15000) const;
    // Until ServiceState gives `state`.
    bool WaitForState(DWORD state, DWORD timeoutMs = 15000) const;
    const std::string& EventsPath() const { return events_; }

private:
    TempDir dir_{"svc"};
    std::string events_ = dir_ / "events.txt";
    std::string name_;
    bool installed_ = false;
};

// A file's last write time in the events' unit.
unsigned long long LastWriteMs(const std::string& path);
