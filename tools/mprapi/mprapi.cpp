// Stand-in for the system's mprapi.dll (Wine's aborts in these calls).
#include <windows.h>
#include <mprapi.h>

#include "StandinMprapi.h"

#include <vector>

namespace {

SRWLOCK hooksLock = SRWLOCK_INIT;
StandinMprapiHooks hooks{};
bool hooked = false;

// A copy taken under the lock, so that a hook runs without it.
bool CurrentHooks(StandinMprapiHooks& out) {
    AcquireSRWLockShared(&hooksLock);
    out = hooks;
    const bool present = hooked;
    ReleaseSRWLockShared(&hooksLock);
    return present;
}

// The handle that MprAdminServerConnect gives out; only it is accepted back.
HANDLE const kServer = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x5e7e));

// Level 0 only, all in one buffer, as the documentation allows for
// MAX_PREFERRED_LENGTH; the buffer is the caller's to free with
// MprAdminBufferFree. `list` fills handles as the hooks do; `fill` makes an
// entry of each.
template <class Entry, class List, class Fill>
DWORD EnumerateAtOnce(DWORD level, LPBYTE* buffer, LPDWORD read, LPDWORD total, LPDWORD resume, List list, Fill fill) {
    if (level != 0 || !buffer || !read || !total) return ERROR_INVALID_PARAMETER;
    // Connections may come and go between the two questions.
    for (DWORD capacity = 16;; capacity *= 2) {
        std::vector<HANDLE> handles(capacity);
        DWORD count = 0;
        const DWORD result = list(handles.data(), capacity, &count);
        if (result != NO_ERROR) return result;
        if (count > capacity) continue;
        auto* entries = static_cast<Entry*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(Entry) * (count ? count : 1)));
        if (!entries) return ERROR_NOT_ENOUGH_MEMORY;
        for (DWORD i = 0; i < count; ++i) fill(entries[i], handles[i]);
        *buffer = reinterpret_cast<LPBYTE>(entries);
        *read = *total = count;
        if (resume) *resume = 0;
        return NO_ERROR;
    }
}

void Clear(LPBYTE* buffer, LPDWORD read, LPDWORD total) {
    if (buffer) *buffer = nullptr;
    if (read) *read = 0;
    if (total) *total = 0;
}

}  // namespace

extern "C" {

void WINAPI StandinMprapiSetHooks(const StandinMprapiHooks* h) {
    AcquireSRWLockExclusive(&hooksLock);
    hooked = h != nullptr;
    hooks = h ? *h : StandinMprapiHooks{};
    ReleaseSRWLockExclusive(&hooksLock);
}

DWORD WINAPI MprAdminServerConnect(LPWSTR, MPR_SERVER_HANDLE* server) {
    if (server) *server = nullptr;
    StandinMprapiHooks h;
    if (!CurrentHooks(h) || !h.serverConnect) return ERROR_SERVICE_NOT_ACTIVE;
    const DWORD result = h.serverConnect(h.context);
    if (result == NO_ERROR && server) *server = kServer;
    return result;
}

DWORD WINAPI MprAdminPortClearStats(RAS_SERVER_HANDLE server, HANDLE port) {
    StandinMprapiHooks h;
    if (server != kServer || !CurrentHooks(h) || !h.portClearStats) return ERROR_INVALID_HANDLE;
    return h.portClearStats(h.context, port);
}

DWORD WINAPI MprAdminPortReset(RAS_SERVER_HANDLE server, HANDLE port) {
    StandinMprapiHooks h;
    if (server != kServer || !CurrentHooks(h) || !h.portReset) return ERROR_INVALID_HANDLE;
    return h.portReset(h.context, port);
}

DWORD WINAPI MprAdminPortDisconnect(RAS_SERVER_HANDLE server, HANDLE port) {
    StandinMprapiHooks h;
    if (server != kServer || !CurrentHooks(h) || !h.portDisconnect) return ERROR_INVALID_HANDLE;
    return h.portDisconnect(h.context, port);
}


DWORD WINAPI MprAdminConnectionEnum(RAS_SERVER_HANDLE server, DWORD level, LPBYTE* buffer, DWORD, LPDWORD read,
                                    LPDWORD total, LPDWORD resume) {
    Clear(buffer, read, total);
    StandinMprapiHooks h;
    if (server != kServer || !CurrentHooks(h) || !h.connectionEnum) return ERROR_INVALID_HANDLE;
    return EnumerateAtOnce<RAS_CONNECTION_0>(
        level, buffer, read, total, resume,
        [&](HANDLE* out, DWORD capacity, DWORD* count) { return h.connectionEnum(h.context, out, capacity, count); },
        [](RAS_CONNECTION_0& e, HANDLE connection) { e.hConnection = connection; });
}

DWORD WINAPI MprAdminPortEnum(RAS_SERVER_HANDLE server, DWORD level, HANDLE connection, LPBYTE* buffer, DWORD,
                              LPDWORD read, LPDWORD total, LPDWORD resume) {
    Clear(buffer, read, total);
    StandinMprapiHooks h;
    if (server != kServer || !CurrentHooks(h) || !h.portEnum) return ERROR_INVALID_HANDLE;
    return EnumerateAtOnce<RAS_PORT_0>(
        level, buffer, read, total, resume,
        [&](HANDLE* out, DWORD capacity, DWORD* count) { return h.portEnum(h.context, connection, out, capacity, count); },
        [&](RAS_PORT_0& e, HANDLE port) {
            e.hPort = port;
            e.hConnection = connection;
        });
}

DWORD WINAPI MprAdminBufferFree(LPVOID buffer) {
    if (buffer) HeapFree(GetProcessHeap(), 0, buffer);
    return NO_ERROR;
}

VOID WINAPI MprAdminServerDisconnect(MPR_SERVER_HANDLE server) {
    StandinMprapiHooks h;
    if (server == kServer && CurrentHooks(h) && h.serverDisconnect) h.serverDisconnect(h.context);
}

}  // extern "C"
