// The eight callbacks through which the remote-access service drives the
// plug-in. None of them lets an error or exception reach the service.
#include <windows.h>
#include <mprapi.h>

#include "Config.h"
#include "Connection.h"
#include "Log.h"
#include "LogTexts.h"
#include "UserFiles.h"

// The build's version (the project's version in CMakeLists.txt), for the
// banner and the load event.
#ifndef DIALGATE_VERSION
#error "DIALGATE_VERSION is set by gate/CMakeLists.txt"
#endif

namespace {
// The configuration lies beside this library, wherever the service loaded it from.
HMODULE pluginModule = nullptr;
}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD, LPVOID) {
    pluginModule = instance;
    return TRUE;
}

extern "C" {

DWORD WINAPI MprAdminInitializeDll(VOID) {
    try {
        LoadGatewayConfig(pluginModule, DIALGATE_VERSION);
        ClearUserFiles(*CurrentGatewayConfig());
        LogWrite(log_text::kInitialized, true);
    } catch (...) {
        // The service must start whatever happened here.
    }
    return NO_ERROR;
}

DWORD WINAPI MprAdminTerminateDll(VOID) {
    LogWrite(log_text::kTerminated, true);
    LogWrite(log_text::kTerminateRule, false);
    return NO_ERROR;
}

DWORD WINAPI MprAdminGetIpAddressForUser(WCHAR*, WCHAR*, DWORD*, WINBOOL*) {
    // The address the service chose stands.
    LogWrite(log_text::kIpRequested, true);
    return NO_ERROR;
}

VOID WINAPI MprAdminReleaseIpAddress(WCHAR*, WCHAR*, DWORD*) { LogWrite(log_text::kIpReleased, true); }

WINBOOL WINAPI MprAdminAcceptNewConnection(RAS_CONNECTION_0* c0, RAS_CONNECTION_1*) {
    try {
        return AcceptConnection(c0);
    } catch (...) {
        // Without a worker the caller would go untimed: refuse.
        return FALSE;
    }
}

WINBOOL WINAPI MprAdminAcceptNewLink(RAS_PORT_0* p0, RAS_PORT_1*) {
    try {
        AcceptLink(p0);
    } catch (...) {
        // Out of memory: the port is not recorded; the limit's end asks the service.
    }
    return TRUE;
}

VOID WINAPI MprAdminLinkHangupNotification(RAS_PORT_0* p0, RAS_PORT_1*) { LinkHangup(p0); }

VOID WINAPI MprAdminConnectionHangupNotification(RAS_CONNECTION_0* c0, RAS_CONNECTION_1* c1) {
    try {
        ConnectionHangup(c0, c1);
    } catch (...) {
    }
}

}  // extern "C"
