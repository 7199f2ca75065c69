// The connection worker: the registration window, the countdown in the time
// file, the caller's record and FTP account, and the disconnect at the end.
// Its clock and the service's client calls come in from outside, so that
// tests can run it step by step.
#pragma once
#include <windows.h>
#include <mprapi.h>

#include <atomic>
#include <string_view>
#include <vector>

#include "Config.h"
#include "ConnectionTable.h"
#include "Log.h"
#include "Win32Handles.h"
#include "WorkerStop.h"

// The remote-access service's client calls, as mprapi.dll exports them.
struct AdminCalls {
    DWORD(WINAPI* serverConnect)(LPWSTR, MPR_SERVER_HANDLE*);
    DWORD(WINAPI* portClearStats)(RAS_SERVER_HANDLE, HANDLE);
    DWORD(WINAPI* portReset)(RAS_SERVER_HANDLE, HANDLE);
    DWORD(WINAPI* portDisconnect)(RAS_SERVER_HANDLE, HANDLE);
    VOID(WINAPI* serverDisconnect)(MPR_SERVER_HANDLE);
    DWORD(WINAPI* connectionEnum)(RAS_SERVER_HANDLE, DWORD, LPBYTE*, DWORD, LPDWORD, LPDWORD, LPDWORD);
    DWORD(WINAPI* bufferFree)(LPVOID);
    DWORD(WINAPI* portEnum)(RAS_SERVER_HANDLE, DWORD, HANDLE, LPBYTE*, DWORD, LPDWORD, LPDWORD, LPDWORD);
};

// The ports of one connection's links that are up, as the service reported
// them coming and going: what the limit's end disconnects when the service
// cannot list them itself.
class ConnectionPorts {
public:
    // Throws when out of memory; the port is then not known here.
    void Add(HANDLE port);
    void Remove(HANDLE port);
    std::vector<HANDLE> Copy() const;

private:
    mutable SRWLOCK lock_ = SRWLOCK_INIT;
    std::vector<HANDLE> ports_;
};

// The worker's clock, and its wait for the next cycle.
class WorkerClock {
public:
    virtual ~WorkerClock() = default;
    virtual double NowMs() = 0;
    // Until `deadlineMs` on this clock, or until the worker is released; true
    // when it is to end.
    virtual bool WaitUntil(const WorkerStop& stop, double deadlineMs) = 0;
};

// The performance counter, waiting on the stop request.
WorkerClock& SystemClock();

// One accepted connection's worker. Shared by the service's callbacks and
// the worker's thread; each keeps its own reference, so it outlives
// whichever side lets go first. What the connections' table decides on is
// in TimedConnection.
struct WorkerContext : TimedConnection {
    GatewayConfigPtr config;  // the load it started under, kept to its end
    // Where the worker is in its life; see WorkerStop.h.
    WorkerStop stop;
    // The design's ActivePort, kept per connection: only links of this
    // connection count, a link's hang-up takes its port out, and the limit's
    // end disconnects each one left.
    ConnectionPorts ports;
    // Set once the connection's hang-up has written its lines: a new caller's
    // lines wait for them, so that the log gives each connection its own end.
    UniqueHandle hangupLines{CreateEventW(nullptr, TRUE, FALSE, nullptr)};

    // The thread, as the connection keeps it; set once it is started.
    UniqueHandle thread;
    HMODULE module = nullptr;  // the worker's reference on the library
};

struct WorkerEnv {
    const AdminCalls& admin;
    WorkerClock& clock;
    DWORD cycleMs;
};

// The worker's whole life, on the calling thread.
void RunWorker(WorkerContext& ctx, const WorkerEnv& env);

// Lines written by the worker, together: dropped once the hang-up has closed
// the gate, and when they cannot be composed (out of memory).
bool WorkerLog(WorkerContext& ctx, std::initializer_list<LogLine> lines) noexcept;
bool WorkerLog(WorkerContext& ctx, std::string_view message, bool dated) noexcept;

// How often the worker asks the service whether its connection still exists
// when nothing makes it ask sooner; the service may lose a hang-up.
constexpr double kServiceAskIntervalMs = 10000;
// An answer of the service comes in pages; an ask that needs more than this
// many is given up (and proves nothing).
constexpr int kMostAnswerPages = 8;

// Thread entry, defined by the module that hosts the worker (the library
// itself in WorkerThread.cpp); `param` is a heap-held
// std::shared_ptr<WorkerContext> that the worker takes over. The library's
// ends through FreeLibraryAndExitThread, so the library stays mapped until the
// worker is gone.
DWORD WINAPI ConnectionWorker(LPVOID param);

// ConnectionWorker's body: takes over `param`, runs the worker in `env` to
// its end and marks it stopped. Returns the worker's reference on its module,
// for the thread to give back.
HMODULE RunConnectionWorker(LPVOID param, const WorkerEnv& env) noexcept;
