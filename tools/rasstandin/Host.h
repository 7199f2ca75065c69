// The stand-in for the Routing and Remote Access service: it loads the
// administration DLLs named in the registry (a ";"-separated list, called in
// its order, as the service does), answers the administration client
// calls through the stand-in mprapi.dll, and plays dial-in connections at the
// request of the control commands.
#pragma once
#include <windows.h>
#include <mprapi.h>

#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Requests.h"
#include "StandinMprapi.h"

class Strand;

// Owns a loaded module.
class Module {
public:
    Module() = default;
    explicit Module(HMODULE h) : h_(h) {}
    ~Module() { Reset(); }
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;
    HMODULE Get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }
    void Reset(HMODULE h = nullptr) {
        if (h_) FreeLibrary(h_);
        h_ = h;
    }
    template <class F>
    F Proc(const char* name) const {
        return h_ ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(h_, name))) : nullptr;
    }

private:
    HMODULE h_ = nullptr;
};

class RasHost {
public:
    // `say` gets one line per thing worth telling whoever watches the host.
    explicit RasHost(std::function<void(const std::string&)> say);
    ~RasHost();
    RasHost(const RasHost&) = delete;
    RasHost& operator=(const RasHost&) = delete;

    // Loads mprapi.dll and the administration DLLs and initialises them. On
    // failure nothing stays loaded; the result is the error code.
    DWORD Start();
    // How long stopping waits for the hang-ups of the connections still up.
    static constexpr unsigned long long kStopWaitMs = 15000;
    // Hangs up every connection, terminates and unloads the administration
    // DLLs. False when callbacks did not return within `waitMs`: the DLLs are
    // then left loaded and the caller should end the process.
    bool Stop(unsigned long long waitMs = kStopWaitMs);

    // One control command, answered with "ok", "refused" or "error: ..."
    // on the first line and what the command prints after it.
    std::string Handle(const Request& request);
    // Signalled by the quit command.
    HANDLE QuitEvent() const { return quit_; }

private:
    struct Connection;
    struct AdminDll;

    DWORD LoadAdminDll(const std::wstring& path);
    std::string Dial(const Request& request);
    std::string Hangup(uint32_t id);
    std::string Drop(uint32_t id);
    std::string State();
    // Marks a live connection as going down and queues its hang-ups on its
    // strand; must be called with mutex_ held.
    std::shared_future<void> BeginHangupLocked(Connection& c);
    void DeliverHangup(Connection& c, bool linkUp);
    // Moves a finished connection out of the table; its strand is joined
    // later, by a thread other than its own.
    void RetireLocked(Connection& c);
    template <class F>
    auto Callback(Connection& c, const char* name, F call) -> decltype(call());
    std::shared_ptr<Connection> LivePortLocked(HANDLE port);
    void JoinRetired();
    void OpenForDials();
    void RefuseInsideCallback(const char* call);

    static DWORD WINAPI OnServerConnect(void* context);
    static DWORD WINAPI OnPortClearStats(void* context, HANDLE port);
    static DWORD WINAPI OnPortReset(void* context, HANDLE port);
    static DWORD WINAPI OnPortDisconnect(void* context, HANDLE port);
    static void WINAPI OnServerDisconnect(void* context);
    static DWORD WINAPI OnConnectionEnum(void* context, HANDLE* connections, DWORD capacity, DWORD* count);
    static DWORD WINAPI OnPortEnum(void* context, HANDLE connection, HANDLE* ports, DWORD capacity, DWORD* count);

    std::function<void(const std::string&)> say_;
    HANDLE quit_;
    Module mprapi_;
    std::vector<std::unique_ptr<AdminDll>> admins_;
    std::wstring adminPath_;  // the registered list

    std::mutex mutex_;  // guards everything below
    bool running_ = false;    // MprAdminServerConnect succeeds
    bool dialsOpen_ = false;  // the DLL is initialised and the host not stopping
    bool syncDisconnect_ = false;
    uint32_t lastId_ = 0;
    std::map<uint32_t, std::shared_ptr<Connection>> connections_;
    std::vector<std::shared_ptr<Connection>> retired_;
    LatencyStats hangupLatency_;
    std::vector<std::pair<uint32_t, double>> hangups_;
    std::vector<std::pair<uint32_t, uint32_t>> drops_;  // id, seconds
    std::vector<std::string> forbiddenCalls_;
    unsigned clearStatsCalls_ = 0;
    unsigned resetCalls_ = 0;
    unsigned connectionEnumCalls_ = 0;
};

// The administration DLLs that administrators register for the service: the
// DLLPath value as registered, its variables expanded.
std::wstring RegisteredAdminDll();
// The entries of a DLLPath list, blanks around them dropped, empty ones left out.
std::vector<std::wstring> AdminDllPaths(const std::wstring& list);
LSTATUS RegisterAdminDll(const std::wstring& path, const std::wstring& displayName);

// Wide text as UTF-8, as the commands print it.
std::string Utf8(const std::wstring& text);
