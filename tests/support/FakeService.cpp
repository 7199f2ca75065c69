#include "FakeService.h"

#include "StandinMprapi.h"

namespace {

// The handle ServerConnect gives out.
const MPR_SERVER_HANDLE kServer = reinterpret_cast<MPR_SERVER_HANDLE>(static_cast<ULONG_PTR>(0x5e7e));

template <class Entry>
Entry* NewEntries(size_t n) {
    return static_cast<Entry*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(Entry) * (n + 1)));
}

StandinMprapiSetHooksFn StandinSetHooks() {
    return reinterpret_cast<StandinMprapiSetHooksFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("mprapi.dll"), STANDIN_MPRAPI_SET_HOOKS)));
}

}  // namespace

FakeService::FakeService() { current_ = this; }

FakeService::~FakeService() {
    RemoveStandinHooks();
    current_ = nullptr;
}

void FakeService::AddConnection(HANDLE connection, std::initializer_list<HANDLE> ports) {
    std::lock_guard<std::mutex> lock(lock_);
    connections_[connection] = ports;
}

void FakeService::RemoveConnection(HANDLE connection) {
    std::lock_guard<std::mutex> lock(lock_);
    connections_.erase(connection);
}

std::set<HANDLE> FakeService::DisconnectedPorts() {
    std::lock_guard<std::mutex> lock(lock_);
    return disconnectedPorts_;
}

DWORD WINAPI FakeService::ServerConnect(LPWSTR, MPR_SERVER_HANDLE* server) {
    FakeService* self = current_;
    ++self->connects;
    if (self->onConnect) self->onConnect();
    const DWORD result = self->answer;
    *server = result == NO_ERROR ? kServer : nullptr;
    return result;
}

DWORD WINAPI FakeService::PortClearStats(RAS_SERVER_HANDLE, HANDLE port) {
    current_.load()->lastPort = port;
    ++current_.load()->clearStats;
    return current_.load()->answer;
}

DWORD WINAPI FakeService::PortReset(RAS_SERVER_HANDLE, HANDLE) {
    ++current_.load()->resets;
    return current_.load()->answer;
}

DWORD WINAPI FakeService::PortDisconnect(RAS_SERVER_HANDLE, HANDLE port) {
    FakeService* self = current_;
    ++self->disconnects;
    {
        std::lock_guard<std::mutex> lock(self->lock_);
        self->disconnectedPorts_.insert(port);
    }
    if (self->onPortDisconnect) self->onPortDisconnect(port);
    return self->answer;
}

VOID WINAPI FakeService::ServerDisconnect(MPR_SERVER_HANDLE) { ++current_.load()->serverDisconnects; }

DWORD WINAPI FakeService::ConnectionEnum(RAS_SERVER_HANDLE, DWORD level, LPBYTE* buffer, DWORD, LPDWORD read,
                                         LPDWORD total, LPDWORD resume) {
    FakeService* self = current_;
    ++self->enumerations;
    *buffer = nullptr;
    *read = *total = 0;
    if (level != 0) return ERROR_NOT_SUPPORTED;
    if (self->enumAnswer != NO_ERROR) return self->enumAnswer;
    std::lock_guard<std::mutex> lock(self->lock_);
    auto* entries = NewEntries<RAS_CONNECTION_0>(self->connections_.size());
    DWORD n = 0;
    for (const auto& c : self->connections_) entries[n++].hConnection = c.first;
    *buffer = reinterpret_cast<LPBYTE>(entries);
    *read = *total = n;
    if (resume) *resume = 0;
    return NO_ERROR;
}

DWORD WINAPI FakeService::PortEnum(RAS_SERVER_HANDLE, DWORD level, HANDLE connection, LPBYTE* buffer, DWORD,
                                   LPDWORD read, LPDWORD total, LPDWORD resume) {
    FakeService* self = current_;
    ++self->portEnumerations;
    *buffer = nullptr;
    *read = *total = 0;
    if (level != 0) return ERROR_NOT_SUPPORTED;
    if (self->enumAnswer != NO_ERROR) return self->enumAnswer;
    std::lock_guard<std::mutex> lock(self->lock_);
    const auto found = self->connections_.find(connection);
    if (found == self->connections_.end()) return ERROR_INVALID_PARAMETER;
    auto* entries = NewEntries<RAS_PORT_0>(found->second.size());
    DWORD n = 0;
    for (HANDLE port : found->second) {
        entries[n].hPort = port;
        entries[n++].hConnection = connection;
    }
    *buffer = reinterpret_cast<LPBYTE>(entries);
    *read = *total = n;
    if (resume) *resume = 0;
    return NO_ERROR;
}

DWORD WINAPI FakeService::BufferFree(LPVOID buffer) {
    HeapFree(GetProcessHeap(), 0, buffer);
    return NO_ERROR;
}

// The stand-in keeps the server handle and the buffers; its hooks only answer.
DWORD WINAPI FakeService::HookConnect(void*) {
    MPR_SERVER_HANDLE server = nullptr;
    return ServerConnect(nullptr, &server);
}
DWORD WINAPI FakeService::HookClearStats(void*, HANDLE port) { return PortClearStats(nullptr, port); }
DWORD WINAPI FakeService::HookReset(void*, HANDLE port) { return PortReset(nullptr, port); }
DWORD WINAPI FakeService::HookDisconnect(void*, HANDLE port) { return PortDisconnect(nullptr, port); }
void WINAPI FakeService::HookServerDisconnect(void*) { ServerDisconnect(nullptr); }

DWORD WINAPI FakeService::HookConnections(void* context, HANDLE* out, DWORD capacity, DWORD* count) {
    auto* self = static_cast<FakeService*>(context);
    ++self->enumerations;
    *count = 0;
    if (self->enumAnswer != NO_ERROR) return self->enumAnswer;
    std::lock_guard<std::mutex> lock(self->lock_);
    *count = static_cast<DWORD>(self->connections_.size());
    DWORD n = 0;
    for (const auto& c : self->connections_)
        if (n < capacity) out[n++] = c.first;
    return NO_ERROR;
}

DWORD WINAPI FakeService::HookPorts(void* context, HANDLE connection, HANDLE* out, DWORD capacity, DWORD* count) {
    auto* self = static_cast<FakeService*>(context);
    ++self->portEnumerations;
    *count = 0;
    if (self->enumAnswer != NO_ERROR) return self->enumAnswer;
    std::lock_guard<std::mutex> lock(self->lock_);
    const auto found = self->connections_.find(connection);
    if (found == self->connections_.end()) return ERROR_INVALID_PARAMETER;
    *count = static_cast<DWORD>(found->second.size());
    DWORD n = 0;
    for (HANDLE port : found->second)
        if (n < capacity) out[n++] = port;
    return NO_ERROR;
}

bool FakeService::InstallStandinHooks() {
    const StandinMprapiSetHooksFn set = StandinSetHooks();
    if (!set) return false;
    const StandinMprapiHooks hooks{this,           HookConnect,     HookClearStats, HookReset,
                                   HookDisconnect, HookServerDisconnect, HookConnections, HookPorts};
    set(&hooks);
    hooked_ = true;
    return true;
}

void FakeService::RemoveStandinHooks() {
    if (!hooked_) return;
    if (const StandinMprapiSetHooksFn set = StandinSetHooks()) set(nullptr);
    hooked_ = false;
}
