// The remote-access service's client calls, answered by the test: which
// connections exist and with which ports, what every call answers, and what
// happens inside a call. It answers a worker run in the test's own process
// (plain functions with mprapi.dll's signatures) and the built plug-in
// through the stand-in mprapi.dll (its hooks). One at a time: the calls are
// plain functions.
#pragma once
#include <windows.h>
#include <mprapi.h>

#include <atomic>
#include <functional>
#include <initializer_list>
#include <map>
#include <mutex>
#include <set>
#include <vector>

class FakeService {
public:
    std::atomic<int> connects{0}, clearStats{0}, resets{0}, disconnects{0}, serverDisconnects{0}, enumerations{0},
        portEnumerations{0};
    std::atomic<HANDLE> lastPort{nullptr};
    // What every call but the enumerations answers.
    std::atomic<DWORD> answer{NO_ERROR};
    // What the enumerations answer. NO_ERROR lists what there is at once;
    // ERROR_MORE_DATA gives a page with nothing in it, again and again.
    std::atomic<DWORD> enumAnswer{NO_ERROR};
    // Inside the calls (a slow call, a hang-up delivered from inside one).
    std::function<void()> onConnect;
    std::function<void(HANDLE port)> onPortDisconnect;

    FakeService();
    ~FakeService();
    FakeService(const FakeService&) = delete;
    FakeService& operator=(const FakeService&) = delete;

    // The service's connections, from the dial to the hang-up, with their ports.
    void AddConnection(HANDLE connection, std::initializer_list<HANDLE> ports = {});
    void RemoveConnection(HANDLE connection);
    // Every port a disconnect was asked for.
    std::set<HANDLE> DisconnectedPorts();

    // The calls, as mprapi.dll exports them.
    static DWORD WINAPI ServerConnect(LPWSTR, MPR_SERVER_HANDLE* server);
    static DWORD WINAPI PortClearStats(RAS_SERVER_HANDLE, HANDLE port);
    static DWORD WINAPI PortReset(RAS_SERVER_HANDLE, HANDLE port);
    static DWORD WINAPI PortDisconnect(RAS_SERVER_HANDLE, HANDLE port);
    static VOID WINAPI ServerDisconnect(MPR_SERVER_HANDLE);
    static DWORD WINAPI ConnectionEnum(RAS_SERVER_HANDLE, DWORD level, LPBYTE* buffer, DWORD, LPDWORD read,
                                       LPDWORD total, LPDWORD resume);
    static DWORD WINAPI PortEnum(RAS_SERVER_HANDLE, DWORD level, HANDLE connection, LPBYTE* buffer, DWORD,
                                 LPDWORD read, LPDWORD total, LPDWORD resume);
    static DWORD WINAPI BufferFree(LPVOID buffer);

    // Hands the calls of the stand-in mprapi.dll loaded in this process to
    // this service, and takes them back.
    bool InstallStandinHooks();
    void RemoveStandinHooks();

private:
    static DWORD WINAPI HookConnect(void*);
    static DWORD WINAPI HookClearStats(void*, HANDLE port);
    static DWORD WINAPI HookReset(void*, HANDLE port);
    static DWORD WINAPI HookDisconnect(void*, HANDLE port);
    static void WINAPI HookServerDisconnect(void*);
    static DWORD WINAPI HookConnections(void* context, HANDLE* out, DWORD capacity, DWORD* count);
    static DWORD WINAPI HookPorts(void* context, HANDLE connection, HANDLE* out, DWORD capacity, DWORD* count);

    static inline std::atomic<FakeService*> current_{nullptr};
    std::mutex lock_;
    std::map<HANDLE, std::vector<HANDLE>> connections_;
    std::set<HANDLE> disconnectedPorts_;
    bool hooked_ = false;
};
