// Stand-in for the system's mprapi.dll (Wine's aborts in these calls).
#include <windows.h>
#include <mprapi.h>

#include "StandinMprapi.h"

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

VOID WINAPI MprAdminServerDisconnect(MPR_SERVER_HANDLE server) {
    StandinMprapiHooks h;
    if (server == kServer && CurrentHooks(h) && h.serverDisconnect) h.serverDisconnect(h.context);
}

}  // extern "C"
