#include "Connection.h"

#include <string>

#include "Config.h"
#include "Log.h"
#include "Texts.h"
#include "UserFiles.h"
#include "Worker.h"

namespace {

// WorkerThread: the worker of the connection accepted last and not yet hung up.
SRWLOCK stateLock = SRWLOCK_INIT;
std::shared_ptr<WorkerContext> current;
// ActivePort.
std::atomic<HANDLE> activePort{nullptr};

// The hang-up waits this long for the worker's step in progress; the
// service's thread is not ours to hold.
constexpr DWORD kStepWaitMs = 1000;
// A client call that has not returned after this long may be waiting for the
// hang-up itself (a service that delivers it from inside the call).
constexpr DWORD kClientCallGraceMs = 200;


bool WorkerRunning(const WorkerContext& ctx) { return WaitForSingleObject(ctx.thread.Get(), 0) == WAIT_TIMEOUT; }

void CloseGate(WorkerContext& ctx) {
    AcquireSRWLockExclusive(&ctx.writeGate);
    ctx.gateClosed = true;
    ReleaseSRWLockExclusive(&ctx.writeGate);
}

// Asks the worker to stop and waits, bounded, for the step it is taking.
// True when the worker takes no further step and writes nothing more.
bool StopWorker(WorkerContext& ctx) {
    ctx.stopRequested = true;
    SetEvent(ctx.stopEvent.Get());
    // Delivered from inside the worker's own client call: that call is its
    // last step, and waiting for it here would wait for ourselves.
    if (GetCurrentThreadId() == ctx.threadId) {
        CloseGate(ctx);
        return true;
    }
    const ULONGLONG deadline = GetTickCount64() + kStepWaitMs;
    for (;;) {
        // A call that returns soon gets its outcome line written; one that
        // does not may be waiting for this very hang-up: the worker writes
        // nothing more once the gate is closed, and takes no further step.
        const ULONGLONG since = ctx.clientCallSince;
        if (since != 0 && GetTickCount64() - since >= kClientCallGraceMs) {
            CloseGate(ctx);
            return true;
        }
        const DWORD wait = WaitForSingleObject(ctx.stepMutex.Get(), 5);
        if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) {
            CloseGate(ctx);
            ReleaseMutex(ctx.stepMutex.Get());
            return true;
        }
        if (GetTickCount64() >= deadline) {
            // A long step (the FTP step finishes on its own and then ends).
            CloseGate(ctx);
            return false;
        }
    }
}

}  // namespace

HANDLE ActivePortHandle() { return activePort.load(); }

BOOL AcceptConnection(const RAS_CONNECTION_0* c0) {
    ExclusiveLock lock(stateLock);
    // Room for one connection: a second caller while the first is timed
    // would leave one of them untimed, or two workers on one time file.
    if (current && WorkerRunning(*current)) {
        LogWrite(text::kSecondConnectionRefused, true);
        return FALSE;
    }
    LogWrite(text::kConnectionAccepted, true);
    ClearUserFiles();

    auto ctx = std::make_shared<WorkerContext>();
    ctx->connection = c0 ? c0->hConnection : nullptr;
    ctx->stopEvent.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ctx->stepMutex.Reset(CreateMutexW(nullptr, FALSE, nullptr));
    HMODULE self = nullptr;
    if (ctx->stopEvent.Valid() && ctx->stepMutex.Valid() &&
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                           reinterpret_cast<LPCWSTR>(reinterpret_cast<void*>(&ConnectionWorker)), &self)) {
        ctx->module = self;
        auto* handed = new std::shared_ptr<WorkerContext>(ctx);
        DWORD id = 0;
        const HANDLE thread = CreateThread(nullptr, 0, ConnectionWorker, handed, CREATE_SUSPENDED, &id);
        if (thread) {
            ctx->thread.Reset(thread);
            ctx->threadId = id;
            current = ctx;
            // Its first line must not come before this one.
            LogWrite(text::kWorkerStarted, true);
            ResumeThread(thread);
            return TRUE;
        }
        delete handed;
        FreeLibrary(self);
    }
    LogWrite(text::kWorkerNotStarted, true);
    return FALSE;
}

void AcceptLink(const RAS_PORT_0* p0) {
    LogWrite(text::kLinkUp, true);
    activePort = p0 ? p0->hPort : nullptr;
}

void ConnectionHangup(const RAS_CONNECTION_0* c0, const RAS_CONNECTION_1* c1) {
    std::shared_ptr<WorkerContext> ctx;
    bool otherRunning = false;
    {
        ExclusiveLock lock(stateLock);
        // Only the hang-up of the connection the worker times ends it: a late
        // hang-up of an earlier connection must not end the next caller's.
        if (current && c0 && current->connection == c0->hConnection) {
            ctx = std::move(current);
            current.reset();
        } else {
            otherRunning = current && WorkerRunning(*current);
        }
    }
    const bool ended = ctx && StopWorker(*ctx);
    LogWrite(ended ? text::kWorkerEnded : text::kWorkerNotEnded, true);
    if (!otherRunning) ClearUserFiles();
    LogWrite(std::string(text::kDuration) + std::to_string(c0 ? c0->dwConnectDuration : 0), true);
    LogWrite(std::string(text::kBytesReceived) + std::to_string(c1 ? c1->dwBytesRcved : 0), true);
    LogWrite(std::string(text::kBytesSent) + std::to_string(c1 ? c1->dwBytesXmited : 0), true);
    LogWrite(text::kUserHungUp, true);
}
