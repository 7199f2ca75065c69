// The connection worker: the registration window, the countdown in the time
// file, the caller's record and FTP account, and the disconnect at the end.
// Its clock and the service's client calls come in from outside, so that
// tests can run it step by step.
#pragma once
#include <windows.h>
#include <mprapi.h>

#include <atomic>
#include <string_view>

#include "Config.h"
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
// whichever side lets go first.
struct WorkerContext {
    HANDLE connection = nullptr;  // RAS_CONNECTION_0.hConnection of the accepted call
    GatewayConfigPtr config;      // the load it started under, kept to its end
    WorkerStop stop;
    // Set when a second caller was refused: the worker asks the service at
    // its next cycle whether its own connection still exists.
    std::atomic<bool> askService{false};

    // The thread, as the connection keeps it.
    UniqueHandle thread;
    HMODULE module = nullptr;  // the worker's reference on the library
    // Set once the worker takes no further step (by the hang-up, or by the
    // worker when it is done): what remains of its thread is its way out.
    std::atomic<bool> stopped{false};
};

struct WorkerEnv {
    const AdminCalls& admin;
    WorkerClock& clock;
    HANDLE (*activePort)();  // ActivePort, read when the disconnect begins
    DWORD cycleMs;
};

// The worker's whole life, on the calling thread.
void RunWorker(WorkerContext& ctx, const WorkerEnv& env);

// A line written by the worker: dropped once the hang-up has closed the gate.
bool WorkerLog(WorkerContext& ctx, std::string_view message, bool dated);

// How often the worker asks the service whether its connection still exists
// when nothing makes it ask sooner; the service may lose a hang-up.
constexpr double kServiceAskIntervalMs = 10000;

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
