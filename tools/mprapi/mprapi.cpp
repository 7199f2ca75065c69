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

// Level 0 only, all in one buffer, as the documentation allows for
// MAX_PREFERRED_LENGTH; the buffer is the caller's to free with MprAdminBufferFree.
DWORD WINAPI MprAdminConnectionEnum(RAS_SERVER_HANDLE server, DWORD level, LPBYTE* buffer, DWORD, LPDWORD read,
                                    LPDWORD total, LPDWORD resume) {
    if (buffer) *buffer = nullptr;
    if (read) *read = 0;
    if (total) *total = 0;
    StandinMprapiHooks h;
    if (server != kServer || !CurrentHooks(h) || !h.connectionEnum) return ERROR_INVALID_HANDLE;
    if (level != 0 || !buffer || !read || !total) return ERROR_INVALID_PARAMETER;
    // Connections may come and go between the two questions.
    for (DWORD capacity = 16;; capacity *= 2) {
        std::vector<HANDLE> handles(capacity);
        DWORD count = 0;
        const DWORD result = h.connectionEnum(h.context, handles.data(), capacity, &count);
        if (result != NO_ERROR) return result;
        if (count > capacity) continue;
        auto* entries = static_cast<RAS_CONNECTION_0*>(
            HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(RAS_CONNECTION_0) * (count ? count : 1)));
        if (!entries) return ERROR_NOT_ENOUGH_MEMORY;
        for (DWORD i = 0; i < count; ++i) entries[i].hConnection = handles[i];
        *buffer = reinterpret_cast<LPBYTE>(entries);
        *read = *total = count;
        if (resume) *resume = 0;
        return NO_ERROR;
    }
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
