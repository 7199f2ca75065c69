// One dial-in connection as the plug-in holds it: the worker that times it,
// the stop signal the hang-up gives, and the port the worker disconnects.
#pragma once
#include <windows.h>
#include <mprapi.h>

#include <atomic>
#include <memory>

#include "Config.h"
#include "Win32Files.h"

// Shared by the service's callbacks and the connection's worker; the worker
// keeps its own reference, so it outlives whichever side lets go first.
struct WorkerContext {
    HANDLE connection = nullptr;  // RAS_CONNECTION_0.hConnection of the accepted call
    UniqueHandle stopEvent;       // set by the hang-up
    UniqueHandle stepMutex;       // held by the worker for each step it takes
    UniqueHandle thread;
    DWORD threadId = 0;
    HMODULE module = nullptr;     // the worker's reference on the library
    GatewayConfigPtr config;      // the load it started under, kept to its end

    std::atomic<bool> stopRequested{false};
    // When the worker's client call in progress began (0: none). A hang-up
    // that meets a call which does not return soon stops waiting for it,
    // since that call may be the one that delivers the hang-up.
    std::atomic<ULONGLONG> clientCallSince{0};

    // Every line and time-file write of the worker passes this gate; once the
    // hang-up has closed it, the worker writes nothing more.
    SRWLOCK writeGate = SRWLOCK_INIT;
    bool gateClosed = false;

    // Set by the hang-up once the worker takes no further step: what remains
    // of its thread is its way out.
    std::atomic<bool> stopped{false};
};

// The callbacks' work; the exports in Plugin.cpp only forward to these.
BOOL AcceptConnection(const RAS_CONNECTION_0* c0);
void AcceptLink(const RAS_PORT_0* p0);
void ConnectionHangup(const RAS_CONNECTION_0* c0, const RAS_CONNECTION_1* c1);

// The port of the link accepted last.
HANDLE ActivePortHandle();
