// The worker's thread in the library itself, with the system's client calls.
#include "Connection.h"
#include "Worker.h"

namespace {

// Length of one cycle; the fast build used by the end-to-end runs has a short one.
#ifndef DIALGATE_CYCLE_MS
#define DIALGATE_CYCLE_MS 1000
#endif
constexpr DWORD kCycleMs = DIALGATE_CYCLE_MS;

const AdminCalls kSystemAdminCalls{MprAdminServerConnect,  MprAdminPortClearStats, MprAdminPortReset,
                                   MprAdminPortDisconnect, MprAdminServerDisconnect, MprAdminConnectionEnum,
                                   MprAdminBufferFree};

}  // namespace

DWORD WINAPI ConnectionWorker(LPVOID param) {
    auto* handed = static_cast<std::shared_ptr<WorkerContext>*>(param);
    std::shared_ptr<WorkerContext> ctx = std::move(*handed);
    delete handed;
    try {
        RunWorker(*ctx, WorkerEnv{kSystemAdminCalls, SystemClock(), ActivePortHandle, kCycleMs});
    } catch (...) {
        // Out of memory: the worker ends; the caller is disconnected by the hang-up or stays untimed.
    }
    // No further step: a new caller need only wait for the thread's end.
    ctx->stopped = true;
    const HMODULE module = ctx->module;
    ctx.reset();
    FreeLibraryAndExitThread(module, 0);
}
