#include "Connection.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "Config.h"
#include "Events.h"
#include "Log.h"
#include "LogTexts.h"
#include "UserFiles.h"
#include "Worker.h"
#include "WorkerStop.h"

namespace {

// WorkerThread: the worker of the connection accepted last and not yet hung
// up; the workers whose hang-up came but whose threads have not ended yet; how
// many callers were accepted. All three under stateLock.
SRWLOCK stateLock = SRWLOCK_INIT;
std::shared_ptr<WorkerContext> current;
std::vector<std::shared_ptr<WorkerContext>> hungUp;
uint64_t accepts = 0;
// ActivePort.
std::atomic<HANDLE> activePort{nullptr};

// The hang-up waits this long for the worker's step in progress; the
// service's thread is not ours to hold.
constexpr DWORD kStepWaitMs = 1000;
// A client call that has not returned after this long may be waiting for the
// hang-up itself (a service that delivers it from inside the call).
constexpr DWORD kClientCallGraceMs = 200;
// How long a new caller's acceptance waits for a hung-up worker that takes no
// further step to be gone.
constexpr DWORD kLeavingWaitMs = 1000;


bool WorkerRunning(const WorkerContext& ctx) { return WaitForSingleObject(ctx.thread.Get(), 0) == WAIT_TIMEOUT; }

// What stands in the way of a new caller.
enum class Earlier { None, Running, Leaving };

// Under stateLock. A second worker never starts while an earlier one still
// runs: the current connection's, or one whose hang-up came while it was in a
// step it had to finish. A worker that takes no further step (stopped by its
// hang-up, or done with its disconnect) is waited for once (`leaving`), since
// its thread ends at once.
Earlier EarlierWorker(bool waited, std::shared_ptr<WorkerContext>& leaving) {
    hungUp.erase(std::remove_if(hungUp.begin(), hungUp.end(),
                                [](const std::shared_ptr<WorkerContext>& w) { return !WorkerRunning(*w); }),
                 hungUp.end());
    if (current && WorkerRunning(*current) && !current->stopped) {
        // Its hang-up may have been lost: the worker asks the service.
        current->askService = true;
        return Earlier::Running;
    }
    auto stillRunning = [&](const std::shared_ptr<WorkerContext>& w) {
        if (!w || !WorkerRunning(*w)) return false;
        if (!w->stopped || waited) return true;
        leaving = w;
        return false;
    };
    if (stillRunning(current)) return Earlier::Running;
    for (const auto& w : hungUp)
        if (stillRunning(w)) return Earlier::Running;
    return leaving ? Earlier::Leaving : Earlier::None;
}

// Under stateLock: the new caller's files, worker and acceptance.
BOOL StartConnection(const RAS_CONNECTION_0* c0) {
    const GatewayConfigPtr config = CurrentGatewayConfig();
    ++accepts;
    LogWrite(log_text::kConnectionAccepted, true);
    ClearUserFiles(*config);

    auto ctx = std::make_shared<WorkerContext>();
    ctx->connection = c0 ? c0->hConnection : nullptr;
    ctx->config = config;
    HMODULE self = nullptr;
    if (ctx->stop.Valid() &&
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                           reinterpret_cast<LPCWSTR>(reinterpret_cast<void*>(&ConnectionWorker)), &self)) {
        ctx->module = self;
        auto* handed = new std::shared_ptr<WorkerContext>(ctx);
        DWORD id = 0;
        const HANDLE thread = CreateThread(nullptr, 0, ConnectionWorker, handed, CREATE_SUSPENDED, &id);
        if (thread) {
            ctx->thread.Reset(thread);
            ctx->stop.SetWorkerThread(id);
            current = ctx;
            // Its first line must not come before this one.
            LogWrite(log_text::kWorkerStarted, true);
            ResumeThread(thread);
            return TRUE;
        }
        delete handed;
        FreeLibrary(self);
    }
    LogWrite(log_text::kWorkerNotStarted, true);
    return FALSE;
}

}  // namespace

HANDLE ActivePortHandle() { return activePort.load(); }

BOOL AcceptConnection(const RAS_CONNECTION_0* c0) {
    for (bool waited = false;;) {
        std::shared_ptr<WorkerContext> leaving;
        {
            ExclusiveLock lock(stateLock);
            switch (EarlierWorker(waited, leaving)) {
                case Earlier::None: return StartConnection(c0);
                case Earlier::Running:
                    LogWrite(log_text::kSecondConnectionRefused, true);
                    return FALSE;
                case Earlier::Leaving: break;
            }
        }
        // A hung-up worker on its way out: give it a moment, outside the lock.
        WaitForSingleObject(leaving->thread.Get(), kLeavingWaitMs);
        waited = true;
    }
}

void AcceptLink(const RAS_PORT_0* p0) {
    LogWrite(log_text::kLinkUp, true);
    activePort = p0 ? p0->hPort : nullptr;
}

void ConnectionHangup(const RAS_CONNECTION_0* c0, const RAS_CONNECTION_1* c1) {
    std::shared_ptr<WorkerContext> ctx;
    uint64_t acceptsSeen = 0;
    {
        ExclusiveLock lock(stateLock);
        acceptsSeen = accepts;
        // Only the hang-up of the connection the worker times ends it: a late
        // hang-up of an earlier connection must not end the next caller's.
        if (current && c0 && current->connection == c0->hConnection) {
            ctx = std::move(current);
            current.reset();
            // Until it is gone it still keeps the next caller out.
            hungUp.push_back(ctx);
        }
    }
    const bool ended = ctx && ctx->stop.Stop(kStepWaitMs, kClientCallGraceMs);
    if (ended) ctx->stopped = true;
    if (ctx && !ended) ReportWorkerNotEnded();
    LogWrite(ended ? log_text::kWorkerEnded : log_text::kWorkerNotEnded, true);
    {
        // Decided and done under the lock, so that no caller is accepted in
        // between: a caller accepted after this hang-up began has his own
        // record in the users' folder, and a running worker its time file.
        ExclusiveLock lock(stateLock);
        if (accepts == acceptsSeen && !(current && WorkerRunning(*current))) ClearUserFiles(*CurrentGatewayConfig());
    }
    LogWrite(std::string(log_text::kDuration) + std::to_string(c0 ? c0->dwConnectDuration : 0), true);
    LogWrite(std::string(log_text::kBytesReceived) + std::to_string(c1 ? c1->dwBytesRcved : 0), true);
    LogWrite(std::string(log_text::kBytesSent) + std::to_string(c1 ? c1->dwBytesXmited : 0), true);
    LogWrite(log_text::kUserHungUp, true);
    if (ctx) ctx->stop.Release();
}
