#include "Services.h"

#include "ServiceWords.h"

namespace {

// Owns a service control manager handle.
class ScHandle {
public:
    explicit ScHandle(SC_HANDLE h) : h_(h) {}
    ~ScHandle() {
        if (h_) CloseServiceHandle(h_);
    }
    ScHandle(const ScHandle&) = delete;
    ScHandle& operator=(const ScHandle&) = delete;
    SC_HANDLE Get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }

private:
    SC_HANDLE h_;
};

}  // namespace

// Full access is asked for in every operation, the mere query included, as
// the administrator's console and the service's plug-in both have it.
void ServiceStart(const std::string& name) {
    ScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) return;
    ScHandle service(OpenServiceA(manager.Get(), name.c_str(), SERVICE_ALL_ACCESS));
    if (!service) return;
    SERVICE_STATUS status{};
    QueryServiceStatus(service.Get(), &status);
    if (status.dwCurrentState != SERVICE_RUNNING) StartServiceA(service.Get(), 0, nullptr);
}

void ServiceStop(const std::string& name) {
    ScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) return;
    ScHandle service(OpenServiceA(manager.Get(), name.c_str(), SERVICE_ALL_ACCESS));
    if (!service) return;
    SERVICE_STATUS status{};
    QueryServiceStatus(service.Get(), &status);
    if (status.dwCurrentState != SERVICE_STOPPED) ControlService(service.Get(), SERVICE_CONTROL_STOP, &status);
}

std::string ServiceStateText(const std::string& name) {
    ScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) return ServiceNotInstalledWords();
    ScHandle service(OpenServiceA(manager.Get(), name.c_str(), SERVICE_ALL_ACCESS));
    if (!service) return ServiceNotInstalledWords();
    SERVICE_STATUS status{};
    if (!QueryServiceStatus(service.Get(), &status)) return ServiceNotInstalledWords();
    return ServiceStateWords(status.dwCurrentState);
}

bool ServiceWaitStopped(const std::string& name, DWORD timeoutMs) {
    ScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) return false;
    ScHandle service(OpenServiceA(manager.Get(), name.c_str(), SERVICE_ALL_ACCESS));
    if (!service) return false;
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        SERVICE_STATUS status{};
        if (!QueryServiceStatus(service.Get(), &status)) return false;
        if (status.dwCurrentState == SERVICE_STOPPED) return true;
        if (GetTickCount64() >= deadline) return false;
        Sleep(50);
    }
}
