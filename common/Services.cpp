#include "Services.h"

#include "Win32Handles.h"

namespace {

// Full access is asked for in every operation, the mere query included, as
// the administrator's console and the service's plug-in both have it.
struct ServiceHandles {
    ScHandle manager;
    ScHandle service;
    explicit ServiceHandles(const std::string& name)
        : manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)),
          service(manager ? OpenServiceA(manager.Get(), name.c_str(), SERVICE_ALL_ACCESS) : nullptr) {}
    explicit operator bool() const { return static_cast<bool>(service); }
    bool Query(SERVICE_STATUS& status) const { return QueryServiceStatus(service.Get(), &status) != FALSE; }
};

}  // namespace

// A service whose state cannot be had is left alone, as one that cannot be opened.
void ServiceStart(const std::string& name) {
    ServiceHandles s(name);
    SERVICE_STATUS status{};
    if (!s || !s.Query(status)) return;
    if (status.dwCurrentState != SERVICE_RUNNING) StartServiceA(s.service.Get(), 0, nullptr);
}

void ServiceStop(const std::string& name) {
    ServiceHandles s(name);
    SERVICE_STATUS status{};
    if (!s || !s.Query(status)) return;
    if (status.dwCurrentState != SERVICE_STOPPED) ControlService(s.service.Get(), SERVICE_CONTROL_STOP, &status);
}

DWORD ServiceState(const std::string& name) {
    ServiceHandles s(name);
    SERVICE_STATUS status{};
    if (!s || !s.Query(status)) return 0;
    return status.dwCurrentState;
}

bool ServiceWaitStopped(const std::string& name, DWORD timeoutMs) {
    ServiceHandles s(name);
    if (!s) return false;
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        SERVICE_STATUS status{};
        if (!s.Query(status)) return false;
        if (status.dwCurrentState == SERVICE_STOPPED) return true;
        if (GetTickCount64() >= deadline) return false;
        Sleep(50);
    }
}
