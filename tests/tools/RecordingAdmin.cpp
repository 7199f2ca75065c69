// recadmin.dll: an administration DLL that appends every call it gets, with
// its arguments and thread, to calls.txt beside itself (or to the file named
// by DG_RECADMIN_FILE). behaviour.txt beside it may hold these words:
//   refuse-connection   MprAdminAcceptNewConnection returns FALSE
//   refuse-link         MprAdminAcceptNewLink returns FALSE
//   init-fails          MprAdminInitializeDll returns ERROR_ACCESS_DENIED
//   disconnect-on-link  a thread of the DLL's own calls the administration
//                       client functions on the new port, as a plug-in does
//                       when a caller's time is up
//   connect-in-callback MprAdminAcceptNewLink calls MprAdminServerConnect
//                       itself, which the platform forbids
//   slow-accept         MprAdminAcceptNewConnection takes 1000 ms
//   slow-hangup         MprAdminConnectionHangupNotification takes 300 ms
//   hangup-waits        MprAdminConnectionHangupNotification waits for the
//                       DLL's disconnecting thread to finish, as a plug-in
//                       that ends its worker at hang-up does
//   enum-on-link        after each new link a thread of the DLL's own asks
//                       MprAdminConnectionEnum which connections exist
//                       (level 0, then the unsupported level 1)
//   enum-in-hangup      MprAdminConnectionHangupNotification calls
//                       MprAdminConnectionEnum itself, which the platform
//                       forbids, with the server handle that enum-on-link's
//                       thread kept
#include <windows.h>
#include <mprapi.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

namespace {

HMODULE self = nullptr;
CRITICAL_SECTION writing;
// Set once the DLL's own thread has called MprAdminPortDisconnect, and the
// event once that call has returned.
volatile LONG disconnectCalled = 0;
HANDLE disconnectReturned = nullptr;
// The server handle that enum-on-link's thread keeps for enum-in-hangup.
std::atomic<MPR_SERVER_HANDLE> keptServer{nullptr};
const DWORD kWholeList = static_cast<DWORD>(-1);  // MAX_PREFERRED_LENGTH

std::wstring Beside(const wchar_t* name) {
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameW(self, path.data(), static_cast<DWORD>(path.size()));
        if (n < path.size()) {
            std::wstring full(path.data(), n);
            return full.substr(0, full.find_last_of(L'\\') + 1) + name;
        }
        path.resize(path.size() * 2);
    }
}

std::wstring RecordFile() {
    wchar_t value[1024];
    const DWORD n = GetEnvironmentVariableW(L"DG_RECADMIN_FILE", value, 1024);
    return n > 0 && n < 1024 ? std::wstring(value, n) : Beside(L"calls.txt");
}

void Record(const std::string& text) {
    const std::string line = text + " tid=" + std::to_string(GetCurrentThreadId()) + "\n";
    EnterCriticalSection(&writing);
    HANDLE file = CreateFileW(RecordFile().c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        CloseHandle(file);
    }
    LeaveCriticalSection(&writing);
}

bool Behaves(const char* word) {
    HANDLE file = CreateFileW(Beside(L"behaviour.txt").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    std::string text;
    char chunk[512];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) text.append(chunk, got);
    CloseHandle(file);
    return text.find(word) != std::string::npos;
}

std::string Hex(HANDLE h) {
    char text[32];
    snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(h)));
    return text;
}

std::string Narrow(const WCHAR* text) {
    std::string out;
    for (; text && *text; ++text) out += *text < 128 ? static_cast<char>(*text) : '?';
    return out;
}

// What a plug-in does when a caller's time is up, plus the same calls on a
// port that is not one (the connection's handle).
DWORD WINAPI DisconnectPort(void* param) {
    auto* handles = static_cast<HANDLE*>(param);
    const HANDLE port = handles[0], notAPort = handles[1];
    delete[] handles;
    MPR_SERVER_HANDLE server = nullptr;
    const DWORD connected = MprAdminServerConnect(nullptr, &server);
    Record("ServerConnect " + std::to_string(connected));
    Record("PortClearStats " + Hex(notAPort) + " " + std::to_string(MprAdminPortClearStats(server, notAPort)));
    Record("PortReset " + Hex(notAPort) + " " + std::to_string(MprAdminPortReset(server, notAPort)));
    Record("PortDisconnect " + Hex(notAPort) + " " + std::to_string(MprAdminPortDisconnect(server, notAPort)));
    Record("PortClearStats " + Hex(port) + " " + std::to_string(MprAdminPortClearStats(server, port)));
    Record("PortReset " + Hex(port) + " " + std::to_string(MprAdminPortReset(server, port)));
    InterlockedExchange(&disconnectCalled, 1);
    const DWORD result = MprAdminPortDisconnect(server, port);
    SetEvent(disconnectReturned);
    Record("PortDisconnect " + Hex(port) + " " + std::to_string(result));
    if (connected == NO_ERROR) MprAdminServerDisconnect(server);
    return 0;
}

// What a plug-in's worker does to learn whether its connection still exists.
DWORD WINAPI EnumerateConnections(void*) {
    MPR_SERVER_HANDLE server = nullptr;
    const DWORD connected = MprAdminServerConnect(nullptr, &server);
    LPBYTE buffer = nullptr;
    DWORD read = 0, total = 0, resume = 0;
    const DWORD result =
        connected == NO_ERROR ? MprAdminConnectionEnum(server, 0, &buffer, kWholeList, &read, &total, &resume)
                              : connected;
    std::string handles;
    const auto* entries = reinterpret_cast<const RAS_CONNECTION_0*>(buffer);
    for (DWORD i = 0; entries && i < read; ++i) handles += (i ? "," : "") + Hex(entries[i].hConnection);
    const std::string listed = buffer ? "buffer" : "no-buffer";
    if (buffer) MprAdminBufferFree(buffer);
    LPBYTE other = nullptr;
    DWORD otherRead = 0, otherTotal = 0;
    const DWORD level1 = MprAdminConnectionEnum(server, 1, &other, kWholeList, &otherRead, &otherTotal, nullptr);
    if (other) MprAdminBufferFree(other);
    if (Behaves("enum-in-hangup") && connected == NO_ERROR) keptServer = server;
    Record("ConnectionEnum " + std::to_string(result) + " read=" + std::to_string(read) + " total=" +
           std::to_string(total) + " handles=" + handles + " " + listed + " level1=" + std::to_string(level1));
    if (connected == NO_ERROR && !keptServer.load()) MprAdminServerDisconnect(server);
    return 0;
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        self = instance;
        InitializeCriticalSection(&writing);
        disconnectReturned = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        Record("load");
    } else if (reason == DLL_PROCESS_DETACH) {
        // Unloaded by FreeLibrary, or the process ending with the DLL in.
        Record(reserved ? "process-exit" : "unload");
    }
    return TRUE;
}

extern "C" {

DWORD WINAPI MprAdminInitializeDll(VOID) {
    Record("MprAdminInitializeDll");
    return Behaves("init-fails") ? ERROR_ACCESS_DENIED : NO_ERROR;
}

DWORD WINAPI MprAdminTerminateDll(VOID) {
    Record("MprAdminTerminateDll");
    return NO_ERROR;
}

DWORD WINAPI MprAdminGetIpAddressForUser(WCHAR* user, WCHAR* port, DWORD* address, WINBOOL* notify) {
    Record("MprAdminGetIpAddressForUser user=" + Narrow(user) + " port=" + Narrow(port) +
           " address=" + std::to_string(address ? *address : 0) + " notify=" + std::to_string(notify ? *notify : 0));
    return NO_ERROR;
}

VOID WINAPI MprAdminReleaseIpAddress(WCHAR* user, WCHAR* port, DWORD* address) {
    Record("MprAdminReleaseIpAddress user=" + Narrow(user) + " port=" + Narrow(port) +
           " address=" + std::to_string(address ? *address : 0));
}

WINBOOL WINAPI MprAdminAcceptNewConnection(RAS_CONNECTION_0* c0, RAS_CONNECTION_1* c1) {
    Record("MprAdminAcceptNewConnection hConnection=" + Hex(c0->hConnection) + " c1=" + Hex(c1->hConnection) +
           " duration=" + std::to_string(c0->dwConnectDuration) + " rx=" + std::to_string(c1->dwBytesRcved) +
           " tx=" + std::to_string(c1->dwBytesXmited) + " user=" + Narrow(c0->wszUserName));
    if (Behaves("slow-accept")) Sleep(1000);
    return !Behaves("refuse-connection");
}

WINBOOL WINAPI MprAdminAcceptNewLink(RAS_PORT_0* p0, RAS_PORT_1* p1) {
    Record("MprAdminAcceptNewLink hPort=" + Hex(p0->hPort) + " p1=" + Hex(p1->hPort) +
           " hConnection=" + Hex(p0->hConnection));
    if (Behaves("refuse-link")) return FALSE;
    if (Behaves("connect-in-callback")) {
        MPR_SERVER_HANDLE server = nullptr;
        Record("ServerConnect " + std::to_string(MprAdminServerConnect(nullptr, &server)));
    }
    if (Behaves("disconnect-on-link")) {
        ResetEvent(disconnectReturned);
        HANDLE thread = CreateThread(nullptr, 0, DisconnectPort, new HANDLE[2]{p0->hPort, p0->hConnection}, 0, nullptr);
        // With link-waits the disconnect lands while the link is still being
        // offered: the port is the service's already, not an unknown one.
        if (thread && Behaves("link-waits")) WaitForSingleObject(disconnectReturned, 5000);
        if (thread) CloseHandle(thread);
    }
    if (Behaves("enum-on-link")) {
        HANDLE thread = CreateThread(nullptr, 0, EnumerateConnections, nullptr, 0, nullptr);
        if (thread) CloseHandle(thread);
    }
    return TRUE;
}

VOID WINAPI MprAdminLinkHangupNotification(RAS_PORT_0* p0, RAS_PORT_1* p1) {
    std::string during;
    if (disconnectCalled) {
        // Did the disconnect call return before this hang-up arrived?
        during = WaitForSingleObject(disconnectReturned, 1500) == WAIT_OBJECT_0 ? " disconnect-call=returned"
                                                                                  : " disconnect-call=pending";
    }
    Record("MprAdminLinkHangupNotification hPort=" + Hex(p0->hPort) + " hConnection=" + Hex(p0->hConnection) +
           " rx=" + std::to_string(p1->dwBytesRcved) + " tx=" + std::to_string(p1->dwBytesXmited) + during);
}

VOID WINAPI MprAdminConnectionHangupNotification(RAS_CONNECTION_0* c0, RAS_CONNECTION_1* c1) {
    if (Behaves("slow-hangup")) Sleep(300);
    if (Behaves("hangup-waits") && disconnectCalled) WaitForSingleObject(disconnectReturned, INFINITE);
    if (Behaves("enum-in-hangup") && keptServer.load()) {
        LPBYTE buffer = nullptr;
        DWORD read = 0, total = 0;
        const DWORD result = MprAdminConnectionEnum(keptServer.load(), 0, &buffer, kWholeList, &read, &total, nullptr);
        Record("ConnectionEnum " + std::to_string(result) + " inside-hangup");
    }
    Record("MprAdminConnectionHangupNotification hConnection=" + Hex(c0->hConnection) +
           " duration=" + std::to_string(c0->dwConnectDuration) + " rx=" + std::to_string(c1->dwBytesRcved) +
           " tx=" + std::to_string(c1->dwBytesXmited));
}

}  // extern "C"
