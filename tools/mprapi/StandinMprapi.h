// The stand-in mprapi.dll: the administration client calls of the
// remote-access service, answered by whoever hosts it. The stand-in service
// registers its hooks; a test can register its own. Without hooks the calls
// fail as they do when the service is not running.
#pragma once
#include <windows.h>

struct StandinMprapiHooks {
    void* context;
    DWORD(WINAPI* serverConnect)(void* context);
    DWORD(WINAPI* portClearStats)(void* context, HANDLE port);
    DWORD(WINAPI* portReset)(void* context, HANDLE port);
    DWORD(WINAPI* portDisconnect)(void* context, HANDLE port);
    void(WINAPI* serverDisconnect)(void* context);
    // The connections that exist: up to `capacity` handles into `connections`,
    // their number into `count` (which may exceed `capacity`). A result other
    // than NO_ERROR fails MprAdminConnectionEnum with it. May be left null:
    // the enumeration then fails as without a service.
    DWORD(WINAPI* connectionEnum)(void* context, HANDLE* connections, DWORD capacity, DWORD* count);
    // The same for the ports of one connection (MprAdminPortEnum).
    DWORD(WINAPI* portEnum)(void* context, HANDLE connection, HANDLE* ports, DWORD capacity, DWORD* count);
};

// Copies the hooks; nullptr removes them. The hooks are called with no lock
// of the DLL held, so they may block or call back into the caller.
typedef void(WINAPI* StandinMprapiSetHooksFn)(const StandinMprapiHooks* hooks);
#define STANDIN_MPRAPI_SET_HOOKS "StandinMprapiSetHooks"
