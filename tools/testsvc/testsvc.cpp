// testsvc.exe: a Windows service that can be installed under any name and
// appends every start and stop it receives, with its time, to a file.
//
//   testsvc.exe install NAME EVENTSFILE [--stop-delay-ms N] [--ignore-stop] [--start-delay-ms N]
//   testsvc.exe remove NAME
//   testsvc.exe run NAME EVENTSFILE [options]      (the service's own command line)
//
// EVENTSFILE gets one line per event, "<ms since 1601> <event>\n", with the
// events start, running, stop-requested and stopped.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "Win32Handles.h"

namespace {



struct Options {
    DWORD stopDelayMs = 0;
    DWORD startDelayMs = 0;
    bool ignoreStop = false;
};

bool ParseMs(const wchar_t* text, DWORD& out) {
    if (!text || !*text) return false;
    unsigned long long value = 0;
    for (const wchar_t* p = text; *p; ++p) {
        if (*p < L'0' || *p > L'9') return false;
        value = value * 10 + static_cast<unsigned>(*p - L'0');
        if (value > 24ull * 3600 * 1000) return false;  // a day is more than any test waits
    }
    out = static_cast<DWORD>(value);
    return true;
}

bool ParseOptions(int argc, wchar_t** argv, int first, Options& options) {
    for (int i = first; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--ignore-stop") {
            options.ignoreStop = true;
        } else if (arg == L"--stop-delay-ms" && i + 1 < argc) {
            if (!ParseMs(argv[++i], options.stopDelayMs)) return false;
        } else if (arg == L"--start-delay-ms" && i + 1 < argc) {
            if (!ParseMs(argv[++i], options.startDelayMs)) return false;
        } else {
            return false;
        }
    }
    return true;
}

// Quotes one argument so that CommandLineToArgvW gives it back unchanged.
std::wstring Quote(const std::wstring& arg) {
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    return out + L"\"";
}

std::wstring OwnPath() {
    std::vector<wchar_t> name(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (n < name.size()) return std::wstring(name.data(), n);
        name.resize(name.size() * 2);
    }
}

int Usage() {
    fwprintf(stderr,
             L"usage: testsvc install NAME EVENTSFILE [--stop-delay-ms N] [--ignore-stop] [--start-delay-ms N]\n"
             L"       testsvc remove NAME\n"
             L"       testsvc run NAME EVENTSFILE [options]\n");
    return 1;
}

int Fail(const wchar_t* what) {
    fwprintf(stderr, L"testsvc: %ls failed, error %lu\n", what, GetLastError());
    return 1;
}

int Install(const std::wstring& name, const std::wstring& events, int argc, wchar_t** argv, int first) {
    std::wstring command = Quote(OwnPath()) + L" run " + Quote(name) + L" " + Quote(events);
    for (int i = first; i < argc; ++i) command += L" " + Quote(argv[i]);

    ScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) return Fail(L"OpenSCManager");
    ScHandle created(CreateServiceW(manager.Get(), name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                                    SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                    command.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    if (created) return 0;
    if (GetLastError() != ERROR_SERVICE_EXISTS) return Fail(L"CreateService");
    // Installed before: it takes the new command line from its next start on.
    ScHandle existing(OpenServiceW(manager.Get(), name.c_str(), SERVICE_ALL_ACCESS));
    if (!existing) return Fail(L"OpenService");
    if (!ChangeServiceConfigW(existing.Get(), SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                              command.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr, name.c_str()))
        return Fail(L"ChangeServiceConfig");
    return 0;
}

bool QueryStatus(SC_HANDLE service, SERVICE_STATUS_PROCESS& status) {
    DWORD needed = 0;
    return QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status,
                                &needed) != FALSE;
}

int Remove(const std::wstring& name) {
    ScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) return Fail(L"OpenSCManager");
    ScHandle service(OpenServiceW(manager.Get(), name.c_str(), SERVICE_ALL_ACCESS));
    if (!service) {
        if (GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST) {
            fwprintf(stderr, L"testsvc: %ls is not installed\n", name.c_str());
            return 2;
        }
        return Fail(L"OpenService");
    }
    SERVICE_STATUS_PROCESS status{};
    if (QueryStatus(service.Get(), status) && status.dwCurrentState != SERVICE_STOPPED) {
        SERVICE_STATUS ignored{};
        ControlService(service.Get(), SERVICE_CONTROL_STOP, &ignored);
        // A service that takes a stop reports it before its handler returns;
        // one still running ignores stops (a second stop is refused then), and
        // waiting for it is no use.
        const bool running = QueryStatus(service.Get(), status) && status.dwCurrentState == SERVICE_RUNNING;
        const ULONGLONG deadline = GetTickCount64() + (running ? 0 : 10000);
        while (QueryStatus(service.Get(), status) && status.dwCurrentState != SERVICE_STOPPED &&
               GetTickCount64() < deadline)
            Sleep(50);
        if (status.dwCurrentState != SERVICE_STOPPED && status.dwProcessId != 0) {
            // A service told to ignore stops would otherwise outlive its test.
            UniqueHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, status.dwProcessId));
            if (process) {
                TerminateProcess(process.Get(), 1);
                WaitForSingleObject(process.Get(), 5000);
            }
            const ULONGLONG settle = GetTickCount64() + 5000;
            while (QueryStatus(service.Get(), status) && status.dwCurrentState != SERVICE_STOPPED &&
                   GetTickCount64() < settle)
                Sleep(50);
        }
    }
    if (!DeleteService(service.Get())) return Fail(L"DeleteService");
    return 0;
}

// --- the service itself -------------------------------------------------

std::wstring gName;
std::wstring gEvents;
Options gOptions;
SERVICE_STATUS_HANDLE gStatusHandle = nullptr;
HANDLE gStopEvent = nullptr;
DWORD gCheckPoint = 0;

// Each line is opened, appended and closed at once, so that a test can read
// the file at any moment.
void Record(const char* event) {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const unsigned long long ms =
        ((static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime) / 10000;
    char line[64];
    const int n = snprintf(line, sizeof line, "%llu %s\n", ms, event);
    UniqueHandle file(CreateFileW(gEvents.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file || n <= 0) return;
    DWORD written = 0;
    WriteFile(file.Get(), line, static_cast<DWORD>(n), &written, nullptr);
}

void Report(DWORD state, DWORD waitHintMs) {
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    // A stop is accepted while starting too, so that tests can send one then.
    status.dwControlsAccepted = (state == SERVICE_START_PENDING || state == SERVICE_RUNNING) ? SERVICE_ACCEPT_STOP : 0;
    status.dwWin32ExitCode = NO_ERROR;
    const bool pending = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING;
    status.dwCheckPoint = pending ? ++gCheckPoint : 0;
    status.dwWaitHint = pending ? waitHintMs + 1000 : 0;
    SetServiceStatus(gStatusHandle, &status);
}

DWORD WINAPI ControlHandler(DWORD control, DWORD, void*, void*) {
    switch (control) {
        case SERVICE_CONTROL_STOP:
            Record("stop-requested");
            if (gOptions.ignoreStop) return NO_ERROR;
            // Stopping before the handler returns: who sent the stop can tell
            // this service from one that ignores it (still running).
            Report(SERVICE_STOP_PENDING, gOptions.stopDelayMs);
            SetEvent(gStopEvent);
            return NO_ERROR;
        case SERVICE_CONTROL_INTERROGATE:
            return NO_ERROR;
        default:
            return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

void WINAPI ServiceMain(DWORD, wchar_t**) {
    gStatusHandle = RegisterServiceCtrlHandlerExW(gName.c_str(), ControlHandler, nullptr);
    if (!gStatusHandle) return;
    Record("start");
    Report(SERVICE_START_PENDING, gOptions.startDelayMs);
    // A stop that arrives while starting cuts the start short.
    const bool stopped = gOptions.startDelayMs > 0 &&
                         WaitForSingleObject(gStopEvent, gOptions.startDelayMs) == WAIT_OBJECT_0;
    if (!stopped) {
        Report(SERVICE_RUNNING, 0);
        Record("running");
        WaitForSingleObject(gStopEvent, INFINITE);
    }
    Report(SERVICE_STOP_PENDING, gOptions.stopDelayMs);
    if (gOptions.stopDelayMs > 0) Sleep(gOptions.stopDelayMs);
    Record("stopped");
    Report(SERVICE_STOPPED, 0);
}

int Run(const std::wstring& name, const std::wstring& events, const Options& options) {
    gName = name;
    gEvents = events;
    gOptions = options;
    gStopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!gStopEvent) return Fail(L"CreateEvent");
    std::vector<wchar_t> serviceName(name.begin(), name.end());
    serviceName.push_back(L'\0');
    SERVICE_TABLE_ENTRYW table[] = {{serviceName.data(), ServiceMain}, {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherW(table)) return Fail(L"StartServiceCtrlDispatcher");
    return 0;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv) return Usage();
    struct Free {
        wchar_t** p;
        ~Free() { LocalFree(p); }
    } freeArgs{argv};

    if (argc < 3) return Usage();
    const std::wstring verb = argv[1];
    const std::wstring name = argv[2];
    if (name.empty()) return Usage();
    if (verb == L"remove" && argc == 3) return Remove(name);
    if ((verb == L"install" || verb == L"run") && argc >= 4) {
        Options options;
        if (!ParseOptions(argc, argv, 4, options) || argv[3][0] == L'\0') return Usage();
        return verb == L"install" ? Install(name, argv[3], argc, argv, 4) : Run(name, argv[3], options);
    }
    return Usage();
}
