#include "StandinHost.h"

#include <sstream>

#include "Services.h"

std::string Call::Field(const std::string& key) const {
    const std::string mark = " " + key + "=";
    const size_t at = line.find(mark);
    if (at == std::string::npos) return std::string();
    const size_t from = at + mark.size();
    return line.substr(from, line.find(' ', from) - from);
}

RecordingDll::RecordingDll(const std::string& behaviour) {
    CopyFileA((ExeFolder() + "recadmin.dll").c_str(), path_.c_str(), FALSE);
    if (!behaviour.empty()) WriteAll(dir_ / "behaviour.txt", behaviour);
    registered_ = Standin("register \"" + path_ + "\"").code == 0;
}

std::vector<Call> RecordingDll::Calls() const {
    std::vector<Call> calls;
    std::istringstream in(ReadAll(dir_ / "calls.txt"));
    std::string line;
    while (std::getline(in, line)) {
        Call call;
        call.line = line;
        call.name = line.substr(0, line.find(' '));
        calls.push_back(call);
    }
    return calls;
}

std::string RecordingDll::Names() const {
    std::string names;
    for (const Call& c : Calls()) names += (names.empty() ? "" : " ") + c.name;
    return names;
}

bool RecordingDll::WaitForCall(const std::string& name, DWORD timeoutMs) const {
    return WaitFor(
        [&] {
            for (const Call& c : Calls())
                if (c.name == name) return true;
            return false;
        },
        timeoutMs);
}

bool WaitForHost(DWORD timeoutMs) {
    return WaitFor([] { return Standin("state").out.find("\ndials open\n") != std::string::npos; }, timeoutMs);
}

ConsoleHost::ConsoleHost(unsigned stopWaitMs) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    if (!CreatePipe(&readEnd, &input_, &inherit, 0)) return;
    SetHandleInformation(input_, HANDLE_FLAG_INHERIT, 0);
    HANDLE out = CreateFileA(output_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = readEnd;
    si.hStdOutput = out;
    si.hStdError = out;
    PROCESS_INFORMATION pi{};
    std::string line = "\"" + ExeFolder() + "rasstandin.exe\" console";
    if (stopWaitMs) line += " --stop-wait-ms " + std::to_string(stopWaitMs);
    if (out != INVALID_HANDLE_VALUE &&
        CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
        CloseHandle(pi.hThread);
        process_ = pi.hProcess;
    }
    CloseHandle(readEnd);
    if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
    ready_ = process_ && WaitForHost();
}

int ConsoleHost::Stop(DWORD timeoutMs) {
    if (!process_) return -1;
    if (input_) {
        CloseHandle(input_);  // the end of the input, as Enter would
        input_ = nullptr;
    }
    DWORD code = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process_, timeoutMs) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process_, &code);
    } else {
        TerminateProcess(process_, 1);
        WaitForSingleObject(process_, 5000);
    }
    CloseHandle(process_);
    process_ = nullptr;
    return static_cast<int>(code);
}

ConsoleHost::~ConsoleHost() {
    Stop();
    if (input_) CloseHandle(input_);
}

ServiceHost::ServiceHost() { installed_ = Standin("install").code == 0; }

ServiceHost::~ServiceHost() {
    if (installed_) Standin("remove");
}

bool ServiceHost::Start() {
    ServiceStart("RemoteAccess");
    return WaitFor([] { return ServiceState("RemoteAccess") != SERVICE_START_PENDING; }, 20000) &&
           ServiceState("RemoteAccess") == SERVICE_RUNNING && WaitForHost();
}

bool ServiceHost::Stop() {
    ServiceStop("RemoteAccess");
    return ServiceWaitStopped("RemoteAccess", 40000);
}
