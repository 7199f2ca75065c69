#include "TestService.h"

#include <sstream>

#include "Services.h"

int RunTool(const std::string& commandLine, DWORD timeoutMs) {
    std::string line = "\"" + ExeFolder() + commandLine;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return -1;
    CloseHandle(pi.hThread);
    DWORD code = static_cast<DWORD>(-1);
    if (WaitForSingleObject(pi.hProcess, timeoutMs) == WAIT_OBJECT_0) GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    return static_cast<int>(code);
}

ToolRun RunCaptured(const std::string& program, const std::string& args, DWORD timeoutMs) {
    ToolRun run;
    TempDir dir("run");
    const std::string outPath = dir / "out.txt";
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE out = CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             CREATE_ALWAYS, 0, nullptr);
    if (out == INVALID_HANDLE_VALUE) return run;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = out;
    si.hStdError = out;
    PROCESS_INFORMATION pi{};
    std::string line = "\"" + ExeFolder() + program + "\" " + args;
    const BOOL started = CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    CloseHandle(out);
    if (!started) return run;
    CloseHandle(pi.hThread);
    DWORD code = static_cast<DWORD>(-1);
    if (WaitForSingleObject(pi.hProcess, timeoutMs) == WAIT_OBJECT_0) {
        GetExitCodeProcess(pi.hProcess, &code);
    } else {
        TerminateProcess(pi.hProcess, 1);
        WaitForSingleObject(pi.hProcess, 5000);
    }
    CloseHandle(pi.hProcess);
    run.code = static_cast<int>(code);
    run.out = ReadAll(outPath);
    return run;
}

TestService::TestService(const std::string& options) {
    static LONG counter = 0;
    name_ = "dgtest_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(InterlockedIncrement(&counter));
    installed_ = RunTool("testsvc.exe\" install " + name_ + " \"" + events_ + "\" " + options) == 0;
}

TestService::~TestService() {
    if (installed_) RunTool("testsvc.exe\" remove " + name_);
}

std::vector<ServiceEvent> TestService::Events() const {
    std::vector<ServiceEvent> events;
    std::istringstream in(ReadAll(events_));
    ServiceEvent e;
    while (in >> e.ms >> e.name) events.push_back(e);
    return events;
}

std::string TestService::EventNames() const {
    std::string names;
    for (const ServiceEvent& e : Events()) names += (names.empty() ? "" : " ") + e.name;
    return names;
}

bool TestService::WaitForEvent(const std::string& name, DWORD timeoutMs) const {
    return WaitFor(
        [&] {
            for (const ServiceEvent& e : Events())
                if (e.name == name) return true;
            return false;
        },
        timeoutMs);
}

unsigned long long LastWriteMs(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    ULARGE_INTEGER t;
    t.LowPart = data.ftLastWriteTime.dwLowDateTime;
    t.HighPart = data.ftLastWriteTime.dwHighDateTime;
    return t.QuadPart / 10000;
}

bool TestService::WaitForState(DWORD state, DWORD timeoutMs) const {
    return WaitFor([&] { return ServiceState(name_) == state; }, timeoutMs);
}
