// rasstandin.exe: a stand-in for the Routing and Remote Access service, to
// test administration DLLs against and to show them at work.
//
//   rasstandin install | remove            the service RemoteAccess running "<exe>" service
//   rasstandin register PATH [NAME]        DLLPath and DisplayName of the administration DLL
//   rasstandin console [--stop-wait-ms N]  the host in the foreground, until Enter, EOF or quit;
//                                          stopping waits N ms (15000) for callbacks under way
//   rasstandin service                     the service's own command line
//   rasstandin dial [--rx BYTES] [--tx BYTES]   a caller dials in; exit code 3 when refused
//   rasstandin hangup ID                   the caller of connection ID hangs up
//   rasstandin drop ID                     the line of connection ID goes dead; the DLL is told nothing
//   rasstandin state                       connections, callbacks under way, hang-up latencies
//   rasstandin mode sync|async             how MprAdminPortDisconnect delivers the hang-ups
//   rasstandin quit                        ends the running host
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "Host.h"
#include "Pipe.h"
#include "Requests.h"

#include "Win32Handles.h"

namespace {

const wchar_t kServiceName[] = L"RemoteAccess";


std::wstring Wide(const std::string& utf8) {
    if (utf8.empty()) return std::wstring();
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(n > 0 ? n : 0, L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &out[0], n);
    return out;
}


// UTF-8 text to a console as characters, to a file or pipe as UTF-8 bytes.
void Print(DWORD stream, const std::string& utf8) {
    HANDLE out = GetStdHandle(stream);
    if (!out || out == INVALID_HANDLE_VALUE || utf8.empty()) return;
    DWORD mode = 0, written = 0;
    if (GetConsoleMode(out, &mode)) {
        const std::wstring text = Wide(utf8);
        WriteConsoleW(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    } else {
        WriteFile(out, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
    }
}

void Say(const std::string& line) { Print(STD_OUTPUT_HANDLE, "rasstandin: " + line + "\n"); }

int Complain(const std::string& what, DWORD error) {
    Print(STD_ERROR_HANDLE, "rasstandin: " + what + ", error " + std::to_string(error) + "\n");
    return 1;
}

int Usage() {
    Print(STD_ERROR_HANDLE,
          "usage: rasstandin install | remove | register PATH [NAME] | console [--stop-wait-ms N] | service\n"
          "       rasstandin dial [--rx BYTES] [--tx BYTES] | hangup ID | drop ID | state | mode sync|async | quit\n");
    return 1;
}

std::wstring OwnPath() {
    std::vector<wchar_t> name(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (n < name.size()) return std::wstring(name.data(), n);
        name.resize(name.size() * 2);
    }
}

int Install() {
    const std::wstring command = L"\"" + OwnPath() + L"\" service";
    ScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) return Complain("cannot open the service control manager", GetLastError());
    ScHandle created(CreateServiceW(manager.Get(), kServiceName, L"Routing and Remote Access (stand-in)",
                                    SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                    SERVICE_ERROR_NORMAL, command.c_str(), nullptr, nullptr, nullptr, nullptr,
                                    nullptr));
    if (created) return 0;
    if (GetLastError() != ERROR_SERVICE_EXISTS) return Complain("cannot create the service", GetLastError());
    ScHandle existing(OpenServiceW(manager.Get(), kServiceName, SERVICE_ALL_ACCESS));
    if (!existing ||
        !ChangeServiceConfigW(existing.Get(), SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                              command.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr))
        return Complain("cannot reconfigure the service", GetLastError());
    return 0;
}

int Remove() {
    ScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) return Complain("cannot open the service control manager", GetLastError());
    ScHandle service(OpenServiceW(manager.Get(), kServiceName, SERVICE_ALL_ACCESS));
    if (!service) {
        if (GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST) return Complain("cannot open the service", GetLastError());
        Print(STD_ERROR_HANDLE, "rasstandin: the service is not installed\n");
        return 2;
    }
    SERVICE_STATUS status{};
    if (QueryServiceStatus(service.Get(), &status) && status.dwCurrentState != SERVICE_STOPPED) {
        ControlService(service.Get(), SERVICE_CONTROL_STOP, &status);
        // Stopping hangs up the connections first: allow for slow callbacks.
        const ULONGLONG deadline = GetTickCount64() + 30000;
        while (QueryServiceStatus(service.Get(), &status) && status.dwCurrentState != SERVICE_STOPPED &&
               GetTickCount64() < deadline)
            Sleep(50);
    }
    if (!DeleteService(service.Get())) return Complain("cannot delete the service", GetLastError());
    return status.dwCurrentState == SERVICE_STOPPED ? 0 : Complain("the service did not stop in 30 s", ERROR_TIMEOUT);
}

std::wstring FullPath(const std::wstring& path) {
    const DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (n == 0) return path;
    std::vector<wchar_t> full(n + 1, L'\0');
    const DWORD got = GetFullPathNameW(path.c_str(), n + 1, full.data(), nullptr);
    return got > 0 && got <= n ? std::wstring(full.data(), got) : path;
}

int Register(const std::wstring& path, const std::wstring& name) {
    const LSTATUS status = RegisterAdminDll(path, name);
    return status == ERROR_SUCCESS ? 0 : Complain("cannot write the registry", static_cast<DWORD>(status));
}

// Whoever runs the host learns of its steps through these.
struct HostWatch {
    std::function<void()> running;      // the administration DLL is initialised
    std::function<void()> stopping;     // stop or quit: the connections go down
    std::function<void(DWORD)> ended;   // the result, just before the host goes
    std::function<void(const std::string&)> say;
};

// The host for as long as `stop` or the quit command does not end it.
// Callbacks that never return end the process: their threads cannot be
// joined, nor the DLL unloaded under them.
DWORD RunHost(HANDLE stop, const HostWatch& watch, unsigned long long stopWaitMs) {
    const auto& say = watch.say;
    const auto& ended = watch.ended;
    // One host per machine: the control pipe has one name. Wine does not
    // refuse a second first instance of a pipe, so a mutex says it.
    HANDLE oneHost = CreateMutexW(nullptr, FALSE, L"Global\\rasstandin-host");
    const DWORD created = GetLastError();
    struct Close {
        HANDLE h;
        ~Close() {
            if (h) CloseHandle(h);
        }
    } closeOneHost{oneHost};
    if (!oneHost || created == ERROR_ALREADY_EXISTS) {
        say("another host is running");
        const DWORD error = oneHost ? ERROR_ALREADY_EXISTS : created;
        ended(error);
        return error;
    }
    RasHost host(say);
    PipeServer pipe([&host](const std::string& line) {
        Request request;
        std::string error;
        if (!ParseRequest(SplitWords(line), request, error)) return "error: " + error + "\n";
        return host.Handle(request);
    });
    DWORD error = pipe.Open();
    if (error != NO_ERROR) {
        say("cannot open the control pipe (is another host running?), error " + std::to_string(error));
        ended(error);
        return error;
    }
    error = host.Start();
    if (error != NO_ERROR) {
        ended(error);
        return error;
    }
    watch.running();
    const HANDLE waits[] = {stop, host.QuitEvent()};
    WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    watch.stopping();
    if (!host.Stop(stopWaitMs)) {
        ended(ERROR_TIMEOUT);
        ExitProcess(ERROR_TIMEOUT);
    }
    pipe.Close();
    ended(NO_ERROR);
    return NO_ERROR;
}

int Console(unsigned long long stopWaitMs) {
    // Lives as long as the process: the thread reading the input may still
    // hold it when the host has gone.
    HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!stop) return Complain("cannot create an event", GetLastError());
    // Enter or the end of the input ends the host.
    std::thread([stop] {
        HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
        char c = 0;
        DWORD got = 0;
        while (ReadFile(in, &c, 1, &got, nullptr) && got == 1 && c != '\n') {
        }
        SetEvent(stop);
    }).detach();
    HostWatch watch;
    watch.running = [] { Say("running; Enter, end of input or \"rasstandin quit\" stops it"); };
    watch.stopping = [] { Say("stopping"); };
    watch.ended = [](DWORD code) { Say(code == NO_ERROR ? "stopped" : "ended with error " + std::to_string(code)); };
    watch.say = Say;
    const DWORD result = RunHost(stop, watch, stopWaitMs);
    return result == NO_ERROR ? 0 : 1;
}

// --- the service ------------------------------------------------------------

SERVICE_STATUS_HANDLE gStatusHandle = nullptr;
HANDLE gStopEvent = nullptr;

void Report(DWORD state, DWORD exitCode = NO_ERROR) {
    static DWORD checkPoint = 0;
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    status.dwWin32ExitCode = exitCode;
    const bool pending = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING;
    status.dwCheckPoint = pending ? ++checkPoint : 0;
    status.dwWaitHint = pending ? 60000 : 0;
    SetServiceStatus(gStatusHandle, &status);
}

DWORD WINAPI ServiceControl(DWORD control, DWORD, void*, void*) {
    switch (control) {
        case SERVICE_CONTROL_STOP:
        case SERVICE_CONTROL_SHUTDOWN:
            Report(SERVICE_STOP_PENDING);
            SetEvent(gStopEvent);
            return NO_ERROR;
        case SERVICE_CONTROL_INTERROGATE:
            return NO_ERROR;
        default:
            return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

void WINAPI ServiceMain(DWORD, wchar_t**) {
    gStatusHandle = RegisterServiceCtrlHandlerExW(kServiceName, ServiceControl, nullptr);
    if (!gStatusHandle) return;
    Report(SERVICE_START_PENDING);
    HostWatch watch;
    watch.running = [] { Report(SERVICE_RUNNING); };
    watch.stopping = [] { Report(SERVICE_STOP_PENDING); };
    watch.ended = [](DWORD code) { Report(SERVICE_STOPPED, code); };
    watch.say = [](const std::string&) {};  // nobody reads a service's output
    RunHost(gStopEvent, watch, RasHost::kStopWaitMs);
}

int Service() {
    gStopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!gStopEvent) return Complain("cannot create an event", GetLastError());
    wchar_t name[] = L"RemoteAccess";
    SERVICE_TABLE_ENTRYW table[] = {{name, ServiceMain}, {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherW(table))
        return Complain("not started by the service control manager (use console)", GetLastError());
    return 0;
}

// --- control commands -----------------------------------------------------

int Control(const std::vector<std::string>& words) {
    Request request;
    std::string error;
    if (!ParseRequest(words, request, error)) {
        Print(STD_ERROR_HANDLE, "rasstandin: " + error + "\n");
        return Usage();
    }
    std::string answer;
    DWORD failure = 0;
    if (!CallHost(RequestLine(request), answer, failure)) {
        Print(STD_ERROR_HANDLE, "rasstandin: the host is not running (error " + std::to_string(failure) + ")\n");
        return kHostNotRunning;
    }
    const size_t eol = answer.find('\n');
    const std::string first = answer.substr(0, eol);
    const std::string rest = eol == std::string::npos ? std::string() : answer.substr(eol + 1);
    const int code = AnswerExitCode(first);
    if (code == kAnswerError) {
        Print(STD_ERROR_HANDLE, "rasstandin: " + (first.empty() ? std::string("no answer from the host") : first) + "\n");
    } else {
        Print(STD_OUTPUT_HANDLE, code == kAnswerRefused ? first + "\n" : rest);
    }
    return code;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv) return Usage();
    std::vector<std::wstring> args(argv + 1, argv + argc);
    LocalFree(argv);
    if (args.empty()) return Usage();

    const std::wstring& verb = args[0];
    if (verb == L"install" && args.size() == 1) return Install();
    if (verb == L"remove" && args.size() == 1) return Remove();
    if (verb == L"register" && (args.size() == 2 || args.size() == 3)) {
        // The service runs in another folder: it needs the full path.
        const std::wstring path = FullPath(args[1]);
        const std::wstring name = args.size() == 3 ? args[2] : path.substr(path.find_last_of(L"\\/") + 1);
        return Register(path, name);
    }
    if (verb == L"console" && args.size() == 1) return Console(RasHost::kStopWaitMs);
    // Tests whose callbacks never return need not wait the whole time.
    if (verb == L"console" && args.size() == 3 && args[1] == L"--stop-wait-ms") {
        const unsigned long long ms = wcstoull(args[2].c_str(), nullptr, 10);
        if (ms > 0) return Console(ms);
    }
    if (verb == L"service" && args.size() == 1) return Service();
    std::vector<std::string> words;
    for (const std::wstring& a : args) words.push_back(Utf8(a));
    return Control(words);
}
