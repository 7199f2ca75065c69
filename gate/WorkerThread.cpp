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
                                   MprAdminBufferFree,     MprAdminPortEnum};

}  // namespace

DWORD WINAPI ConnectionWorker(LPVOID param) {
    FreeLibraryAndExitThread(
        RunConnectionWorker(param, WorkerEnv{kSystemAdminCalls, SystemClock(), kCycleMs}), 0);
}
